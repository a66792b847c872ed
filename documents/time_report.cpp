// The time report of one period of one handheld.
#include "documents/time_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "platform/clock.h"
#include "platform/locale_format.h"
#include "platform/ui_services.h"
#include "settings/registry_key_stack.h"
#include "settings/rounding.h"
#include "store/record_store.h"

namespace {

constexpr size_t kAddressCapacity = 256;

struct Billing {
  int increment = 6;
  int perHour = 10;
  RoundMode mode = RoundMode::Nearest;
};

// One run's account settings: each account's values are read once.
class BillingCache {
 public:
  const Billing& Of(const std::string& account) {
    auto found = billing_.find(account);
    if (found != billing_.end()) return found->second;
    Billing billing;
    billing.increment = GetAccountAtom(account);
    billing.perHour = IncrementsPerHour(billing.increment);
    billing.mode = GetAccountRound(account);
    return billing_[account] = billing;
  }
  int Rate(const std::string& account, const std::string& item) {
    const auto key = std::make_pair(account, item);
    auto found = rates_.find(key);
    if (found != rates_.end()) return found->second;
    return rates_[key] = GetAccountRate(account, item);
  }

 private:
  std::map<std::string, Billing> billing_;
  std::map<std::pair<std::string, std::string>, int> rates_;
};

// The records of one item within one account.
struct ItemGroup {
  std::string name;
  std::vector<size_t> records;  // positions in the store's list, in list order
  int64_t minutes = 0;
};

struct AccountSection {
  const AccountEntry* account = nullptr;
  Billing billing;
  std::vector<ItemGroup> groups;
  int64_t minutes = 0;
};

std::string HoursMinutes(int64_t minutes) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes / 60),
                static_cast<long long>(minutes % 60));
  return text;
}

bool IsCalendarDay(int32_t grpdate) {
  using namespace std::chrono;
  const year_month_day day{year{PackedYear(grpdate)},
                           month{static_cast<unsigned>(PackedMonth(grpdate))},
                           std::chrono::day{static_cast<unsigned>(PackedDay(grpdate))}};
  return day.ok();
}

// The item groups of account over the report's records of that account: the
// unnamed group, the account's own items, then items now belonging to
// another account, each in item list order.
std::vector<ItemGroup> GroupsOf(const RecordStore& store, const AccountEntry& account,
                                const std::vector<size_t>& records) {
  std::vector<ItemGroup> groups(1);
  std::unordered_map<int32_t, size_t> groupOfItem;
  for (const ItemEntry& item : store.items()) {
    if (item.parent == account.id && !groupOfItem.count(item.id)) {
      groupOfItem[item.id] = groups.size();
      groups.push_back({item.name, {}, 0});
    }
  }
  std::unordered_set<int32_t> moved;
  for (size_t position : records) {
    const int32_t item = store.timeRecords()[position].item;
    if (!store.ItemName(item).empty() && !groupOfItem.count(item)) moved.insert(item);
  }
  for (const ItemEntry& item : store.items()) {
    if (moved.count(item.id) && !groupOfItem.count(item.id)) {
      groupOfItem[item.id] = groups.size();
      groups.push_back({item.name, {}, 0});
    }
  }
  for (size_t position : records) {
    const int32_t item = store.timeRecords()[position].item;
    const size_t group = store.ItemName(item).empty() ? 0 : groupOfItem.at(item);
    groups[group].records.push_back(position);
  }
  return groups;
}

void WriteHeading(RtfDocument& document, const TimeReportRequest& request, std::time_t now) {
  if (document.setupKeyOpened()) {
    RegistryKeyStack keys;
    std::string address;
    if (keys.OpenPath(kSetupKeyPath) && keys.QueryString("Address1", &address, kAddressCapacity) &&
        !address.empty()) {
      document.WriteLine(RtfEscape(address) + " \\par");
    }
    keys.CloseAll();
  }
  document.WriteLine("} \\pard \\qr { \\par " + RtfEscape(FormatDate(now, DateForm::Long)) +
                     "\\par\\par }");
  document.WriteLine(" \\pard \\qc {\\plain \\f1 \\fs28 \\b Horalog Report for " +
                     RtfEscape(request.periodLabel) + " \\b0 \\par\\par}");
  document.WriteLine(" \\pard \\ql {\\plain \\f1 \\fs28 \\b Summary \\b0 \\par}");
}

