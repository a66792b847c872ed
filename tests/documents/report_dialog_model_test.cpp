// The report dialog's rules on a real store and a real registry.
#include "documents/report_dialog_model.h"

#include <gtest/gtest.h>

#include "documents/document_fixture.h"
#include "store/statements.h"

using namespace document_test;

namespace {

using Labels = std::vector<std::string>;

// Acme billed in 6-minute increments at 45.00: records on Wednesday
// 6 March and Tuesday 12 March 2002 (an hour and half an hour), 20 April,
// and an invoiced one on 2 May.
class ReportDialogModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = env.CreateStore("Desk");
    env.Run(path, {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Work"),
                   InsertTimeRecordStatement(1, PackDate(2002, 3, 6), 1, 10, "a"),
                   InsertTimeRecordStatement(2, PackDate(2002, 3, 12), 1, 10, "b"),
                   InsertTimeRecordStatement(3, PackDate(2002, 4, 20), 1, 10, "c"),
                   InsertTimeRecordStatement(4, PackDate(2002, 5, 2), 1, 10, "d"),
                   InsertSpanStatement(1, 3600, 60), InsertSpanStatement(2, 3600, 30),
                   InsertSpanStatement(3, 3600, 15), InsertSpanStatement(4, 3600, 6),
                   MarkInvoicedStatement("05/03/02", 4)});
    SetAccountValue("Acme", "All", "Rate", 4500);
    SetSetupDword("DefaultRate", 0);
  }
  StoreFixture env;
};

uint32_t SetupDword(const std::string& name) {
  RegistryKeyStack keys;
  uint32_t value = 0xDEAD;
  keys.OpenPath(kSetupKeyPath);
  keys.QueryDword(name, &value);
  keys.CloseAll();
  return value;
}

}  // namespace

