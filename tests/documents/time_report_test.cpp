// The time report on a real synchronized store, registry and report folder.
#include "documents/time_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "documents/document_fixture.h"
#include "platform/locale_format.h"
#include "store/statements.h"

using namespace document_test;

namespace {

TimeReportRequest March(const std::string& device, bool setInvoiced) {
  return {device, "3/1/03 - 3/31/03", PackDate(2003, 3, 1), PackDate(2003, 3, 31), setInvoiced};
}

}  // namespace

TEST(TimeReport, GoldenDocumentThenMarkingWhatItBillsThenHandheldUpdate) {
  DocumentFixture env;
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] {
    ++updates;
    env.Synchronize(true);
  };
  const DocumentOutcome outcome = CreateTimeReport(March("Pocket_PC", true), options);
  ASSERT_EQ(outcome.status, DocumentOutcome::Status::Written);
  EXPECT_EQ(outcome.path, env.reportPath() + "/Report030315.rtf");
  const std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Report);
  // O`Brien's summary: the unknown item, the own items, then the item moved
  // to Smith Co/West; Delta's three 3.333... total 10.00; the record of the
  // account the store lacks only in the daily tables ("/Design").
  ExpectGolden(text, "time_report.rtf");
  EXPECT_EQ(env.editor.WaitForArguments(), outcome.path + "\n");
  EXPECT_TRUE(env.ui.messages.empty());
  // Both ends of the period, not the unknown account's record 13.
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 2, 6, 3, 4, 5, 7, 8, 9, 10}));
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{11, 12, 13}));

  // A failing disk: a message, nothing marked, the handheld not reached.
  ASSERT_EQ(::unlink(outcome.path.c_str()), 0);
  {
    ScopedFileSizeLimit limit(4096);
    EXPECT_EQ(CreateTimeReport(March("Pocket_PC", true), options).status,
              DocumentOutcome::Status::NotWritten);
  }
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].text, "The document " + outcome.path +
                                         " could not be written: File too large.\n\n"
                                         "Nothing was marked invoiced.");
  EXPECT_TRUE(FilesIn(env.reportPath()).empty());
  EXPECT_EQ(updates, 1);
}

TEST(TimeReport, MarkingRulesAndTheEmptyPeriod) {
  StoreFixture env;
  ScopedTimeZone zone("Europe/Berlin");
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  WriteSetupString("EditorPath", "/bin/true");
  env.Run(env.CreateStore("Desk"),
          {InsertAccountStatement(1, "Acme"), InsertAccountStatement(2, "Tiny"),
           InsertItemStatement(10, 1, "Work"), InsertItemStatement(20, 2, "Blink"),
           InsertTimeRecordStatement(1, PackDate(2003, 3, 31), 1, 10, ""),
           InsertTimeRecordStatement(2, PackDate(2003, 5, 7), 2, 20, ""),
           InsertSpanStatement(1, 3600, 30), InsertSpanStatement(2, 3600, 2),
           MarkInvoicedStatement("03/20/03", 1)});
  ScopedNow later(LocalTime(2003, 4, 2, 9, 0));
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };
  // An invoiced record is reported and marked again, with today's date.
  EXPECT_TRUE(CreateTimeReport(March("Desk", false), options).marked.empty());
  EXPECT_EQ(CreateTimeReport(March("Desk", true), options).marked, std::vector<int32_t>{1});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Desk");
  store.Load();
  EXPECT_EQ(store.timeRecords().at(0).invoicedate, LocalTime(2003, 4, 2));
  EXPECT_EQ(updates, 1);

  // Time that rounds to 0:00 marks nothing and reaches no handheld; the
  // account shows in the daily tables only.
  TimeReportRequest may{"Desk", "May", PackDate(2003, 5, 1), PackDate(2003, 5, 31), true};
  DocumentOutcome outcome = CreateTimeReport(may, options);
  EXPECT_TRUE(outcome.marked.empty());
  std::string text = ReadFile(outcome.path);
  EXPECT_EQ(Count(text, "Tiny"), 2u);
  EXPECT_EQ(Count(text, "0:00\\b0 \\cell}"), 2u);

  // An empty period: each table's heading and total row, nothing else.
  TimeReportRequest june{"Desk", "June", PackDate(2003, 6, 1), PackDate(2003, 6, 30), true};
  text = ReadFile(CreateTimeReport(june, options).path);
  ExpectRtfStructure(text, DocumentKind::Report);
  EXPECT_EQ(Count(text, "\\cell}"), 4u + 4 + 4 + 4 + 3 + 3);
  EXPECT_NE(text.find("{\\b \\fs24\\cgrid0 0.00\\b0 \\cell}"), std::string::npos);
  EXPECT_EQ(updates, 1);

  // No period: no report.
  EXPECT_EQ(CreateTimeReport({"Desk", "", 0, 0, true}, options).status,
            DocumentOutcome::Status::NotWritten);
  EXPECT_EQ(FilesIn(reports).size(), 4u);
}