void StartTable(RtfDocument& document, std::initializer_list<int> widths,
                std::initializer_list<const char*> headings, int bodyFontSize) {
  document.ResetColumns();
  for (int width : widths) document.AddColumn(width);
  document.WriteHeaderRowFormat();
  for (const char* heading : headings) document.WriteCell(heading, true, false);
  document.fontSize = bodyFontSize;
  document.WriteBodyRowFormat();
}

void WriteSummary(RtfDocument& document, BillingCache& cache,
                  const std::vector<AccountSection>& sections) {
  StartTable(document, {75, 15, 15, 25}, {"Account - Item", "Hours", "Rate", "Extension"}, 24);
  for (const AccountSection& section : sections) {
    const std::string& name = section.account->name;
    const Billing& billing = section.billing;
    int64_t accountMinutes = 0;
    double accountAmount = 0.0;
    for (const ItemGroup& group : section.groups) {
      if (group.minutes == 0) continue;
      const int64_t count = group.minutes / billing.increment;
      const int rate = cache.Rate(name, group.name);
      const double extension = Extension(count, rate, billing.perHour);
      document.WriteCell(RtfEscape(name + " - " + group.name), false, false);
      document.WriteCell(FormatHours(count, billing.perHour), false, true);
      document.WriteCell(FormatAmount(rate * 0.01), false, true);
      document.WriteCell(FormatAmount(extension), false, true);
      document.runningTotal += extension;
      accountMinutes += group.minutes;
      accountAmount += extension;
    }
    if (accountMinutes != 0) {
      document.WriteCell(RtfEscape(name + " - Total"), true, false);
      document.WriteCell(FormatHours(accountMinutes / billing.increment, billing.perHour), true,
                         true);
      document.WriteCell("", true, true);
      document.WriteCell(FormatAmount(accountAmount), true, true);
    }
  }
  document.WriteClosingRowFormat();
  document.WriteCell("Total", true, false);
  document.WriteCell("", false, false);
  document.WriteCell("", false, false);
  document.WriteCell(RtfEscape(document.currencySymbol()) + FormatAmount(document.runningTotal),
                     true, true);
  document.EndTable();
}

void WriteDetails(RtfDocument& document, const RecordStore& store, const AccountSection& section) {
  const Billing& billing = section.billing;
  document.WriteLine("\\pard {\\fs24 \\b " + RtfEscape(section.account->name) + " \\b0}");
  document.WriteLine("\\pard { \\par}");
  document.fontSize = 24;
  StartTable(document, {16, 25, 64, 36}, {"Date", "Item", "Notes", "Times"}, 20);
  int64_t accountMinutes = 0;
  for (const ItemGroup& group : section.groups) {
    if (group.minutes == 0) continue;
    const std::string itemName = RtfEscape(group.name);
    for (size_t position : group.records) {
      const TimeRecord& record = store.timeRecords()[position];
      document.WriteCell(RtfEscape(FormatPackedDate(record.grpdate, DateForm::Short)), false,
                         false);
      document.WriteCell(itemName, false, false);
      document.WriteCell(RtfEscape(record.notes), false, false);
      document.WriteCell(SpanTimesText(store, record.id, billing.increment, billing.mode), false,
                         true);
    }
    document.WriteCell("Total", true, false);
    document.WriteCell(itemName, true, false);
    document.WriteCell("", true, false);
    document.WriteCell(FormatHours(group.minutes * billing.perHour / 60, billing.perHour), true,
                       true);
    accountMinutes += group.minutes;
  }
  document.WriteClosingRowFormat();
  document.WriteCell("", true, false);
  document.WriteCell("Account Total", true, false);
  document.WriteCell("", true, false);
  document.WriteCell(FormatHours(accountMinutes * billing.perHour / 60, billing.perHour), true,
                     true);
  document.EndTable();
}

