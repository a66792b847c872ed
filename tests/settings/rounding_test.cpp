// Rounding increments, counts of increments, hour, rate and amount texts.
#include "settings/rounding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/registry_key_stack.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "store/table_command.h"
#include "support/test_env.h"

namespace {

// A store file made from the built template in env's folder, holding the
// given rows, loaded into store.
void FillStore(const TestEnvironment& env, const std::vector<std::string>& statements,
               RecordStore* store) {
  RegistryKeyStack keys;
  ASSERT_TRUE(keys.CreatePath(kSetupKeyPath));
  keys.SetString("DataPath", env.dir.path());
  keys.SetString("ExecPath", TestEnvironment::TemplateDir());
  keys.CloseAll();
  store->SetDeviceName("Pocket");
  ASSERT_TRUE(store->Locate());
  for (const std::string& statement : statements) {
    ASSERT_EQ(ExecuteStatement(store->storePath(), statement), S_OK) << statement;
  }
  store->Load();
}

}  // namespace

TEST(RoundingIncrements, TheTwelveWithTheirListTextsAndGuards) {
  struct Row {
    const char* text;
    int minutes;
    int perHour;
  };
  const Row expected[] = {
      {"1 Min (1/60 Hr)", 1, 60}, {"2 Min (1/30 Hr)", 2, 30}, {"3 Min (1/20 Hr)", 3, 20},
      {"4 Min (1/15 Hr)", 4, 15}, {"5 Min (1/12 Hr)", 5, 12}, {"6 Min (1/10 Hr)", 6, 10},
      {"10 Min (1/6 Hr)", 10, 6}, {"12 Min (1/5 Hr)", 12, 5}, {"15 Min (1/4 Hr)", 15, 4},
      {"20 Min (1/3 Hr)", 20, 3}, {"30 Min (1/2 Hr)", 30, 2}, {"60 Min (1 Hr)", 60, 1},
  };
  ASSERT_EQ(kRoundingIncrements.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_STREQ(kRoundingIncrements[i].listText, expected[i].text);
    EXPECT_EQ(kRoundingIncrements[i].minutes, expected[i].minutes);
    EXPECT_EQ(kRoundingIncrements[i].perHour, expected[i].perHour);
    EXPECT_EQ(IncrementListPosition(expected[i].minutes), static_cast<int>(i));
    EXPECT_EQ(IncrementsPerHour(expected[i].minutes), expected[i].perHour);
  }
  EXPECT_EQ(kRoundingIncrements[kDefaultIncrementPosition].minutes, kDefaultIncrement);
  // Anything else is billed as 6 minutes: no division by zero, and 45 does
  // not turn into one increment an hour.
  for (int bad : {0, 7, 45, -6, 61, INT32_MIN}) {
    EXPECT_EQ(IncrementListPosition(bad), -1) << bad;
    EXPECT_EQ(IncrementsPerHour(bad), 10) << bad;
  }
}

TEST(CountIncrements, EachSpanRoundedByItself) {
  TestEnvironment env;
  RecordStore store;
  // The spans of records 1 and 2 are interleaved: a record's spans need not
  // be adjacent in the list.
  FillStore(env,
            {InsertTimeRecordStatement(1, PackDate(2002, 3, 6), 1, 10, "3+3"),
             InsertTimeRecordStatement(2, PackDate(2002, 3, 6), 1, 10, "2+2+2"),
             InsertTimeRecordStatement(3, PackDate(2002, 3, 6), 1, 10, "7"),
             InsertTimeRecordStatement(4, PackDate(2002, 3, 6), 1, 10, "8"),
             InsertTimeRecordStatement(5, PackDate(2002, 3, 6), 1, 10, "no spans"),
             InsertTimeRecordStatement(6, PackDate(2002, 3, 6), 1, 10, "6"),
             InsertTimeRecordStatement(7, PackDate(2002, 3, 6), 1, 10, "-7+6"),
             InsertTimeRecordStatement(8, PackDate(2002, 3, 6), 1, 10, "12, 13"),
             InsertTimeRecordStatement(9, PackDate(2002, 3, 6), 1, 10, "100"),
             InsertSpanStatement(1, 32400, 3), InsertSpanStatement(2, 32400, 2),
             InsertSpanStatement(1, 36000, 3), InsertSpanStatement(2, 36000, 2),
             InsertSpanStatement(2, 39600, 2), InsertSpanStatement(3, 32400, 7),
             InsertSpanStatement(4, 32400, 8), InsertSpanStatement(6, 32400, 6),
             InsertSpanStatement(7, 32400, -7), InsertSpanStatement(7, 36000, 6),
             InsertSpanStatement(8, 32400, 12), InsertSpanStatement(8, 36000, 13),
             InsertSpanStatement(9, 32400, 100)},
            &store);
  ASSERT_EQ(store.timeSpans().size(), 13u);
  struct Row {
    int32_t record;
    int increment;
    RoundMode mode;
    int64_t expected;
  };
  const Row rows[] = {
      // 3 + 3 minutes at 6: each 3 rounds up to one increment; 6 in one span is one.
      {1, 6, RoundMode::Nearest, 2}, {1, 6, RoundMode::Up, 2}, {1, 6, RoundMode::Down, 0},
      {6, 6, RoundMode::Nearest, 1},
      // 2 + 2 + 2 minutes at 6: each rounds down to nothing, or up to one.
      {2, 6, RoundMode::Nearest, 0}, {2, 6, RoundMode::Up, 3}, {2, 6, RoundMode::Down, 0},
      // 7 and 8 minutes at 15.
      {3, 15, RoundMode::Nearest, 0}, {4, 15, RoundMode::Nearest, 1}, {3, 15, RoundMode::Up, 1},
      {4, 15, RoundMode::Down, 0},
      // Half an odd increment is rounded up: 2 of 5 is below it, 3 of 5 reaches it.
      {8, 5, RoundMode::Nearest, 2 + 3}, {3, 3, RoundMode::Nearest, 2}, {4, 3, RoundMode::Nearest, 3},
      // Increment 1 bills the minutes.
      {1, 1, RoundMode::Nearest, 6}, {2, 1, RoundMode::Up, 6}, {9, 1, RoundMode::Down, 100},
      {9, 60, RoundMode::Nearest, 2}, {9, 60, RoundMode::Down, 1}, {9, 60, RoundMode::Up, 2},
      // Nothing to bill.
      {5, 6, RoundMode::Up, 0}, {999, 6, RoundMode::Up, 0},
      // A damaged negative span takes nothing off the record.
      {7, 6, RoundMode::Nearest, 1}, {7, 6, RoundMode::Down, 1},
      // An increment that is none of the twelve bills as 6 minutes.
      {6, 0, RoundMode::Nearest, 1}, {9, 45, RoundMode::Nearest, 17}, {9, -6, RoundMode::Down, 16},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CountIncrements(store, row.record, row.increment, row.mode), row.expected)
        << "record " << row.record << ", increment " << row.increment << ", mode "
        << static_cast<int>(row.mode);
  }
}

