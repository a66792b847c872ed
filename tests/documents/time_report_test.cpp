// The time report on a real synchronized store, a real registry and a real
// report folder.
#include "documents/time_report.h"

#include <gtest/gtest.h>

#include "documents/document_fixture.h"
#include "platform/locale_format.h"
#include "store/statements.h"

using namespace document_test;

namespace {

TimeReportRequest March(const std::string& device, bool setInvoiced) {
  return {device, "3/1/03 - 3/31/03", PackDate(2003, 3, 1), PackDate(2003, 3, 31), setInvoiced};
}

// A plain cell of text at size 20 as the report writes it.
std::string Cell20(const std::string& text) { return "{\\fs20\\cgrid0 " + text + "\\cell}"; }

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
  EXPECT_EQ(outcome.path, env.reportPath() + "//Report030315.rtf");
  const std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Report);
  ExpectGolden(text, "time_report.rtf");
  EXPECT_EQ(env.editor.WaitForArguments(), outcome.path + "\n");
  EXPECT_TRUE(env.ui.messages.empty());

  // Summary of O`Brien: the unknown item first, the own items in list
  // order, the item that moved to Smith Co/West last, billed at O`Brien's
  // rates; the three 3.333... of Delta total 10.00.
  const size_t unknown = text.find("O`Brien & \\{Sons\\} - \\cell}");
  const size_t design = text.find("O`Brien & \\{Sons\\} - Design\\cell}");
  const size_t coding = text.find("O`Brien & \\{Sons\\} - Coding\\cell}");
  const size_t moved = text.find("O`Brien & \\{Sons\\} - Moved\\cell}");
  EXPECT_LT(unknown, design);
  EXPECT_LT(design, coding);
  EXPECT_LT(coding, moved);
  EXPECT_NE(moved, std::string::npos);
  EXPECT_NE(text.find("{\\b \\fs24\\cgrid0 10.00\\b0 \\cell}"), std::string::npos);
  // The record of an account the store does not know is in the daily
  // tables only, and is neither billed nor marked.
  EXPECT_EQ(Count(text, "gone account"), 1u);
  EXPECT_NE(text.find(Cell20("/Design")), std::string::npos);

  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{1, 2, 6, 3, 4, 5, 7, 8, 9, 10}));
  EXPECT_EQ(InvoicedIds("Pocket_PC"), outcome.marked);
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{11, 12, 13}));
}

TEST(TimeReport, MarkingRulesAndTheEmptyPeriod) {
  StoreFixture env;
  ScopedTimeZone zone("Europe/Berlin");
  ScopedNow early(LocalTime(2003, 3, 20, 9, 0));
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  WriteSetupString("EditorPath", "/bin/true");
  const std::string path = env.CreateStore("Desk");
  env.Run(path, {InsertAccountStatement(1, "Acme"), InsertAccountStatement(2, "Tiny"),
                 InsertItemStatement(10, 1, "Work"), InsertItemStatement(20, 2, "Blink"),
                 InsertTimeRecordStatement(1, PackDate(2003, 3, 1), 1, 10, "first day"),
                 InsertTimeRecordStatement(2, PackDate(2003, 3, 31), 1, 10, "last day"),
                 InsertTimeRecordStatement(3, PackDate(2003, 4, 1), 1, 10, "next month"),
                 InsertTimeRecordStatement(4, PackDate(2003, 5, 7), 2, 20, "too short"),
                 InsertSpanStatement(1, 3600, 30), InsertSpanStatement(2, 3600, 30),
                 InsertSpanStatement(3, 3600, 30), InsertSpanStatement(4, 3600, 2)});
  {
    // Record 1 was invoiced before, on 20 March.
    RecordStore store;
    store.SetDeviceName("Desk");
    store.Load();
    ASSERT_TRUE(store.MarkInvoiced(1));
  }
  ScopedNow later(LocalTime(2003, 4, 2, 9, 0));
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };

  // Both ends of the period are in it; an invoiced record is marked again
  // with today's date.
  DocumentOutcome outcome = CreateTimeReport(March("Desk", true), options);
  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(updates, 1);
  RecordStore store;
  store.SetDeviceName("Desk");
  store.Load();
  for (const TimeRecord& record : store.timeRecords()) {
    EXPECT_EQ(record.invoiced, record.id <= 2) << record.id;
    if (record.id <= 2) {
      EXPECT_EQ(record.invoicedate, LocalTime(2003, 4, 2)) << record.id;
    }
  }

  // Without the box nothing is marked.
  outcome = CreateTimeReport(March("Desk", false), options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::Written);
  EXPECT_TRUE(outcome.marked.empty());

  // Time that rounds to 0:00: nothing is marked, the handheld not contacted.
  TimeReportRequest may{"Desk", "5/1/03 - 5/31/03", PackDate(2003, 5, 1), PackDate(2003, 5, 31),
                        true};
  outcome = CreateTimeReport(may, options);
  EXPECT_TRUE(outcome.marked.empty());
  std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Report);
  // No summary row and no details: only the daily tables show it, at 0:00.
  EXPECT_EQ(Count(text, "Tiny"), 2u);
  EXPECT_NE(text.find(Cell20("Tiny/Blink")), std::string::npos);
  EXPECT_NE(text.find(Cell20("Tiny")), std::string::npos);

  // An empty period: the tables' headings and totals, nothing else.
  TimeReportRequest june{"Desk", "6/1/03 - 6/30/03", PackDate(2003, 6, 1), PackDate(2003, 6, 30),
                         true};
  outcome = CreateTimeReport(june, options);
  EXPECT_TRUE(outcome.marked.empty());
  EXPECT_EQ(updates, 1);
  text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Report);
  EXPECT_EQ(Count(text, "\\cell}"), 4u + 4 + 4 + 4 + 3 + 3);
  EXPECT_NE(text.find("{\\b \\fs24\\cgrid0 0.00\\b0 \\cell}"), std::string::npos);
  EXPECT_EQ(Count(text, "{\\b \\fs20\\cgrid0 0:00\\b0 \\cell}"), 2u);
  EXPECT_EQ(FilesIn(reports).size(), 4u);

  // No period: no report.
  outcome = CreateTimeReport({"Desk", "", 0, 0, true}, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::NotWritten);
  EXPECT_EQ(FilesIn(reports).size(), 4u);
  EXPECT_TRUE(env.ui.messages.empty());
}

