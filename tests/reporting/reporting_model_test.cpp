// The main window's rules on real stores and a real registry.
#include "reporting/reporting_model.h"

#include <gtest/gtest.h>

#include "store/statements.h"
#include "support/store_fixture.h"

namespace {

std::vector<std::string> Column(const ReportingModel& model, std::string RecordRow::*column) {
  std::vector<std::string> texts;
  for (const RecordRow& row : model.rows()) texts.push_back(row.*column);
  return texts;
}

// Smith's handheld: account Acme with items Admin, Design; account Bolt
// without items; spans of 12 (2 increments) and 18 minutes (3 increments).
class ReportingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = env.CreateStore("Smith_PC");
    env.CreateStore("alpha");
    env.Run(path, {InsertAccountStatement(1, "Acme"), InsertAccountStatement(2, "Bolt"),
                   InsertAccountStatement(3, "acme"), InsertItemStatement(10, 1, "Design"),
                   InsertItemStatement(11, 1, "Admin"),
                   InsertTimeRecordStatement(100, PackDate(2002, 3, 6), 1, 10, "a"),
                   InsertTimeRecordStatement(101, PackDate(2002, 3, 12), 1, 11, "b"),
                   InsertTimeRecordStatement(102, PackDate(2002, 3, 20), 1, 10, "c"),
                   InsertTimeRecordStatement(103, PackDate(2002, 3, 7), 2, 0, "d"),
                   InsertSpanStatement(100, 3600, 12), InsertSpanStatement(101, 7200, 18),
                   InsertSpanStatement(102, 0, 60)});
    SetDword("Acme", "All", "Rate", 4500);
    SetDword("Acme", "Design", "Rate", 6000);
  }

  void Open(ReportingModel& model, const std::string& preferred = "Smith_PC") {
    model.LoadDefaults();
    model.FillDeviceList(preferred);
  }

  StoreFixture env;
  std::string path;
};

}  // namespace

TEST_F(ReportingTest, CascadeSelectsThePreferredDeviceAndSortsItems) {
  ReportingModel model;
  Open(model, "SMITH_pc");  // found whatever its letter case
  EXPECT_EQ(model.devices().Texts(), (std::vector<std::string>{"alpha", "Smith_PC"}));
  EXPECT_EQ(model.devices().ComboText(), "Smith_PC");
  EXPECT_EQ(model.deviceName(), "Smith_PC");
  // "acme" differs from "Acme" only in case and is listed once.
  EXPECT_EQ(model.accounts().Texts(), (std::vector<std::string>{"Acme", "Bolt"}));
  // Admin sorts above All and is selected first: its records alone.
  EXPECT_EQ(model.items().Texts(), (std::vector<std::string>{"Admin", "All", "Design"}));
  EXPECT_EQ(model.itemName(), "Admin");
  EXPECT_EQ(model.itemId(), 11);
  ASSERT_EQ(model.rows().size(), 1u);
  EXPECT_EQ(model.rows()[0].id, 101);
  EXPECT_EQ(model.rateText(), "45.00");

  model.SelectItem(1);  // All
  EXPECT_EQ(Column(model, &RecordRow::date),
            (std::vector<std::string>{"3/6/02", "3/12/02", "3/20/02"}));
  EXPECT_EQ(Column(model, &RecordRow::rate), (std::vector<std::string>{"60.00", "45.00", "60.00"}));
  EXPECT_EQ(Column(model, &RecordRow::time), (std::vector<std::string>{"0.2", "0.3", "1.0"}));
  EXPECT_EQ(Column(model, &RecordRow::extension),
            (std::vector<std::string>{"12.00", "13.50", "60.00"}));
  EXPECT_EQ(model.totalTimeText(), "1.5");
  EXPECT_EQ(model.invoiceTotalText(), "85.50");

  // An account without items lists All only and all its records.
  model.SelectAccount(1);
  EXPECT_EQ(model.items().Texts(), std::vector<std::string>{"All"});
  EXPECT_EQ(Column(model, &RecordRow::item), std::vector<std::string>{""});

  // No preferred name: the first of the sorted list, a store without accounts.
  model.FillDeviceList("");
  EXPECT_EQ(model.deviceName(), "alpha");
  EXPECT_TRUE(model.accounts().Texts().empty());
  EXPECT_TRUE(model.rows().empty());
  EXPECT_EQ(model.rateText(), "");
  EXPECT_EQ(model.totalTimeText(), "");
  EXPECT_EQ(model.dateRanges().count(), 0);
  // Nor after the dialogs close: no "0.0", no "0.00"; no account to edit.
  EXPECT_FALSE(model.accountCommandsEnabled());
  model.AfterSetup();
  model.AfterRate(true);
  EXPECT_EQ(model.rateText(), "");
  EXPECT_EQ(model.totalTimeText(), "");
  EXPECT_EQ(model.invoiceTotalText(), "");
}

