// The invoice on a real synchronized store, registry and report folder.
#include "documents/invoice.h"

#include <gtest/gtest.h>

#include <map>

#include "documents/document_fixture.h"
#include "platform/sqlite_connection.h"
#include "reporting/reporting_model.h"
#include "store/statements.h"

using namespace document_test;

namespace {

// The main window showing every record of account.
void Open(ReportingModel& model, const std::string& account, const std::string& device) {
  model.LoadDefaults();
  model.FillDeviceList(device);
  const int index = model.accounts().FindStringExact(account);
  ASSERT_NE(index, ComboModel::kNone);
  model.SelectAccount(index);
}

}  // namespace

TEST(Invoice, GoldenDocumentThenMarkingThenHandheldUpdateThenRefresh) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, DocumentFixture::kObrien, "Pocket_PC");
  ASSERT_EQ(model.rows().size(), 6u);
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] {
    ++updates;
    EXPECT_EQ(InvoicedIds("Pocket_PC").size(), 6u);  // marked before the handheld is reached
    env.Synchronize(true);
  };
  const DocumentOutcome outcome = CreateInvoice(model, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::Written);
  EXPECT_EQ(outcome.path, env.reportPath() + "/HLRepO`Brien_&_{Sons}031503.rtf");
  const std::string text = ReadFile(outcome.path);
  ExpectRtfStructure(text, DocumentKind::Invoice);
  // Item lines in order of first appearance (Design of rows 1, 4 and 6
  // first); details by date; totals of unrounded amounts.
  ExpectGolden(text, "invoice.rtf");
  EXPECT_EQ(env.editor.WaitForArguments(), outcome.path + "\n");
  EXPECT_TRUE(env.ui.messages.empty());
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 2, 3, 4, 5, 11}));
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{6, 7, 8, 9, 10, 12, 13}));
  EXPECT_TRUE(model.rows().empty());  // the refreshed list hides invoiced rows
}

TEST(Invoice, NothingIsMarkedWithoutACompleteDocument) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, DocumentFixture::kObrien, "Pocket_PC");
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };

  WriteSetupString("ReportPath", env.dir.File("missing"));
  EXPECT_EQ(CreateInvoice(model, options).status, DocumentOutcome::Status::NotWritten);
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].text, "The document could not be created in the folder " +
                                         env.dir.File("missing") +
                                         "/: No such file or directory.\n\nNothing was marked "
                                         "invoiced.");
  WriteSetupString("ReportPath", env.reportPath());
  {
    ScopedFileSizeLimit limit(2048);  // the disk takes the first 2048 bytes only
    EXPECT_EQ(CreateInvoice(model, options).status, DocumentOutcome::Status::NotWritten);
  }
  ASSERT_EQ(env.ui.messages.size(), 2u);
  EXPECT_EQ(env.ui.messages[1].text, "The document " + env.reportPath() +
                                         "/HLRepO`Brien_&_{Sons}031503.rtf could not be written: "
                                         "File too large.\n\nNothing was marked invoiced.");
  EXPECT_TRUE(FilesIn(env.reportPath()).empty());

  // With no handheld selected (no items) nothing is written at all.
  ReportingModel none;
  EXPECT_EQ(CreateInvoice(none, options).status, DocumentOutcome::Status::NotWritten);
  EXPECT_TRUE(FilesIn(env.reportPath()).empty());

  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());
  EXPECT_EQ(updates, 0);
  EXPECT_FALSE(env.editor.Started());
  EXPECT_EQ(model.rows().at(0).inc, "X");  // the marks stay for another try
}

TEST(Invoice, NoRowsMarkedAndRecordsTheStoreRefuses) {
  DocumentFixture env;
  ReportingModel model;
  Open(model, "Smith Co/West", "Pocket_PC");
  for (size_t row = 0; row < model.rows().size(); ++row) model.FlipRow(static_cast<int>(row));
  int updates = 0;
  DocumentOptions options;
  options.updateHandheld = [&] { ++updates; };
  DocumentOutcome outcome = CreateInvoice(model, options);
  // Still written: headings, a total of $0.00; nothing marked, no handheld.
  EXPECT_EQ(outcome.path, env.reportPath() + "/HLRepSmith_Co_West031503.rtf");
  const std::string text = ReadFile(outcome.path);
  EXPECT_EQ(Count(text, "\\cell}"), 12u);
  EXPECT_NE(text.find("{\\fs24\\cgrid0 $0.00\\cell}"), std::string::npos);
  EXPECT_EQ(updates, 0);

  // The maintenance program removed records behind the window's back.
  Open(model, DocumentFixture::kObrien, "Pocket_PC");
  env.Run(model.store().storePath(), {DeleteTimeRecordStatement(3), DeleteTimeRecordStatement(5)});
  outcome = CreateInvoice(model, options);
  EXPECT_EQ(outcome.status, DocumentOutcome::Status::PartlyMarked);
  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{1, 2, 4, 11}));
  EXPECT_EQ(outcome.unmarked, (std::vector<int32_t>{3, 5}));
  ASSERT_EQ(env.ui.messages.size(), 1u);
  const std::string& message = env.ui.messages[0].text;
  EXPECT_NE(message.find("\n3/4/03  O`Brien & {Sons}/  (record 3)\n3/6/03  O`Brien & "
                         "{Sons}/Moved  (record 5)\n"),
            std::string::npos)
      << message;
  EXPECT_EQ(updates, 1);  // the marked ones still leave the handheld
}