TEST_F(ReportDialogModelTest, FirstUseThenEachControlThenTheSavedSetting) {
  ReportDialogModel model("Desk");
  model.Open();
  EXPECT_TRUE(model.initialized());
  EXPECT_EQ(model.checkedKind(), PeriodKind::OneMonth);
  EXPECT_EQ(model.startDate1(), 1);
  EXPECT_FALSE(model.setInvoiced());  // never saved: unchecked
  EXPECT_FALSE(model.controls().dayListEnabled);
  EXPECT_TRUE(model.controls().date1Enabled);
  EXPECT_EQ(model.controls().date1Max, 31);
  EXPECT_FALSE(model.controls().date2Enabled);
  // One month per month with records, invoiced records included.
  EXPECT_EQ(model.rangeLabels(),
            (Labels{"3/1/02 - 3/31/02", "4/1/02 - 4/30/02", "5/1/02 - 5/31/02"}));
  EXPECT_EQ(model.selectedRange(), 0);
  // Hours and minutes whatever the increments; the amount without symbol.
  EXPECT_EQ(model.totalTimeText(), "1:30");
  EXPECT_EQ(model.totalAmountText(), "67.50");
  model.SelectRange(2);
  EXPECT_EQ(model.totalTimeText(), "0:06");  // the invoiced record counts
  EXPECT_EQ(model.totalAmountText(), "4.50");

  // Fortnights of consecutive weeks: three, in order of start.
  model.ClickPeriod(PeriodKind::TwoWeeks);
  EXPECT_TRUE(model.controls().dayListEnabled);
  EXPECT_FALSE(model.controls().date1Enabled);
  const Labels fortnights = model.rangeLabels();
  ASSERT_GE(fortnights.size(), 3u);
  EXPECT_EQ(Labels(fortnights.begin(), fortnights.begin() + 3),
            (Labels{"2/25/02 - 3/10/02", "3/4/02 - 3/17/02", "3/11/02 - 3/24/02"}));

  // Another weekday changes nothing until a period button is clicked.
  model.SelectStartDay(0);
  EXPECT_EQ(model.rangeLabels(), fortnights);
  model.ClickPeriod(PeriodKind::OneWeek);
  EXPECT_EQ(model.rangeLabels().front(), "3/3/02 - 3/9/02");

  // Typing 20 into start date 1 of months rebuilds at once.
  model.ClickPeriod(PeriodKind::OneMonth);
  model.SetStartDate1(20);
  EXPECT_EQ(model.rangeLabels(), (Labels{"2/20/02 - 3/19/02", "4/20/02 - 5/19/02"}));
  TimeReportRequest request;
  ASSERT_TRUE(model.Request(&request));
  EXPECT_EQ(request.firstDay, PackDate(2002, 2, 20));
  EXPECT_EQ(request.lastDay, PackDate(2002, 3, 19));
  EXPECT_EQ(request.periodLabel, "2/20/02 - 3/19/02");

  // Half months keep start date 1 within 1..15.
  model.ClickPeriod(PeriodKind::HalfMonth);
  EXPECT_EQ(model.startDate1(), 15);
  EXPECT_TRUE(model.controls().date2Enabled);
  EXPECT_FALSE(model.controls().dayListEnabled);
  model.SetStartDate2(40);
  EXPECT_EQ(model.startDate2(), 31);
  model.SetStartDate2(16);
  model.SetSetInvoiced(true);
  ASSERT_TRUE(model.Save());

  ReportDialogModel again("Desk");
  again.Open();
  EXPECT_EQ(again.checkedKind(), PeriodKind::HalfMonth);
  EXPECT_EQ(again.startDay(), 0);
  EXPECT_EQ(again.startDate1(), 15);
  EXPECT_EQ(again.startDate2(), 16);
  EXPECT_TRUE(again.setInvoiced());
  EXPECT_EQ(again.rangeLabels().front(), "2/16/02 - 3/14/02");
  // Changes without Save (Escape) leave the saved setting alone.
  again.ClickPeriod(PeriodKind::OneWeek);
  EXPECT_EQ(SetupDword("ReportStartDate2"), 16u);
  EXPECT_EQ(SetupDword("ReportSetInvoiced"), 1u);

  // Stored values as another program may have left them.
  WriteSetupString("ReportPeriod", "Fortnight");
  WriteSetupString("ReportStartDay", "friDAY");
  SetSetupDword("ReportStartDate1", 0x10005);
  SetSetupDword("ReportSetInvoiced", 2);
  ReportDialogModel odd("Desk");
  odd.Open();
  EXPECT_EQ(odd.checkedKind(), PeriodKind::OneMonth);
  EXPECT_EQ(odd.startDay(), 5);
  EXPECT_EQ(odd.startDate1(), 5);
  EXPECT_FALSE(odd.setInvoiced());
}

TEST_F(ReportDialogModelTest, NoRecordsNoReportAndAnUnusableRegistry) {
  ReportDialogModel model("Nobody");
  model.Open();
  EXPECT_TRUE(model.ranges().empty());
  EXPECT_EQ(model.selectedRange(), -1);
  EXPECT_EQ(model.totalTimeText(), "");
  EXPECT_FALSE(model.canCreate());
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  EXPECT_EQ(model.Create({}).status, DocumentOutcome::Status::NotWritten);
  EXPECT_TRUE(FilesIn(reports).empty());

  // A registry that cannot be read: no period checked (it counts as one
  // month), the first state kept, nothing saved.
  const std::string broken = env.dir.File("not-a-registry");
  WriteFile(broken, "plain text");
  ScopedEnv registry("HORALOG_REGISTRY", broken);
  ReportDialogModel lost("Desk");
  lost.Open();
  EXPECT_EQ(lost.checkedKind(), std::nullopt);
  EXPECT_EQ(lost.setting().kind, PeriodKind::OneMonth);
  EXPECT_EQ(lost.startDay(), 1);
  EXPECT_TRUE(lost.controls().dayListEnabled);
  EXPECT_FALSE(lost.Save());
  EXPECT_EQ(ReadFile(broken), "plain text");
}
