// The state and rules of the main reporting window.
#include "reporting/reporting_model.h"

#include "billing/rounding.h"
#include "platform/locale_format.h"
#include "platform/ui_services.h"
#include "store/store_file_kind.h"
#include "store/store_location.h"
#include "store/windows_store_import.h"

namespace {

// The "Inc" column's marks. Kept as strings: assigning the literals through
// a conditional makes g++ 12 at -O3 warn falsely about overlapping copies.
const std::string kMarkIncluded = "X";
const std::string kMarkInvoiced = " ";
const std::string kMarkExcluded;

}  // namespace

ReportingModel::ReportingModel() = default;

void ReportingModel::LoadDefaults() {
  LoadAccountDefaults(&defaults_);
  // Read once: the listed stores and the ones loaded come from one folder.
  store_.SetFolders(ReadStoreFolders());
  dataPath_ = WithSeparator(store_.folders().dataPath);
}

void ReportingModel::FillDeviceList(const std::string& preferred) {
  devices_.Clear();
  for (const std::string& name : ListStoreNames(dataPath_)) devices_.Add(name);
  if (devices_.count() > 0) {
    const int found = devices_.FindStringExact(preferred);
    devices_.Select(found != ComboModel::kNone ? found : 0);
  }
  OnDeviceSelected();
}

void ReportingModel::SelectDevice(int index) {
  devices_.Select(index);
  OnDeviceSelected();
}

void ReportingModel::SelectAccount(int index) {
  accounts_.Select(index);
  OnAccountSelected();
}

void ReportingModel::SelectItem(int index) {
  items_.Select(index);
  OnItemSelected();
}

void ReportingModel::SelectDateRange(int index) {
  dateRanges_.Select(index);
  ApplyDateRange();
}

void ReportingModel::SetShowAll(bool showAll) {
  showAll_ = showAll;
  RefreshRecordList(false);
}

void ReportingModel::ClearSelection() {
  items_.Clear();
  rows_.clear();
  selectedRow_ = -1;
  rateText_.clear();
  totalTimeText_.clear();
  invoiceTotalText_.clear();
  ranges_.Clear();
  dateRanges_.Clear();
  accountId_ = 0;
  itemId_ = 0;
}

void ReportingModel::OnDeviceSelected() {
  if (devices_.count() == 0) return;
  // The file's own spelling: on a file system that tells letter cases
  // apart, any other spelling would name a new, empty store.
  deviceName_ = devices_.ComboText();
  selectedRow_ = -1;  // another handheld's records may reuse the ids
  store_.SetDeviceName(deviceName_);
  OfferImport();
  store_.Load();
  FillAccountList();
}

void ReportingModel::OfferImport() {
  // A data folder copied over from Windows holds the Windows programs' Jet
  // stores under the same names: read as they are, they would show nothing.
  const std::string path = StoreFilePath(store_.folders(), deviceName_);
  if (!IsWindowsStore(DetectStoreFileKind(path))) return;
  const std::string question = "The store of " + deviceName_ + " (" + path +
                               ") was written by Horalog on Windows.\n\nImport its records now? "
                               "The Windows file is kept as " +
                               WithSeparator(store_.folders().dataPath) + deviceName_ +
                               ".windows.mdb.";
  if (Ui().ShowMessage(question, "Horalog", MessageButtons::YesNo) != MessageAnswer::Yes) return;
  WindowsStoreImport::Options options;
  options.source = path;
  options.device = deviceName_;
  const WindowsStoreImport::Result result = WindowsStoreImport(store_.folders()).Run(options);
  std::string text;
  for (const std::string& line : result.status.ok()
                                     ? WindowsStoreImport::Summary(result)
                                     : std::vector<std::string>{result.status.message()}) {
    text += line + "\n";
  }
  for (const std::string& warning : result.warnings) text += "\n" + warning;
  Ui().ShowMessage(text, result.status.ok() ? "Horalog" : "Import Error", MessageButtons::Ok);
}

void ReportingModel::FillAccountList() {
  accounts_.Clear();
  for (const AccountEntry& account : store_.accounts()) {
    if (accounts_.FindStringExact(account.name) == ComboModel::kNone) accounts_.Add(account.name);
  }
  if (accounts_.count() > 0) {
    accounts_.Select(0);
    OnAccountSelected();
  } else {
    // A handheld without accounts shows nothing of the one before it.
    ClearSelection();
  }
}

void ReportingModel::OnAccountSelected() {
  accountId_ = 0;
  if (accounts_.count() == 0) return;
  const std::string text = accounts_.ComboText();
  accountId_ = store_.AccountIdByName(text);
  accountName_ = text;
  items_.Clear();
  items_.Add("All");
  for (const ItemEntry& item : store_.items()) {
    if (item.parent == accountId_) items_.Add(item.name);
  }
  if (items_.count() > 0) {
    items_.Select(0);
    OnItemSelected();
  }
}