struct DayRecord {
  size_t position;
  std::string account;
  int64_t minutes;
};

// The report's records of each calendar day, in calendar order; each day's
// records in list order.
using Days = std::map<int32_t, std::vector<DayRecord>>;

int64_t WriteDaily(RtfDocument& document, const RecordStore& store, const Days& days) {
  document.WriteLine("\\pard {\\fs24 \\b Daily \\b0}");
  document.WriteLine("\\pard { \\par}");
  document.fontSize = 24;
  StartTable(document, {16, 40, 72, 12}, {"Date", "Account/Item", "Notes", "Hours"}, 20);
  int64_t total = 0;
  for (const auto& [day, records] : days) {
    struct Row {
      std::string text;
      const TimeRecord* record;
      int64_t minutes;
    };
    std::vector<Row> rows;
    for (const DayRecord& entry : records) {
      const TimeRecord& record = store.timeRecords()[entry.position];
      Row row{entry.account + "/" + store.ItemName(record.item), &record, entry.minutes};
      // Before the first row whose text is greater: equal texts keep list order.
      auto place = std::upper_bound(rows.begin(), rows.end(), row,
                                    [](const Row& a, const Row& b) { return a.text < b.text; });
      rows.insert(place, std::move(row));
      total += entry.minutes;
    }
    bool first = true;
    for (const Row& row : rows) {
      document.WriteCell(first ? RtfEscape(FormatPackedDate(day, DateForm::Short)) : "", false,
                         false);
      document.WriteCell(RtfEscape(row.text), false, false);
      document.WriteCell(RtfEscape(row.record->notes), false, false);
      document.WriteCell(HoursMinutes(row.minutes), false, true);
      first = false;
    }
  }
  document.WriteClosingRowFormat();
  document.WriteCell("Total", true, false);
  document.WriteCell("", false, false);
  document.WriteCell("", false, false);
  document.WriteCell(HoursMinutes(total), true, true);
  document.EndTable();
  return total;
}

int64_t WriteDailyAccountTotals(RtfDocument& document, const Days& days) {
  document.WriteLine("\\pard {\\fs24 \\b Daily Account Totals \\b0}");
  document.WriteLine("\\pard { \\par}");
  document.fontSize = 24;
  StartTable(document, {16, 40, 12}, {"Date", "Account/Item", "Hours"}, 20);
  int64_t total = 0;
  for (const auto& [day, records] : days) {
    std::vector<std::pair<std::string, int64_t>> entries;
    for (const DayRecord& entry : records) {
      total += entry.minutes;
      auto same = std::find_if(entries.begin(), entries.end(),
                               [&](const auto& e) { return e.first == entry.account; });
      if (same != entries.end()) {
        same->second += entry.minutes;
        continue;
      }
      auto place = std::find_if(entries.begin(), entries.end(),
                                [&](const auto& e) { return e.first > entry.account; });
      entries.insert(place, {entry.account, entry.minutes});
    }
    const std::string date = RtfEscape(FormatPackedDate(day, DateForm::Short));
    for (const auto& [name, minutes] : entries) {
      document.WriteCell(date, false, false);
      document.WriteCell(RtfEscape(name), false, false);
      document.WriteCell(HoursMinutes(minutes), false, true);
    }
  }
  document.WriteClosingRowFormat();
  document.WriteCell("Total", true, false);
  document.WriteCell("", false, false);
  document.WriteCell(HoursMinutes(total), true, true);
  document.EndTable();
  return total;
}

}  // namespace

std::string SpanTimesText(const RecordStore& store, int32_t id, int increment, RoundMode mode) {
  const int perHour = IncrementsPerHour(increment);
  struct Line {
    int64_t start;
    std::string text;
  };
  std::vector<Line> lines;
  for (size_t position : store.SpansOf(id)) {
    const TimeSpan& span = store.timeSpans()[position];
    const int64_t start = span.starttime / 60;
    const std::string text =
        FormatTimeOfDay(start * 60) + "-" + FormatTimeOfDay(int64_t{SpanEndMinutes(span)} * 60) +
        " (" + FormatHours(SpanIncrements(span.duration, increment, mode), perHour) + ")";
    lines.push_back({start, RtfEscape(text)});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.start < b.start; });
  std::string cell;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) cell += " \\par ";
    cell += lines[i].text;
  }
  return cell;
}

