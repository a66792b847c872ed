// The state and rules of the report dialog.
#include "documents/report_dialog_model.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "billing/rounding.h"
#include "settings/registry_key_stack.h"
#include "store/record_store.h"

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The position an up-down control takes from a stored number: its low 16
// bits as a signed value.
int UpDownPosition(uint32_t stored) { return static_cast<int16_t>(stored & 0xFFFF); }

}  // namespace

ReportDialogModel::ReportDialogModel(std::string deviceName) : deviceName_(std::move(deviceName)) {}

void ReportDialogModel::Open() {
  initialized_ = false;
  checkedKind_.reset();
  controls_ = ReportControlState();
  startDay_ = 1;
  startDate1_ = 1;
  startDate2_ = 16;
  setInvoiced_ = false;
  {
    RegistryKeyStack keys;
    if (keys.CreatePath(kSetupKeyPath)) {
      std::string period = "One Month";
      std::string day = "Monday";
      uint32_t date1 = 1, date2 = 16, invoiced = 0;
      if (!keys.QueryString("ReportPeriod", &period, kSettingTextCapacity)) period = "One Month";
      if (!keys.QueryString("ReportStartDay", &day, kSettingTextCapacity)) day = "Monday";
      keys.QueryDword("ReportStartDate1", &date1);
      keys.QueryDword("ReportStartDate2", &date2);
      const bool invoicedSaved = keys.QueryDword("ReportSetInvoiced", &invoiced);

      PeriodKind kind = PeriodKind::OneMonth;
      if (period == "One Week") kind = PeriodKind::OneWeek;
      if (period == "Two Weeks") kind = PeriodKind::TwoWeeks;
      if (period == "Half Month") kind = PeriodKind::HalfMonth;
      checkedKind_ = kind;
      ApplyControlState(kind);
      for (int candidate = 0; candidate < 7; ++candidate) {
        if (EqualIgnoringCase(day, DayText(candidate))) {
          startDay_ = candidate;
          break;
        }
      }
      SetStartDate1(UpDownPosition(date1));
      SetStartDate2(UpDownPosition(date2));
      setInvoiced_ = invoicedSaved && invoiced == 1;
    }
    keys.CloseAll();
  }
  BuildRanges();
  initialized_ = true;
}

void ReportDialogModel::ApplyControlState(PeriodKind kind) {
  switch (kind) {
    case PeriodKind::OneWeek:
    case PeriodKind::TwoWeeks:
      controls_.dayListEnabled = true;
      controls_.date1Enabled = false;
      controls_.date2Enabled = false;
      break;
    case PeriodKind::HalfMonth:
      controls_.dayListEnabled = false;
      controls_.date1Enabled = true;
      controls_.date1Min = 1;
      controls_.date1Max = 15;
      controls_.date2Enabled = true;
      controls_.date2Min = 16;
      controls_.date2Max = 31;
      break;
    default:
      controls_.dayListEnabled = false;
      controls_.date1Enabled = true;
      controls_.date1Min = 1;
      controls_.date1Max = 31;
      controls_.date2Enabled = false;
      break;
  }
  startDate1_ = std::clamp(startDate1_, controls_.date1Min, controls_.date1Max);
  startDate2_ = std::clamp(startDate2_, controls_.date2Min, controls_.date2Max);
}

void ReportDialogModel::ClickPeriod(PeriodKind kind) {
  if (kind == PeriodKind::All) return;
  checkedKind_ = kind;
  // Until opening has finished, a click changes nothing but the button.
  if (!initialized_) return;
  ApplyControlState(kind);
  BuildRanges();
}

void ReportDialogModel::SelectStartDay(int day) {
  if (day >= 0 && day < 7) startDay_ = day;
}

void ReportDialogModel::SetStartDate1(int value) {
  startDate1_ = std::clamp(value, controls_.date1Min, controls_.date1Max);
  if (initialized_) BuildRanges();
}

