// The invoice on a real synchronized store, a real registry and a real
// report folder.
#include "documents/invoice.h"

#include <gtest/gtest.h>

#include "documents/document_fixture.h"
#include "reporting/reporting_model.h"
#include "store/statements.h"

using namespace document_test;

namespace {

// The main window showing account of the handheld, all records included.
void Open(ReportingModel& model, const std::string& account) {
  model.LoadDefaults();
  model.FillDeviceList("Pocket_PC");
  const int index = model.accounts().FindStringExact(account);
  ASSERT_NE(index, ComboModel::kNone);
  model.SelectAccount(index);
}

}  // namespace

TEST(Invoice, GoldenDocumentThenMarkingThenHandheldUpdateThenRefresh) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, DocumentFixture::kObrien);
  ASSERT_EQ(model.rows().size(), 6u);

  // Item lines in order of first appearance, counts in 15-minute increments:
  // Design 1+3 (record 1) + 0 (no spans) + 4 (April), Coding 6 (past
  // midnight), the unknown item 2, the moved item 4.
  const InvoiceContent content = GatherInvoice(model);
  ASSERT_EQ(content.lines.size(), 4u);
  const std::pair<std::string, int64_t> expected[] = {
      {"Design", 8}, {"Coding", 6}, {"", 2}, {"Moved", 4}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(content.lines[i].name, expected[i].first);
    EXPECT_EQ(content.lines[i].count, expected[i].second);
  }

  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] {
    ++updates;
    // Marked before the handheld is contacted.
    EXPECT_EQ(InvoicedIds("Pocket_PC").size(), 6u);
    env.Synchronize(true);
  };
  const DocumentOutcome outcome = CreateInvoice(model, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::Written);
  EXPECT_EQ(outcome.path, env.reportPath() + "//HLRepO`Brien_&_{Sons}031503.rtf");
  const std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Invoice);
  ExpectGolden(text, "invoice.rtf");
  EXPECT_EQ(env.editor.WaitForArguments(), outcome.path + "\n");
  EXPECT_TRUE(env.ui.messages.empty());

  // Marked in the details' date order; gone from the handheld; the list
  // no longer shows them.
  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{1, 2, 3, 4, 5, 11}));
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 2, 3, 4, 5, 11}));
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{6, 7, 8, 9, 10, 12, 13}));
  EXPECT_TRUE(model.rows().empty());
  EXPECT_EQ(model.invoiceTotalText(), "0.00");
}

TEST(Invoice, UnmarkedRowsNameAndEmptyItemList) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, "Smith Co/West");
  for (size_t row = 0; row < model.rows().size(); ++row) model.FlipRow(static_cast<int>(row));
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };
  const DocumentOutcome outcome = CreateInvoice(model, options);

  // Still written: heading, a total of 0.00, details without rows; nothing
  // marked, the handheld not contacted.
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::Written);
  EXPECT_EQ(outcome.path, env.reportPath() + "//HLRepSmith_Co_West031503.rtf");
  const std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Invoice);
  EXPECT_EQ(Count(text, "\\cell}"), 12u);
  EXPECT_NE(text.find("{\\fs24\\cgrid0 $0.00\\cell}"), std::string::npos);
  EXPECT_TRUE(outcome.marked.empty());
  EXPECT_EQ(updates, 0);
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());

  // A second invoice on the same day takes the next free name.
  EXPECT_EQ(CreateInvoice(model, options).path,
            env.reportPath() + "//HLRepSmith_Co_West031503_1.rtf");

  // With no handheld selected there is nothing to invoice: no file at all.
  ReportingModel empty;
  const DocumentOutcome none = CreateInvoice(empty, options);
  EXPECT_EQ(none.status, DocumentOutcome::Status::NotWritten);
  EXPECT_EQ(FilesIn(env.reportPath()).size(), 2u);
  EXPECT_TRUE(env.ui.messages.empty());
}

TEST(Invoice, NothingIsMarkedWithoutACompleteDocument) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, DocumentFixture::kObrien);
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };

  // The report folder is missing: the name search ends at once.
  WriteSetupString("ReportPath", env.dir.File("missing"));
  DocumentOutcome outcome = CreateInvoice(model, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::NotWritten);
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].caption, "Horalog");
  EXPECT_NE(env.ui.messages[0].text.find(env.dir.File("missing") + "/"), std::string::npos);
  EXPECT_NE(env.ui.messages[0].text.find("No such file or directory"), std::string::npos);

  // The disk takes only the first 2048 bytes of the document.
  WriteSetupString("ReportPath", env.reportPath());
  {
    ScopedFileSizeLimit limit(2048);
    outcome = CreateInvoice(model, options);
  }
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::NotWritten);
  ASSERT_EQ(env.ui.messages.size(), 2u);
  EXPECT_NE(env.ui.messages[1].text.find(env.reportPath() + "/HLRepO`Brien_&_{Sons}031503.rtf"),
            std::string::npos);
  EXPECT_NE(env.ui.messages[1].text.find("File too large"), std::string::npos);
  EXPECT_TRUE(FilesIn(env.reportPath()).empty());  // the partial file is gone

  EXPECT_TRUE(outcome.marked.empty());
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());
  EXPECT_EQ(updates, 0);
  EXPECT_FALSE(env.editor.Started());
  EXPECT_EQ(model.rows().size(), 6u);  // the marks stay for another try
  EXPECT_EQ(model.rows()[0].inc, "X");
}