TEST_F(ReportingTest, MarksRangesAndFlipping) {
  SetAccountString("Acme", "Period", "One Week");
  ReportingModel model;
  Open(model);
  model.SelectItem(1);  // All
  EXPECT_EQ(model.dateRanges().Texts(),
            (std::vector<std::string>{"All", "3/4/02 - 3/10/02", "3/11/02 - 3/17/02",
                                      "3/18/02 - 3/24/02"}));
  EXPECT_EQ(model.dateRanges().selected(), 0);
  EXPECT_EQ(Column(model, &RecordRow::inc), (std::vector<std::string>{"X", "X", "X"}));

  model.SelectDateRange(2);
  EXPECT_EQ(Column(model, &RecordRow::inc), (std::vector<std::string>{"", "X", ""}));
  EXPECT_EQ(model.totalTimeText(), "0.3");
  EXPECT_EQ(model.invoiceTotalText(), "13.50");

  // Flipping a row in and out of the totals; a click outside the rows changes nothing.
  model.FlipRow(0);
  EXPECT_EQ(model.totalTimeText(), "0.5");
  model.FlipRow(0);
  model.FlipRow(-1);
  EXPECT_EQ(model.totalTimeText(), "0.3");
  model.FlipRow(1);
  EXPECT_EQ(model.totalTimeText(), "0.0");
  EXPECT_EQ(model.invoiceTotalText(), "0.00");

  // "All" marks every uninvoiced row again, also the one flipped off.
  model.SelectDateRange(0);
  EXPECT_EQ(Column(model, &RecordRow::inc), (std::vector<std::string>{"X", "X", "X"}));

  // Details follows the selected row.
  EXPECT_FALSE(model.detailsEnabled());
  model.SelectRow(2);
  EXPECT_TRUE(model.detailsEnabled());
  model.SelectRow(7);
  EXPECT_FALSE(model.detailsEnabled());

  // A refresh keeps the selected record while it is listed, wherever it lands.
  model.SelectRow(1);  // 101, Admin's
  model.AfterSetup();
  EXPECT_EQ(model.selectedRow(), 1);
  model.SelectItem(0);  // Admin: 101 alone
  EXPECT_EQ(model.selectedRow(), 0);
  model.SelectItem(2);  // Design: 101 is not listed
  EXPECT_EQ(model.selectedRow(), -1);
  EXPECT_FALSE(model.detailsEnabled());
}

TEST_F(ReportingTest, InvoicedRowsShowOnlyWithShowAllAndAreNotCounted) {
  {
    RecordStore store(ReadStoreFolders());
    store.SetDeviceName("Smith_PC");
    store.Load();
    ScopedNow clock(LocalTime(2003, 3, 15, 14, 5));
    ASSERT_TRUE(store.MarkInvoiced(102));
  }
  ReportingModel model;
  Open(model);
  model.SelectItem(1);
  EXPECT_EQ(model.rows().size(), 2u);
  model.SetShowAll(true);
  ASSERT_EQ(model.rows().size(), 3u);
  EXPECT_EQ(Column(model, &RecordRow::inc), (std::vector<std::string>{"X", "X", " "}));
  EXPECT_EQ(Column(model, &RecordRow::invDate), (std::vector<std::string>{" ", " ", "3/15/03"}));
  EXPECT_EQ(model.totalTimeText(), "0.5");  // 2 and 3 increments of 6 minutes
  // A range never includes an invoiced row; a double click does.
  model.SelectDateRange(0);
  EXPECT_EQ(model.rows()[2].inc, " ");
  model.FlipRow(2);
  EXPECT_EQ(model.rows()[2].inc, "X");
  EXPECT_EQ(model.totalTimeText(), "1.5");
}

