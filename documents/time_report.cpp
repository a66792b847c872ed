// The time report of one period of one handheld.
#include "documents/time_report.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "billing/rounding.h"
#include "documents/rtf_writer.h"
#include "platform/clock.h"
#include "platform/locale_format.h"
#include "store/record_store.h"

namespace {

// The records of one item within one account.
struct ItemGroup {
  std::string name;
  std::vector<size_t> records;  // positions in the store's list, in list order
  int64_t minutes = 0;
};

struct AccountSection {
  const AccountEntry* account = nullptr;
  const AccountBilling* billing = nullptr;
  std::vector<ItemGroup> groups;
  int64_t minutes = 0;
};

bool InPeriod(const TimeRecord& record, const TimeReportRequest& request) {
  return record.grpdate >= request.firstDay && record.grpdate <= request.lastDay;
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

Paragraph Text(ParagraphRole role, std::string line, TextAlign align, bool bold, int halfPoints) {
  Paragraph paragraph;
  paragraph.role = role;
  paragraph.lines.push_back(std::move(line));
  paragraph.align = align;
  paragraph.bold = bold;
  paragraph.halfPoints = halfPoints;
  return paragraph;
}

void AddHeading(Document& document, const DocumentSetup& setup, const TimeReportRequest& request,
                std::time_t now) {
  if (setup.found && !setup.address.empty() && !setup.address[0].empty()) {
    document.blocks.push_back(
        Text(ParagraphRole::Letterhead, setup.address[0], TextAlign::Center, false, 30));
  }
  document.blocks.push_back(
      Text(ParagraphRole::DateLine, FormatDate(now, DateForm::Long), TextAlign::Right, false, 24));
  document.blocks.push_back(Text(ParagraphRole::Title, "Horalog Report for " + request.periodLabel,
                                 TextAlign::Center, true, 28));
  document.blocks.push_back(Text(ParagraphRole::Heading, "Summary", TextAlign::Left, true, 28));
}

Table StartTable(std::initializer_list<int> widths, std::initializer_list<const char*> headings,
                 int bodyHalfPoints) {
  Table table;
  table.widths = widths;
  for (const char* heading : headings) table.heading.cells.push_back(Cell(heading, true));
  table.bodyHalfPoints = bodyHalfPoints;
  return table;
}

void AddRow(Table& table, std::vector<TableCell> cells) {
  table.rows.push_back(TableRow{std::move(cells)});
}

void AddSection(Document& document, const std::string& name) {
  document.blocks.push_back(Text(ParagraphRole::SectionHeading, name, TextAlign::Left, true, 24));
}

void AddSummary(Document& document, const std::vector<AccountSection>& sections,
                const std::string& currencySymbol) {
  Table table = StartTable({75, 15, 15, 25}, {"Account - Item", "Hours", "Rate", "Extension"}, 24);
  double total = 0.0;
  for (const AccountSection& section : sections) {
    const std::string& name = section.account->name;
    const AccountBilling& billing = *section.billing;
    const int perHour = billing.perHour();
    int64_t accountMinutes = 0;
    double accountAmount = 0.0;
    for (const ItemGroup& group : section.groups) {
      if (group.minutes == 0) continue;
      const int64_t count = group.minutes / billing.increment;
      const int rate = billing.Rate(group.name);
      const double extension = Extension(count, rate, perHour);
      AddRow(table, {Cell(name + " - " + group.name),
                     Cell(FormatHours(count, perHour), false, TextAlign::Decimal),
                     Cell(FormatAmount(rate * 0.01), false, TextAlign::Decimal),
                     Cell(FormatAmount(extension), false, TextAlign::Decimal)});
      total += extension;
      accountMinutes += group.minutes;
      accountAmount += extension;
    }
    if (accountMinutes != 0) {
      AddRow(table, {Cell(name + " - Total", true),
                     Cell(FormatHours(accountMinutes / billing.increment, perHour), true,
                          TextAlign::Decimal),
                     Cell("", true, TextAlign::Right),
                     Cell(FormatAmount(accountAmount), true, TextAlign::Decimal)});
    }
  }
  AddRow(table, {Cell("Total", true), Cell(""), Cell(""),
                 Cell(currencySymbol + FormatAmount(total), true, TextAlign::Decimal)});
  document.blocks.push_back(std::move(table));
}

void AddDetails(Document& document, const RecordStore& store, const AccountSection& section) {
  const AccountBilling& billing = *section.billing;
  const int perHour = billing.perHour();
  AddSection(document, section.account->name);
  Table table = StartTable({16, 25, 64, 36}, {"Date", "Item", "Notes", "Times"}, 20);
  int64_t accountMinutes = 0;
  for (const ItemGroup& group : section.groups) {
    if (group.minutes == 0) continue;
    for (size_t position : group.records) {
      const TimeRecord& record = store.timeRecords()[position];
      TableCell times;
      times.lines = SpanTimeLines(store, record.id, billing.increment, billing.mode);
      times.align = TextAlign::Right;
      AddRow(table, {Cell(FormatPackedDate(record.grpdate, DateForm::Short)), Cell(group.name),
                     Cell(std::string(record.notes)), std::move(times)});
    }
    AddRow(table,
           {Cell("Total", true), Cell(group.name, true), Cell("", true),
            Cell(FormatHours(group.minutes * perHour / 60, perHour), true, TextAlign::Decimal)});
    accountMinutes += group.minutes;
  }
  AddRow(table,
         {Cell("", true), Cell("Account Total", true), Cell("", true),
          Cell(FormatHours(accountMinutes * perHour / 60, perHour), true, TextAlign::Decimal)});
  document.blocks.push_back(std::move(table));
}

struct DayRecord {
  size_t position;
  std::string account;
  int64_t minutes;
};

// The report's records of each calendar day, in calendar order; each day's
// records in list order.
using Days = std::map<int32_t, std::vector<DayRecord>>;

int64_t AddDaily(Document& document, const RecordStore& store, const Days& days) {
  AddSection(document, "Daily");
  Table table = StartTable({16, 40, 72, 12}, {"Date", "Account/Item", "Notes", "Hours"}, 20);
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
    for (Row& row : rows) {
      AddRow(table, {Cell(first ? FormatPackedDate(day, DateForm::Short) : ""),
                     Cell(std::move(row.text)), Cell(std::string(row.record->notes)),
                     Cell(FormatHoursMinutes(row.minutes), false, TextAlign::Right)});
      first = false;
    }
  }
  AddRow(table, {Cell("Total", true), Cell(""), Cell(""),
                 Cell(FormatHoursMinutes(total), true, TextAlign::Right)});
  document.blocks.push_back(std::move(table));
  return total;
}

// Each day's entries of (account name, minutes), ordered by name.
using DayTotals = std::map<int32_t, std::vector<std::pair<std::string, int64_t>>>;

DayTotals TotalsPerDay(const Days& days) {
  DayTotals totals;
  for (const auto& [day, records] : days) {
    auto& entries = totals[day];
    for (const DayRecord& entry : records) {
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
  }
  return totals;
}

int64_t AddDailyAccountTotals(Document& document, const DayTotals& totals) {
  AddSection(document, "Daily Account Totals");
  Table table = StartTable({16, 40, 12}, {"Date", "Account/Item", "Hours"}, 20);
  int64_t total = 0;
  for (const auto& [day, entries] : totals) {
    const std::string date = FormatPackedDate(day, DateForm::Short);
    for (const auto& [name, minutes] : entries) {
      AddRow(table,
             {Cell(date), Cell(name), Cell(FormatHoursMinutes(minutes), false, TextAlign::Right)});
      total += minutes;
    }
  }
  AddRow(table,
         {Cell("Total", true), Cell(""), Cell(FormatHoursMinutes(total), true, TextAlign::Right)});
  document.blocks.push_back(std::move(table));
  return total;
}

// The calendar days from first to last (packed), or only the days in totals
// when the period is too long for one bar a day.
std::vector<int32_t> ChartDays(int32_t first, int32_t last, const DayTotals& totals) {
  using namespace std::chrono;
  constexpr int kMostDays = 400;
  const auto unpack = [](int32_t packed) {
    return year_month_day{year{PackedYear(packed)},
                          month{static_cast<unsigned>(PackedMonth(packed))},
                          day{static_cast<unsigned>(PackedDay(packed))}};
  };
  std::vector<int32_t> result;
  const year_month_day from = unpack(first), to = unpack(last);
  if (from.ok() && to.ok() && (sys_days{to} - sys_days{from}).count() < kMostDays) {
    for (sys_days d = sys_days{from}; d <= sys_days{to}; d += days{1}) {
      const year_month_day ymd{d};
      result.push_back(PackDate(static_cast<int>(ymd.year()),
                                static_cast<int>(unsigned(ymd.month())),
                                static_cast<int>(unsigned(ymd.day()))));
    }
    return result;
  }
  for (const auto& entry : totals) result.push_back(entry.first);
  return result;
}

void AddChart(Document& document, const TimeReportRequest& request, const DayTotals& totals) {
  HoursChart chart;
  chart.title = "Hours per Day";
  std::map<std::string, int64_t> accountMinutes;
  for (const auto& [day, entries] : totals) {
    for (const auto& [name, minutes] : entries) accountMinutes[name] += minutes;
  }
  for (const auto& [name, minutes] : accountMinutes) {
    if (minutes != 0) chart.accounts.push_back(name);
  }
  for (int32_t day : ChartDays(request.firstDay, request.lastDay, totals)) {
    chart.days.push_back(std::to_string(PackedDay(day)));
    std::vector<int64_t> minutes(chart.accounts.size(), 0);
    auto found = totals.find(day);
    if (found != totals.end()) {
      for (const auto& [name, m] : found->second) {
        auto at = std::lower_bound(chart.accounts.begin(), chart.accounts.end(), name);
        if (at != chart.accounts.end() && *at == name) minutes[at - chart.accounts.begin()] += m;
      }
    }
    chart.minutes.push_back(std::move(minutes));
  }
  document.blocks.push_back(std::move(chart));
}

// The sections of the store's accounts (a repeated id is one account) with
// their item groups and rounded minutes over the period's records.
std::vector<AccountSection> Sections(const RecordStore& store, const TimeReportRequest& request,
                                     const BillingByAccount& billing) {
  const auto& records = store.timeRecords();
  std::unordered_map<int32_t, std::vector<size_t>> byAccount;
  for (size_t position = 0; position < records.size(); ++position) {
    if (InPeriod(records[position], request)) byAccount[records[position].acct].push_back(position);
  }
  std::vector<AccountSection> sections;
  std::unordered_set<int32_t> known;
  for (const AccountEntry& account : store.accounts()) {
    if (!known.insert(account.id).second) continue;
    AccountSection section;
    section.account = &account;
    section.billing = &billing.at(account.name);
    section.groups = GroupsOf(store, account, byAccount[account.id]);
    for (ItemGroup& group : section.groups) {
      for (size_t position : group.records) {
        group.minutes +=
            section.billing->Count(store, records[position].id) * section.billing->increment;
      }
      section.minutes += group.minutes;
    }
    sections.push_back(std::move(section));
  }
  return sections;
}

}  // namespace

std::vector<std::string> SpanTimeLines(const RecordStore& store, int32_t id, int increment,
                                       RoundMode mode) {
  const int perHour = IncrementsPerHour(increment);
  struct Line {
    int64_t start;
    std::string text;
  };
  std::vector<Line> lines;
  for (size_t position : store.SpansOf(id)) {
    const TimeSpan& span = store.timeSpans()[position];
    const int64_t start = span.starttime / 60;
    lines.push_back(
        {start, FormatTimeOfDay(start * 60) + "-" +
                    FormatTimeOfDay(int64_t{SpanEndMinutes(span)} * 60) + " (" +
                    FormatHours(SpanIncrements(span.duration, increment, mode), perHour) + ")"});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.start < b.start; });
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (Line& line : lines) texts.push_back(std::move(line.text));
  return texts;
}