TEST(Invoice, RecordsTheStoreRefusesAreListedInOneMessage) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, DocumentFixture::kObrien);
  // The maintenance program removed two records behind the window's back.
  env.Run(model.store().storePath(), {DeleteTimeRecordStatement(3), DeleteTimeRecordStatement(5)});
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };
  const DocumentOutcome outcome = CreateInvoice(model, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::PartlyMarked);
  EXPECT_EQ(outcome.unmarked, (std::vector<int32_t>{3, 5}));
  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{1, 2, 4, 11}));
  ASSERT_EQ(env.ui.messages.size(), 1u);
  const std::string& message = env.ui.messages[0].text;
  EXPECT_NE(message.find("3/4/03  O`Brien & {Sons}/  (record 3)"), std::string::npos) << message;
  EXPECT_NE(message.find("3/6/03  O`Brien & {Sons}/Moved  (record 5)"), std::string::npos);
  EXPECT_EQ(updates, 1);  // the records that were marked leave the handheld
}

TEST(Invoice, AnyNumberOfRecordsAndItemsAndWholeHours) {
  StoreFixture env;
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  WriteSetupString("EditorPath", "/bin/true");
  const std::string path = env.CreateStore("Big");
  std::vector<std::string> statements = {InsertAccountStatement(1, "Many"),
                                         InsertAccountStatement(2, "Hourly"),
                                         InsertItemStatement(500, 2, "Audit")};
  for (int item = 0; item < 41; ++item) {
    statements.push_back(InsertItemStatement(100 + item, 1, "Item " + std::to_string(item)));
  }
  for (int record = 0; record < 101; ++record) {
    statements.push_back(InsertTimeRecordStatement(record + 1, PackDate(2003, 3, 1 + record % 28),
                                                   1, 100 + record % 41, "n"));
    statements.push_back(InsertSpanStatement(record + 1, 3600, 6));
  }
  statements.push_back(InsertTimeRecordStatement(900, PackDate(2003, 3, 1), 2, 500, "four"));
  statements.push_back(InsertSpanStatement(900, 3600, 240));
  env.Run(path, statements);
  SetAccountValue("Hourly", "", "Atom", 60);

  ReportingModel model;
  model.LoadDefaults();
  model.FillDeviceList("Big");
  model.SelectAccount(model.accounts().FindStringExact("Many"));
  DocumentOutcome outcome = CreateInvoice(model, {});
  ASSERT_EQ(outcome.status, DocumentOutcome::Status::Written);
  std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Invoice);
  EXPECT_EQ(Count(text, "\\cell}"), 4u * (1 + 41 + 1 + 1 + 101));
  EXPECT_EQ(outcome.marked.size(), 101u);

  // 60-minute increments: 4 hours are "4" on the items line, "4 0/1" in the
  // details.
  model.SelectAccount(model.accounts().FindStringExact("Hourly"));
  outcome = CreateInvoice(model, {});
  text = ReadFile(outcome.path);
  EXPECT_NE(text.find("{\\fs24\\cgrid0 Audit\\cell}\r\n\\pard \\qr\\nowidctlpar\\intbl\\adjustright"
                      "\\keepn\r\n{\\fs24\\cgrid0 4\\cell}"),
            std::string::npos);
  EXPECT_NE(text.find("{\\fs24\\cgrid0 {\\plain 4 0/1 }\\cell}"), std::string::npos);
}

TEST(InvoiceParts, FileNamesDateOrderAndSpanHours) {
  const std::pair<const char*, const char*> names[] = {
      {"A/B Ltd  ", "A_B_Ltd"},
      {"Smith Co/West", "Smith_Co_West"},
      {"Tabs\t\r\n", "Tabs"},
      {" lead", "_lead"},
  };
  for (auto [account, part] : names) EXPECT_EQ(InvoiceFileNamePart(account), part) << account;

  StoreFixture env;
  const std::string path = env.CreateStore("Order");
  env.Run(path, {InsertTimeRecordStatement(1, PackDate(2003, 3, 9), 1, 0, ""),
                 InsertTimeRecordStatement(2, PackDate(2003, 3, 5), 1, 0, ""),
                 InsertTimeRecordStatement(3, PackDate(2003, 3, 5), 1, 0, ""),
                 InsertTimeRecordStatement(4, PackDate(2003, 3, 1), 1, 0, ""),
                 InsertSpanStatement(4, 0, 20), InsertSpanStatement(4, 0, 50)});
  RecordStore store;
  store.SetDeviceName("Order");
  store.Load();
  // Marked out of date order; an id the store lacks counts as the earliest.
  EXPECT_EQ(OrderByDate(store, {1, 2, 4, 3}), (std::vector<int32_t>{4, 2, 3, 1}));
  EXPECT_EQ(OrderByDate(store, {3, 77, 1}), (std::vector<int32_t>{77, 3, 1}));
  EXPECT_EQ(OrderByDate(store, {}), std::vector<int32_t>{});

  EXPECT_EQ(SpanHoursCell(store, 4, 15, RoundMode::Nearest),
            "{\\plain 0.25 }{\\plain  \\par 0.75 }");
  EXPECT_EQ(SpanHoursCell(store, 4, 15, RoundMode::Up), "{\\plain 0.50 }{\\plain  \\par 1.00 }");
  EXPECT_EQ(SpanHoursCell(store, 1, 15, RoundMode::Nearest), "");
}