TEST(FormatHours, DisplayAndInvoiceFormsForEveryIncrement) {
  struct Row {
    int64_t count;
    int perHour;
    const char* display;
    const char* invoice;
  };
  const Row rows[] = {
      {125, 60, "2:05", "2:05"}, {120, 60, "2:00", "2:00"}, {0, 60, "0:00", "0:00"},
      {23, 10, "2.3", "2.3"},    {20, 10, "2.0", "2"},      {0, 10, "0.0", "0"},
      {11, 5, "2.2", "2.2"},     {10, 5, "2.0", "2"},
      {9, 4, "2.25", "2.25"},    {10, 4, "2.50", "2.50"},   {11, 4, "2.75", "2.75"},
      {8, 4, "2.00", "2"},       {5, 2, "2.5", "2.5"},      {4, 2, "2.0", "2"},
      {7, 3, "2 1/3", "2 1/3"},  {6, 3, "2 0/3", "2"},      {4, 1, "4 0/1", "4"},
      {5, 30, "0 5/30", "0 5/30"}, {30, 30, "1 0/30", "1"},  {21, 20, "1 1/20", "1 1/20"},
      {16, 15, "1 1/15", "1 1/15"}, {13, 12, "1 1/12", "1 1/12"}, {7, 6, "1 1/6", "1 1/6"},
      // Sums of many records.
      {123456789, 60, "2057613:09", "2057613:09"},
      // Guards: a per-hour value that is none of the twelve counts as 10;
      // a negative count keeps its digits whole.
      {23, 0, "2.3", "2.3"},     {23, 45, "2.3", "2.3"},    {-125, 60, "-2:05", "-2:05"},
      {-7, 3, "-2 1/3", "-2 1/3"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatHours(row.count, row.perHour), row.display) << row.count << "/" << row.perHour;
    EXPECT_EQ(FormatInvoiceHours(row.count, row.perHour), row.invoice)
        << row.count << "/" << row.perHour;
  }
}

TEST(FormatRate, UnitsPointTwoDigits) {
  struct Row {
    int64_t rate;
    const char* text;
  };
  const Row rows[] = {
      {1250, "12.50"}, {5, "0.05"},   {0, "0.00"},   {100, "1.00"},  {99, "0.99"},
      {4500, "45.00"}, {INT32_MAX, "21474836.47"}, {-1250, "-12.50"}, {-5, "-0.05"},
      {INT64_MIN, "-92233720368547758.08"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatRate(row.rate), row.text) << row.rate;
}

TEST(Extension, AmountsAndTotalsOfUnroundedAmounts) {
  struct Row {
    int64_t count;
    int64_t rate;
    int perHour;
    const char* text;
  };
  const Row rows[] = {
      {23, 4500, 10, "103.50"}, {1, 1000, 3, "3.33"}, {2, 1000, 3, "6.67"},
      {23, 0, 10, "0.00"},      {0, 4500, 10, "0.00"}, {125, 6000, 60, "125.00"},
      {9, 1999, 4, "44.98"},    {7, 1250, 12, "7.29"},
      // A per-hour value that is none of the twelve counts as 10.
      {23, 4500, 0, "103.50"},  {23, 4500, 45, "103.50"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatAmount(Extension(row.count, row.rate, row.perHour)), row.text)
        << row.count << " x " << row.rate << " / " << row.perHour;
  }
  EXPECT_DOUBLE_EQ(Extension(23, 4500, 10), 103.5);

  // Three records of one 20-minute increment at 10.00 an hour.
  BillingTotals totals;
  double shown = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double extension = totals.Add(1, 1000, 3);
    EXPECT_EQ(FormatAmount(extension), "3.33");
    shown += std::stod(FormatAmount(extension));
  }
  EXPECT_EQ(totals.count(), 3);
  EXPECT_EQ(totals.AmountText(), "10.00");
  EXPECT_EQ(FormatAmount(shown), "9.99");
  EXPECT_EQ(totals.HoursText(3), "1 0/3");
  EXPECT_EQ(BillingTotals().AmountText(), "0.00");
  EXPECT_EQ(BillingTotals().HoursText(10), "0.0");
}