std::string SpanTimesText(const RecordStore& store, int32_t id, int increment, RoundMode mode) {
  TableCell cell;
  cell.lines = SpanTimeLines(store, id, increment, mode);
  return RtfCellText(cell);
}

BillingByAccount ReadReportBilling(const RecordStore& store, const TimeReportRequest& request) {
  BillingByAccount billing;
  const auto read = [&](const std::string& account) {
    if (!billing.count(account)) billing[account] = ReadAccountBilling(account);
  };
  for (const TimeRecord& record : store.timeRecords()) {
    if (InPeriod(record, request)) read(store.AccountName(record.acct));
  }
  for (const AccountEntry& account : store.accounts()) read(account.name);
  // The rates are looked up only for the summary's lines, as the summary
  // names them: looking one up leaves its registry key behind.
  for (const AccountSection& section : Sections(store, request, billing)) {
    std::vector<std::string> items;
    for (const ItemGroup& group : section.groups) {
      if (group.minutes != 0) items.push_back(group.name);
    }
    ReadItemRates(section.account->name, items, &billing[section.account->name]);
  }
  return billing;
}

TimeReportContent BuildTimeReport(const RecordStore& store, const TimeReportRequest& request,
                                  const BillingByAccount& billing, const DocumentSetup& setup,
                                  std::time_t now) {
  TimeReportContent content;
  content.document.kind = DocumentKind::Report;
  content.document.title = "Horalog Report for " + request.periodLabel;
  AddHeading(content.document, setup, request, now);

  const auto& records = store.timeRecords();
  Days days;
  for (size_t position = 0; position < records.size(); ++position) {
    const TimeRecord& record = records[position];
    if (!InPeriod(record, request)) continue;
    const std::string account = store.AccountName(record.acct);
    const AccountBilling& rules = billing.at(account);
    const int64_t minutes = rules.Count(store, record.id) * rules.increment;
    if (IsCalendarDay(record.grpdate)) days[record.grpdate].push_back({position, account, minutes});
  }
  const std::vector<AccountSection> sections = Sections(store, request, billing);
  std::unordered_set<int32_t> known;
  for (const AccountSection& section : sections) known.insert(section.account->id);
  for (const TimeRecord& record : records) {
    if (InPeriod(record, request) && known.count(record.acct)) content.billed.push_back(record.id);
  }

  const DayTotals totals = TotalsPerDay(days);
  AddSummary(content.document, sections, setup.currencySymbol);
  // The picture comes right after the summary it illustrates (the PDF's only).
  AddChart(content.document, request, totals);
  for (const AccountSection& section : sections) {
    if (section.minutes != 0) AddDetails(content.document, store, section);
  }
  AddDaily(content.document, store, days);
  content.totalMinutes = AddDailyAccountTotals(content.document, totals);
  return content;
}

DocumentOutcome CreateTimeReport(const TimeReportRequest& request, const DocumentOptions& options) {
  DocumentOutcome outcome;
  if (request.firstDay <= 0 || request.lastDay < request.firstDay) {
    outcome.error = "No period is selected.";
    return outcome;
  }
  const std::time_t now = Now();
  DocumentRun run;
  run.baseName = "Report" + FileDateStamp(now, "%y%m%d");
  run.pdf = WantsPdf(options);
  if (request.setInvoiced) run.writeFailureNote = kNothingMarkedNote;
  const DocumentSetup setup = ReadDocumentSetup();
  RtfDocument file;
  if (!OpenDocumentFile(file, setup, run, &outcome)) return outcome;
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(request.deviceName);
  store.Load();
  const TimeReportContent content =
      BuildTimeReport(store, request, ReadReportBilling(store, request), setup, now);
  const bool marks = request.setInvoiced && content.totalMinutes != 0;
  WriteFinishedDocument(file, content.document, run, store, marks ? &content.billed : nullptr,
                        options, &outcome);
  return outcome;
}