TEST(TimeReport, SpanTimesInTwoLocales) {
  StoreFixture env;
  env.Run(env.CreateStore("Times"),
          {InsertSpanStatement(1, 9 * 3600, 50), InsertSpanStatement(1, 8 * 3600, 20),
           InsertSpanStatement(2, 23 * 3600 + 1800, 90), InsertSpanStatement(3, 9 * 3600, 5),
           InsertSpanStatement(3, 9 * 3600, 10)});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Times");
  store.Load();
  EXPECT_EQ(SpanTimesText(store, 1, 15, RoundMode::Nearest),
            "8:00 AM-8:20 AM (0.25) \\par 9:00 AM-9:50 AM (0.75)");
  EXPECT_EQ(SpanTimesText(store, 2, 6, RoundMode::Nearest), "11:30 PM-1:00 AM (1.5)");
  EXPECT_EQ(SpanTimesText(store, 3, 1, RoundMode::Nearest),
            "9:00 AM-9:05 AM (0:05) \\par 9:00 AM-9:10 AM (0:10)");  // equal starts keep order
  ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(SpanTimesText(store, 2, 15, RoundMode::Up), "23:30-01:00 (1.50)");
  EXPECT_EQ(RtfEscape(FormatDate(LocalTime(2003, 3, 15, 12), DateForm::Long)),
            "Samstag, 15. M\\u228?rz 2003");
}

TEST(TimeReport, TheChartShowsEachDaysRoundedHoursPerAccountAsTheDailyAccountTotals) {
  DocumentFixture env;
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  const TimeReportRequest march = March("Pocket_PC", false);
  const TimeReportContent content =
      BuildTimeReport(store, march, ReadReportBilling(store, march), ReadDocumentSetup(), env.now);
  const HoursChart* chart = nullptr;
  const Table* totals = nullptr;
  for (const DocumentBlock& block : content.document.blocks) {
    if (const auto* found = std::get_if<HoursChart>(&block)) chart = found;
    if (const auto* table = std::get_if<Table>(&block)) totals = table;  // the last table
  }
  ASSERT_NE(chart, nullptr);
  ASSERT_NE(totals, nullptr);
  ASSERT_EQ(chart->days.size(), 31u);  // every day of the period, with time or not
  EXPECT_EQ(chart->days.front() + chart->days.back(), "131");
  // Every row of Daily Account Totals is one bar part, and nothing else is.
  std::map<std::pair<std::string, std::string>, std::string> expected, drawn;
  for (size_t r = 0; r + 1 < totals->rows.size(); ++r) {
    const auto& cells = totals->rows[r].cells;
    const std::string name = cells[1].lines.empty() ? "" : cells[1].lines[0];
    if (cells[2].lines[0] != "0:00") expected[{cells[0].lines[0], name}] = cells[2].lines[0];
  }
  for (size_t day = 0; day < chart->days.size(); ++day) {
    for (size_t account = 0; account < chart->accounts.size(); ++account) {
      const int64_t minutes = chart->minutes[day][account];
      if (minutes == 0) continue;
      char hours[32];
      std::snprintf(hours, sizeof hours, "%lld:%02lld", static_cast<long long>(minutes / 60),
                    static_cast<long long>(minutes % 60));
      drawn[{"3/" + chart->days[day] + "/03", chart->accounts[account]}] = hours;
    }
  }
  EXPECT_GE(expected.size(), 6u);
  EXPECT_EQ(drawn, expected);
  EXPECT_TRUE(std::is_sorted(chart->accounts.begin(), chart->accounts.end()));
  EXPECT_EQ(chart->accounts.size(), 4u);  // Zero Ltd's 0:00 has no colour; the unknown account has
}