void ReportingModel::OnItemSelected() {
  itemId_ = 0;
  if (accountId_ == 0) return;
  const std::string text = items_.ComboText();
  if (text != "All") itemId_ = store_.ItemIdByName(text, accountId_);
  itemName_ = text;
  RefreshRecordList(true);
}

void ReportingModel::RefreshRecordList(bool rebuildRanges) {
  Refresh(rebuildRanges, rebuildRanges);
}

void ReportingModel::Refresh(bool rebuildRanges, bool readRateField) {
  // The user's selected record stays selected while it is listed.
  const int32_t selectedId = selectedRow_ >= 0 ? rows_[static_cast<size_t>(selectedRow_)].id : 0;
  const bool hadSelection = selectedRow_ >= 0;
  ListRows();
  // The account's values are read once per refresh, for the rows' items (and
  // the rate field's), and serve the totals until the next refresh: every
  // dialog that changes them ends in one.
  std::vector<std::string> items;
  for (const RecordRow& row : rows_) items.push_back(row.item);
  if (readRateField) items.push_back(items_.ComboText());
  billing_ = ReadAccountBilling(accountName_, items, rebuildRanges ? &defaults_ : nullptr);
  const int perHour = billing_.perHour();
  for (RecordRow& row : rows_) {
    const int64_t count = billing_.Count(store_, row.id);
    row.time = FormatHours(count, perHour);
    const int rate = billing_.Rate(row.item);
    row.rate = FormatRate(rate);
    row.extension = FormatAmount(Extension(count, rate, perHour));
    if (hadSelection && selectedRow_ < 0 && row.id == selectedId) {
      selectedRow_ = static_cast<int>(&row - rows_.data());
    }
  }
  if (readRateField) rateText_ = FormatRate(billing_.Rate(items_.ComboText()));
  if (!rebuildRanges) {
    ApplyDateRange();
    return;
  }
  UpdateTotals();
  if (items_.count() == 0) {
    ranges_.Clear();
  } else {
    ranges_.Rebuild(store_, accountId_, itemId_, billing_.period);
  }
  dateRanges_.Clear();
  for (const std::string& entry : ranges_.entries()) dateRanges_.Add(entry);
  dateRanges_.Select(0);
}

void ReportingModel::ListRows() {
  rows_.clear();
  selectedRow_ = -1;
  const auto& records = store_.timeRecords();
  for (size_t i = 0; i < records.size(); ++i) {
    const TimeRecord& record = records[i];
    if (record.acct != accountId_ || (itemId_ != 0 && record.item != itemId_)) continue;
    if (record.invoiced && !showAll_) continue;
    RecordRow row;
    row.id = record.id;
    row.record = i;
    row.inc = record.invoiced ? kMarkInvoiced : kMarkIncluded;
    row.item = store_.ItemName(record.item);
    row.date = FormatPackedDate(record.grpdate, DateForm::Short);
    row.invDate = record.invoiced ? FormatDate(record.invoicedate, DateForm::Short) : " ";
    rows_.push_back(std::move(row));
  }
}

void ReportingModel::ApplyDateRange() {
  const std::string text = dateRanges_.ComboText();
  if (text == "All") {
    for (RecordRow& row : rows_) {
      if (row.invDate == " ") row.inc = kMarkIncluded;
    }
  } else if (const DateRange* range = ranges_.Find(text)) {
    const TimeBounds widened = WidenToDays(range->bounds());
    for (RecordRow& row : rows_) {
      if (row.invDate != " ") continue;
      row.inc = DateInRange(store_.timeRecords()[row.record].grpdate, widened) ? kMarkIncluded
                                                                               : kMarkExcluded;
    }
  }
  UpdateTotals();
}

void ReportingModel::UpdateTotals() {
  // Without an account there is nothing to total, not a total of nothing.
  if (accounts_.count() == 0) {
    totalTimeText_.clear();
    invoiceTotalText_.clear();
    return;
  }
  const int perHour = billing_.perHour();
  BillingTotals totals;
  for (RecordRow& row : rows_) {
    if (row.inc != "X") continue;
    const int rate = billing_.Rate(row.item);
    row.rate = FormatRate(rate);
    if (row.id >= 0) {
      const int64_t count = billing_.Count(store_, row.id);
      row.extension = FormatAmount(totals.Add(count, rate, perHour));
    }
  }
  totalTimeText_ = totals.HoursText(perHour);
  invoiceTotalText_ = totals.AmountText();
}

void ReportingModel::FlipRow(int row) {
  if (row >= 0 && row < static_cast<int>(rows_.size())) {
    std::string& inc = rows_[static_cast<size_t>(row)].inc;
    inc = inc == kMarkIncluded ? kMarkExcluded : kMarkIncluded;
  }
  UpdateTotals();
}

void ReportingModel::SelectRow(int row) {
  selectedRow_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

void ReportingModel::AfterAccountPrefs() {
  LoadAccountDefaults(&defaults_);
  OnItemSelected();
}

void ReportingModel::AfterRate(bool accepted) { Refresh(false, accepted && accounts_.count() > 0); }