TimeReportContent WriteTimeReport(RtfDocument& document, const RecordStore& store,
                                  const TimeReportRequest& request, std::time_t now) {
  document.WritePrologue(DocumentKind::Report);
  WriteHeading(document, request, now);

  BillingCache cache;
  TimeReportContent content;
  const auto& records = store.timeRecords();
  std::unordered_map<int32_t, std::vector<size_t>> byAccount;
  Days days;
  for (size_t position = 0; position < records.size(); ++position) {
    const TimeRecord& record = records[position];
    if (record.grpdate < request.firstDay || record.grpdate > request.lastDay) continue;
    byAccount[record.acct].push_back(position);
    const std::string account = store.AccountName(record.acct);
    const Billing& billing = cache.Of(account);
    const int64_t minutes =
        CountIncrements(store, record.id, billing.increment, billing.mode) * billing.increment;
    if (IsCalendarDay(record.grpdate)) days[record.grpdate].push_back({position, account, minutes});
  }

  std::vector<AccountSection> sections;
  std::unordered_set<int32_t> known;
  for (const AccountEntry& account : store.accounts()) {
    if (!known.insert(account.id).second) continue;  // a repeated id is one account
    AccountSection section;
    section.account = &account;
    section.billing = cache.Of(account.name);
    section.groups = GroupsOf(store, account, byAccount[account.id]);
    for (ItemGroup& group : section.groups) {
      for (size_t position : group.records) {
        group.minutes += CountIncrements(store, records[position].id, section.billing.increment,
                                         section.billing.mode) *
                         section.billing.increment;
      }
      section.minutes += group.minutes;
    }
    sections.push_back(std::move(section));
  }
  for (size_t position = 0; position < records.size(); ++position) {
    const TimeRecord& record = records[position];
    if (record.grpdate >= request.firstDay && record.grpdate <= request.lastDay &&
        known.count(record.acct)) {
      content.billed.push_back(record.id);
    }
  }

  WriteSummary(document, cache, sections);
  for (const AccountSection& section : sections) {
    if (section.minutes != 0) WriteDetails(document, store, section);
  }
  WriteDaily(document, store, days);
  content.totalMinutes = WriteDailyAccountTotals(document, days);
  return content;
}

DocumentOutcome CreateTimeReport(const TimeReportRequest& request, const DocumentOptions& options) {
  DocumentOutcome outcome;
  if (request.firstDay <= 0 || request.lastDay < request.firstDay) {
    outcome.error = "No period is selected.";
    return outcome;
  }
  const std::time_t now = Now();
  RtfDocument document;
  if (!document.OpenFile("Report" + FileDateStamp(now, "%y%m%d"))) {
    outcome.error = document.error();
    Ui().ShowMessage(outcome.error, "Horalog", MessageButtons::Ok);
    return outcome;
  }
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(request.deviceName);
  store.Load();
  const TimeReportContent content = WriteTimeReport(document, store, request, now);
  if (!document.Close()) {
    outcome.error = document.error();
    Ui().ShowMessage(
        outcome.error + (request.setInvoiced ? "\n\nNothing was marked invoiced." : ""), "Horalog",
        MessageButtons::Ok);
    return outcome;
  }
  outcome.path = document.filePath();
  outcome.status = DocumentOutcome::Status::Written;
  if (options.openEditor) {
    outcome.editorStarted = document.ShowInEditor();
    if (!outcome.editorStarted) {
      Ui().ShowMessage(document.editorError(), "Horalog", MessageButtons::Ok);
    }
  }
  if (request.setInvoiced && content.totalMinutes != 0) {
    MarkBilledRecords(store, content.billed, options, &outcome);
  }
  return outcome;
}