TEST_F(ReportingTest, IncrementsRatesAndDialogsAfterwards) {
  SetDword("Acme", "", "Atom", 20);
  ReportingModel model;
  Open(model);
  model.SelectItem(1);
  // 12 and 18 minutes round to 1 increment of 20, 60 minutes to 3.
  EXPECT_EQ(Column(model, &RecordRow::time), (std::vector<std::string>{"0 1/3", "0 1/3", "1 0/3"}));
  EXPECT_EQ(model.totalTimeText(), "1 2/3");

  // The rate dialog changed Design's rate: OK shows it in the field too.
  SetDword("Acme", "All", "Rate", 1000);
  SetDword("Acme", "Design", "Rate", 3000);
  model.AfterRate(true);
  EXPECT_EQ(model.rateText(), "10.00");
  EXPECT_EQ(Column(model, &RecordRow::rate), (std::vector<std::string>{"30.00", "10.00", "30.00"}));
  // Cancel leaves the field but still refreshes the rows.
  SetDword("Acme", "All", "Rate", 2000);
  model.AfterRate(false);
  EXPECT_EQ(model.rateText(), "10.00");
  EXPECT_EQ(model.rows()[1].rate, "20.00");

  // The account preferences changed the period: the ranges are rebuilt, All selected.
  SetAccountString("Acme", "Period", "One Month");
  model.SelectDateRange(0);
  model.AfterAccountPrefs();
  EXPECT_EQ(model.dateRanges().Texts(), (std::vector<std::string>{"All", "3/1/02 - 3/31/02"}));
  EXPECT_EQ(model.dateRanges().selected(), 0);

  // Connect selects the first handheld whatever was selected before.
  model.AfterConnect();
  EXPECT_EQ(model.deviceName(), "alpha");
}

// An account whose name holds "\" bills by the Default key's increment and
// mode as a plain one does: 95 minutes in quarters, rounded up, are 1.75.
class NestedAccountName : public ::testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Backslashes, NestedAccountName, ::testing::ValuesIn(kNestedAccountNames));

TEST_P(NestedAccountName, BillsWithTheDefaultIncrementAndMode) {
  StoreFixture env;
  env.Run(env.CreateStore("Pocket"),
          {InsertAccountStatement(1, GetParam()), InsertItemStatement(10, 1, "Design"),
           InsertTimeRecordStatement(100, PackDate(2002, 3, 6), 1, 10, "a"),
           InsertSpanStatement(100, 3600, 95)});
  SetDword("Default", "", "Atom", 15);
  SetAccountString("Default", "Round", "Up");
  SetDword(GetParam(), "All", "Rate", 4000);
  ReportingModel model;
  model.LoadDefaults();
  model.FillDeviceList("Pocket");
  ASSERT_EQ(model.rows().size(), 1u);
  EXPECT_EQ(model.rows()[0].time, "1.75");
  EXPECT_EQ(model.rows()[0].extension, "70.00");
  EXPECT_EQ(model.totalTimeText(), "1.75");
  EXPECT_EQ(model.rateText(), "40.00");
}

TEST(ReportingModel, NoStoresShowNothing) {
  StoreFixture env;
  ReportingModel model;
  model.LoadDefaults();
  model.FillDeviceList("Anything");
  EXPECT_EQ(model.devices().count(), 0);
  EXPECT_TRUE(model.rows().empty());
  EXPECT_EQ(model.deviceName(), "");
}

TEST(ComboModel, SortedEntriesAndExactSearch) {
  ComboModel combo(true);
  for (const char* text : {"beta", "All", "Admin", "alpha", "Beta"}) combo.Add(text);
  EXPECT_EQ(combo.Texts(), (std::vector<std::string>{"Admin", "All", "alpha", "beta", "Beta"}));
  EXPECT_EQ(combo.FindStringExact("BETA"), 3);
  EXPECT_EQ(combo.FindStringExact("bet"), ComboModel::kNone);
  EXPECT_EQ(combo.ComboText(), "");
  combo.SetEditText("typed");
  EXPECT_EQ(combo.ComboText(), "typed");
  combo.Select(1);
  combo.Add("Aaron");  // the selection stays on its entry
  EXPECT_EQ(combo.ComboText(), "All");
  combo.Select(99);
  EXPECT_EQ(combo.selected(), ComboModel::kNone);
  ComboModel unsorted(false);
  unsorted.Add("b");
  unsorted.Add("a");
  EXPECT_EQ(unsorted.Texts(), (std::vector<std::string>{"b", "a"}));
}
