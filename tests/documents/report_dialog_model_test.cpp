// The report dialog's rules on a real store and a real registry.
#include "documents/report_dialog_model.h"

#include <gtest/gtest.h>

#include "documents/document_fixture.h"
#include "store/statements.h"

using namespace document_test;

using Labels = std::vector<std::string>;

// Acme in 6-minute increments at 45.00: an hour on Wednesday 6 March 2002,
// half an hour on Tuesday 12 March, 15 minutes on 20 April, and an invoiced
// 6 minutes on 2 May.
TEST(ReportDialogModel, FirstUseThenEachControlThenTheSavedSetting) {
  StoreFixture env;
  env.Run(env.CreateStore("Desk"),
          {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Work"),
           InsertTimeRecordStatement(1, PackDate(2002, 3, 6), 1, 10, ""),
           InsertTimeRecordStatement(2, PackDate(2002, 3, 12), 1, 10, ""),
           InsertTimeRecordStatement(3, PackDate(2002, 4, 20), 1, 10, ""),
           InsertTimeRecordStatement(4, PackDate(2002, 5, 2), 1, 10, ""),
           InsertSpanStatement(1, 3600, 60), InsertSpanStatement(2, 3600, 30),
           InsertSpanStatement(3, 3600, 15), InsertSpanStatement(4, 3600, 6),
           MarkInvoicedStatement("05/03/02", 4)});
  SetDword("Acme", "All", "Rate", 4500);
  SetDword("", "", "DefaultRate", 0);
  ReportDialogModel model("Desk");
  model.Open();
  EXPECT_EQ(model.checkedKind(), PeriodKind::OneMonth);
  EXPECT_FALSE(model.setInvoiced());  // never saved: unchecked
  EXPECT_FALSE(model.controls().dayListEnabled);
  EXPECT_EQ(model.controls().date1Max, 31);
  EXPECT_FALSE(model.controls().date2Enabled);
  EXPECT_EQ(model.rangeLabels(),
            (Labels{"3/1/02 - 3/31/02", "4/1/02 - 4/30/02", "5/1/02 - 5/31/02"}));
  EXPECT_EQ(model.totalTimeText(), "1:30");  // hours and minutes, not 1.5
  EXPECT_EQ(model.totalAmountText(), "67.50");
  model.SelectRange(2);
  EXPECT_EQ(model.totalTimeText(), "0:06");  // invoiced records count

  model.ClickPeriod(PeriodKind::TwoWeeks);  // consecutive weeks: three fortnights
  EXPECT_TRUE(model.controls().dayListEnabled);
  const Labels fortnights = model.rangeLabels();
  EXPECT_EQ(Labels(fortnights.begin(), fortnights.begin() + 3),
            (Labels{"2/25/02 - 3/10/02", "3/4/02 - 3/17/02", "3/11/02 - 3/24/02"}));
  model.SelectStartDay(0);  // rebuilds nothing until a button is clicked
  EXPECT_EQ(model.rangeLabels(), fortnights);
  model.ClickPeriod(PeriodKind::OneWeek);
  EXPECT_EQ(model.rangeLabels().front(), "3/3/02 - 3/9/02");

  model.ClickPeriod(PeriodKind::OneMonth);
  model.SetStartDate1(20);
  EXPECT_EQ(model.rangeLabels(), (Labels{"2/20/02 - 3/19/02", "4/20/02 - 5/19/02"}));
  TimeReportRequest request;
  ASSERT_TRUE(model.Request(&request));
  EXPECT_EQ(request.lastDay, PackDate(2002, 3, 19));

  model.ClickPeriod(PeriodKind::HalfMonth);
  EXPECT_EQ(model.startDate1(), 15);  // kept within 1..15
  model.SetStartDate2(40);
  EXPECT_EQ(model.startDate2(), 31);
  model.SetSetInvoiced(true);
  ASSERT_TRUE(model.Save());
  model.ClickPeriod(PeriodKind::OneWeek);  // not saved: Escape

  ReportDialogModel again("Desk");
  again.Open();
  EXPECT_EQ(again.checkedKind(), PeriodKind::HalfMonth);
  EXPECT_EQ(again.startDay(), 0);
  EXPECT_EQ(again.startDate1(), 15);
  EXPECT_EQ(again.startDate2(), 31);
  EXPECT_TRUE(again.setInvoiced());

  // Values as another program may have left them.
  WriteSetupString("ReportPeriod", "Fortnight");
  WriteSetupString("ReportStartDay", "friDAY");
  SetDword("", "", "ReportStartDate1", 0x10005);
  SetDword("", "", "ReportSetInvoiced", 2);
  again.Open();
  EXPECT_EQ(again.checkedKind(), PeriodKind::OneMonth);
  EXPECT_EQ(again.startDay(), 5);
  EXPECT_EQ(again.startDate1(), 5);
  EXPECT_FALSE(again.setInvoiced());
}

TEST(ReportDialogModel, NoRecordsNoReportAndAnUnusableRegistry) {
  StoreFixture env;
  WriteSetupString("ReportPath", env.dir.path());
  ReportDialogModel model("Nobody");
  model.Open();
  EXPECT_EQ(model.selectedRange(), -1);
  EXPECT_EQ(model.totalTimeText(), "");
  EXPECT_FALSE(model.canCreate());
  EXPECT_EQ(model.Create({}).status, DocumentOutcome::Status::NotWritten);

  // No period checked (counting as months), the first state kept, nothing saved.
  const std::string broken = env.dir.File("not-a-registry");
  WriteFile(broken, "plain text");
  ScopedEnv registry("HORALOG_REGISTRY", broken);
  ReportDialogModel lost("Desk");
  lost.Open();
  EXPECT_EQ(lost.checkedKind(), std::nullopt);
  EXPECT_EQ(lost.setting().kind, PeriodKind::OneMonth);
  EXPECT_TRUE(lost.controls().dayListEnabled);
  EXPECT_FALSE(lost.Save());
  EXPECT_EQ(ReadFile(broken), "plain text");
}