void ReportDialogModel::SetStartDate2(int value) {
  startDate2_ = std::clamp(value, controls_.date2Min, controls_.date2Max);
  if (initialized_) BuildRanges();
}

PeriodSetting ReportDialogModel::setting() const {
  PeriodSetting setting;
  setting.kind = checkedKind_.value_or(PeriodKind::OneMonth);
  setting.startDay = startDay_;
  setting.startDate1 = startDate1_;
  setting.startDate2 = startDate2_;
  return setting;
}

void ReportDialogModel::BuildRanges() {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(deviceName_);
  store.Load();
  ranges_ = BuildReportRanges(store, setting());
  selectedRange_ = ranges_.empty() ? -1 : 0;
  ShowTotals(store);
}

std::vector<std::string> ReportDialogModel::rangeLabels() const {
  std::vector<std::string> labels;
  for (const DateRange& range : ranges_) labels.push_back(range.label);
  return labels;
}

void ReportDialogModel::SelectRange(int index) {
  selectedRange_ = index >= 0 && index < static_cast<int>(ranges_.size()) ? index : -1;
  ShowTotals();
}

void ReportDialogModel::ShowTotals() {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(deviceName_);
  store.Load();
  ShowTotals(store);
}

void ReportDialogModel::ShowTotals(const RecordStore& store) {
  totalTimeText_.clear();
  totalAmountText_.clear();
  TimeReportRequest request;
  if (!Request(&request)) return;
  // Every account of the period's records with the items of its records,
  // each read once.
  std::map<std::string, std::vector<std::string>> wanted;
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.grpdate < request.firstDay || record.grpdate > request.lastDay) continue;
    wanted[store.AccountName(record.acct)].push_back(store.ItemName(record.item));
  }
  BillingByAccount billing;
  for (const auto& [account, items] : wanted) billing[account] = ReadAccountBilling(account, items);
  int64_t minutes = 0;
  double amount = 0.0;
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.grpdate < request.firstDay || record.grpdate > request.lastDay) continue;
    const AccountBilling& rules = billing.at(store.AccountName(record.acct));
    const int64_t count = rules.Count(store, record.id);
    minutes += count * rules.increment;
    amount += Extension(count, rules.Rate(store.ItemName(record.item)), rules.perHour());
  }
  totalTimeText_ = FormatHoursMinutes(minutes);
  totalAmountText_ = FormatAmount(amount);
}

bool ReportDialogModel::Request(TimeReportRequest* request) const {
  if (selectedRange_ < 0) return false;
  const DateRange& range = ranges_[static_cast<size_t>(selectedRange_)];
  const TimeBounds widened = WidenToDays(range.bounds());
  request->deviceName = deviceName_;
  request->periodLabel = range.label;
  request->firstDay = PackedLocalDate(widened.start);
  request->lastDay = PackedLocalDate(widened.end);
  request->setInvoiced = setInvoiced_;
  return true;
}

DocumentOutcome ReportDialogModel::Create(const DocumentOptions& options) const {
  TimeReportRequest request;
  if (!Request(&request)) {
    DocumentOutcome outcome;
    outcome.error = "No period is selected.";
    return outcome;
  }
  return CreateTimeReport(request, options);
}

bool ReportDialogModel::Save() const {
  RegistryKeyStack keys;
  const bool opened = keys.CreatePath(kSetupKeyPath);
  if (opened) {
    keys.SetString("ReportPeriod", PeriodText(checkedKind_.value_or(PeriodKind::OneMonth)));
    keys.SetString("ReportStartDay", DayText(startDay_));
    keys.SetDword("ReportStartDate1", static_cast<uint32_t>(startDate1_));
    keys.SetDword("ReportStartDate2", static_cast<uint32_t>(startDate2_));
    keys.SetDword("ReportSetInvoiced", setInvoiced_ ? 1 : 0);
  }
  keys.CloseAll();
  return opened;
}