TEST(Invoice, AnyNumberOfRecordsAndItemsAndWholeHours) {
  StoreFixture env;
  WriteSetupString("ReportPath", env.dir.path());
  WriteSetupString("EditorPath", "/bin/true");
  const int32_t day = PackDate(2003, 3, 1);
  std::vector<StoreStatement> statements = {
      InsertAccountStatement(1, "Many"), InsertAccountStatement(2, "Hourly"),
      InsertItemStatement(500, 2, "Audit"), InsertTimeRecordStatement(900, day, 2, 500, ""),
      InsertSpanStatement(900, 3600, 240)};
  for (int i = 0; i < 41; ++i)
    statements.push_back(InsertItemStatement(100 + i, 1, "I" + std::to_string(i)));
  for (int i = 0; i < 101; ++i) {
    statements.push_back(InsertTimeRecordStatement(i + 1, day, 1, 100 + i % 41, "n"));
  }
  env.Run(env.CreateStore("Big"), statements);
  SetDword("Hourly", "", "Atom", 60);
  ReportingModel model;
  Open(model, "Many", "Big");
  DocumentOutcome outcome = CreateInvoice(model, {});
  EXPECT_EQ(Count(ReadFile(outcome.path), "\\cell}"), 4u * (1 + 41 + 1 + 1 + 101));
  EXPECT_EQ(outcome.marked.size(), 101u);

  // Four hours in 60-minute increments: "4" per item, "4 0/1" per span.
  Open(model, "Hourly", "Big");
  const std::string text = ReadFile(CreateInvoice(model, {}).path);
  EXPECT_NE(text.find("Audit\\cell}\r\n\\pard \\qr\\nowidctlpar\\intbl\\adjustright\\keepn\r\n"
                      "{\\fs24\\cgrid0 4\\cell}"),
            std::string::npos);
  EXPECT_NE(text.find("{\\plain 4 0/1 }"), std::string::npos);

  // A selection given as a value, not the window's: just its rows are billed.
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Big");
  store.Load();
  outcome = CreateInvoice(InvoiceSelection{"Many", {{42, "I0"}, {1, "I0"}}}, store, {});
  EXPECT_EQ(outcome.marked, (std::vector<int32_t>{42, 1}));
  EXPECT_EQ(Count(ReadFile(outcome.path), "\\cell}"), 4u * (1 + 1 + 1 + 1 + 2));
}

TEST(InvoiceParts, FileNamesAndDateOrder) {
  EXPECT_EQ(InvoiceFileNamePart("A/B Ltd  "), "A_B_Ltd");
  EXPECT_EQ(InvoiceFileNamePart(" Tab\t\r\n"), "_Tab");
  StoreFixture env;
  env.Run(env.CreateStore("Order"), {InsertTimeRecordStatement(1, PackDate(2003, 3, 9), 1, 0, ""),
                                     InsertTimeRecordStatement(2, PackDate(2003, 3, 5), 1, 0, ""),
                                     InsertTimeRecordStatement(3, PackDate(2003, 3, 5), 1, 0, ""),
                                     InsertTimeRecordStatement(4, PackDate(2003, 3, 1), 1, 0, "")});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Order");
  store.Load();
  // Rows flipped out of date order; an id the store lacks counts as date 0.
  EXPECT_EQ(OrderByDate(store, {1, 2, 4, 3}), (std::vector<int32_t>{4, 2, 3, 1}));
  EXPECT_EQ(OrderByDate(store, {3, 77, 1}), (std::vector<int32_t>{77, 3, 1}));

  // Many rows, many of one date, some past every packed date (years 9950
  // and 9999, never taken as earlier) and some missing: the order a walk through the
  // rest for each position gives.
  SqliteConnection db;
  ASSERT_EQ(db.Open(env.CreateStore("Many"), false), 0);
  ASSERT_EQ(
      db.Exec("WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT id + 1 FROM n WHERE id < "
              "700) INSERT INTO hlgroup (id, grpdate, acct, item, notes) SELECT id, CASE WHEN "
              "id % 13 = 0 THEN " +
              std::to_string(PackDate(9950, 1, 1)) + " + id % 2 * " +
              std::to_string(PackDate(49, 0, 0)) + " ELSE " + std::to_string(PackDate(2003, 3, 1)) +
              " + (id * 7919) % 9 END, 1, 0, '' FROM n"),
      0);
  db.Close();
  store.SetDeviceName("Many");
  store.Load();
  std::map<int32_t, int32_t> dateOf;
  for (const TimeRecord& record : store.timeRecords()) dateOf[record.id] = record.grpdate;
  std::vector<int32_t> ids, dates;
  for (int32_t k = 0; k < 720; ++k) ids.push_back((k * 389) % 720 + 1);  // 701 to 720 missing
  for (int32_t id : ids) dates.push_back(dateOf.contains(id) ? dateOf.at(id) : 0);
  std::vector<int32_t> walked = ids;
  for (size_t i = 0; i < walked.size(); ++i) {
    size_t earliest = i;
    int32_t earliestDate = 650000000;
    for (size_t k = i + 1; k < walked.size(); ++k) {
      if (dates[k] < earliestDate) earliestDate = dates[earliest = k];
    }
    if (earliest != i && earliestDate < dates[i]) {
      std::swap(walked[i], walked[earliest]);
      std::swap(dates[i], dates[earliest]);
    }
  }
  EXPECT_EQ(OrderByDate(store, ids), walked);
}