TEST(TimeReport, NothingIsMarkedWithoutACompleteDocument) {
  DocumentFixture env;
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };
  DocumentOutcome outcome;
  {
    ScopedFileSizeLimit limit(4096);
    outcome = CreateTimeReport(March("Pocket_PC", true), options);
  }
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::NotWritten);
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].text, "The document " + env.reportPath() +
                                         "//Report030315.rtf could not be written: File too "
                                         "large.\n\nNothing was marked invoiced.");
  EXPECT_TRUE(FilesIn(env.reportPath()).empty());
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());
  EXPECT_EQ(updates, 0);
  EXPECT_EQ(env.HandheldRecordIds().size(), 13u);
}

TEST(TimeReport, SpanTimesInTwoLocales) {
  StoreFixture env;
  const std::string path = env.CreateStore("Times");
  env.Run(path, {InsertSpanStatement(1, 9 * 3600, 50), InsertSpanStatement(1, 8 * 3600, 20),
                 InsertSpanStatement(2, 23 * 3600 + 1800, 90), InsertSpanStatement(3, 9 * 3600, 5),
                 InsertSpanStatement(3, 9 * 3600, 10)});
  RecordStore store;
  store.SetDeviceName("Times");
  store.Load();
  // Ordered by start; the hours of each span rounded by themselves.
  EXPECT_EQ(SpanTimesText(store, 1, 15, RoundMode::Nearest),
            "8:00 AM-8:20 AM (0.25) \\par 9:00 AM-9:50 AM (0.75)");
  // Past midnight the end is on the next day's clock.
  EXPECT_EQ(SpanTimesText(store, 2, 6, RoundMode::Nearest), "11:30 PM-1:00 AM (1.5)");
  // Equal starts keep their order.
  EXPECT_EQ(SpanTimesText(store, 3, 1, RoundMode::Nearest),
            "9:00 AM-9:05 AM (0:05) \\par 9:00 AM-9:10 AM (0:10)");
  EXPECT_EQ(SpanTimesText(store, 4, 15, RoundMode::Nearest), "");

  ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(SpanTimesText(store, 2, 15, RoundMode::Up), "23:30-01:00 (1.50)");
  // Dates beyond ASCII reach the document escaped.
  EXPECT_EQ(RtfEscape(FormatDate(LocalTime(2003, 3, 15, 12), DateForm::Long)),
            "Samstag, 15. M\\u228?rz 2003");
}
