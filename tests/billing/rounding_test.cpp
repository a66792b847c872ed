// Rounding increments, counts of increments, hour, rate and amount texts.
#include "billing/rounding.h"

#include <gtest/gtest.h>

#include "store/record_store.h"
#include "store/statements.h"
#include "support/store_fixture.h"

TEST(RoundingIncrements, TheTwelveWithTheirListTextsAndGuards) {
  // clang-format off
  const RoundingIncrement expected[] = {
      {"1 Min (1/60 Hr)", 1, 60}, {"2 Min (1/30 Hr)", 2, 30}, {"3 Min (1/20 Hr)", 3, 20},
      {"4 Min (1/15 Hr)", 4, 15}, {"5 Min (1/12 Hr)", 5, 12}, {"6 Min (1/10 Hr)", 6, 10},
      {"10 Min (1/6 Hr)", 10, 6}, {"12 Min (1/5 Hr)", 12, 5}, {"15 Min (1/4 Hr)", 15, 4},
      {"20 Min (1/3 Hr)", 20, 3}, {"30 Min (1/2 Hr)", 30, 2}, {"60 Min (1 Hr)", 60, 1},
  };
  // clang-format on
  ASSERT_EQ(kRoundingIncrements.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_STREQ(kRoundingIncrements[i].listText, expected[i].listText);
    EXPECT_EQ(kRoundingIncrements[i].minutes, expected[i].minutes);
    EXPECT_EQ(IncrementListPosition(expected[i].minutes), static_cast<int>(i));
    EXPECT_EQ(IncrementsPerHour(expected[i].minutes), expected[i].perHour);
  }
  EXPECT_EQ(kRoundingIncrements[kDefaultIncrementPosition].minutes, kDefaultIncrement);
  // Anything else bills as 6 minutes: no division by zero, and 45 does not
  // become one increment an hour.
  for (int bad : {0, 7, 45, -6, 61, INT32_MIN}) {
    EXPECT_EQ(IncrementListPosition(bad), -1) << bad;
    EXPECT_EQ(IncrementsPerHour(bad), 10) << bad;
  }
}

TEST(CountIncrements, EachSpanRoundedByItself) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket");
  // Record id -> span minutes; records 1 and 2 interleave their spans.
  // clang-format off
  const std::vector<std::pair<int32_t, int32_t>> spans = {
      {1, 3}, {2, 2}, {1, 3}, {2, 2}, {2, 2}, {3, 7},  {4, 8},  {6, 6},
      {7, -7}, {7, 6}, {8, 12}, {8, 13}, {9, 100}};
  for (int32_t id = 1; id <= 9; ++id) {
    env.Run(path, {InsertTimeRecordStatement(id, PackDate(2002, 3, 6), 1, 10, "")});
  }
  for (const auto& [id, minutes] : spans) env.Run(path, {InsertSpanStatement(id, 32400, minutes)});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket");
  store.Load();
  ASSERT_EQ(store.timeSpans().size(), spans.size());
  struct Row {
    int32_t record;
    int increment;
    RoundMode mode;
    int64_t expected;
  };
  // clang-format on
  constexpr RoundMode kNearest = RoundMode::Nearest, kUp = RoundMode::Up, kDown = RoundMode::Down;
  // clang-format off
  const Row rows[] = {
      // 3 + 3 minutes at 6 are two increments; 6 in one span is one.
      {1, 6, kNearest, 2}, {1, 6, kUp, 2}, {1, 6, kDown, 0}, {6, 6, kNearest, 1},
      // 2 + 2 + 2 minutes at 6 round down to nothing, or up to three.
      {2, 6, kNearest, 0}, {2, 6, kUp, 3}, {2, 6, kDown, 0},
      // 7 and 8 minutes at 15.
      {3, 15, kNearest, 0}, {4, 15, kNearest, 1}, {3, 15, kUp, 1}, {4, 15, kDown, 0},
      // Half an odd increment rounds up: 2 of 5 stays below it, 3 of 5 reaches it.
      {8, 5, kNearest, 2 + 3}, {3, 3, kNearest, 2}, {4, 3, kNearest, 3},
      // Increment 1 bills the minutes; 60 bills hours.
      {1, 1, kNearest, 6}, {2, 1, kUp, 6}, {9, 1, kDown, 100},
      {9, 60, kNearest, 2}, {9, 60, kDown, 1}, {9, 60, kUp, 2},
      // Nothing to bill; a damaged negative span takes nothing off.
      {5, 6, kUp, 0}, {999, 6, kUp, 0}, {7, 6, kNearest, 1}, {7, 6, kDown, 1},
      // An increment that is none of the twelve bills as 6 minutes.
      {6, 0, kNearest, 1}, {9, 45, kNearest, 17}, {9, -6, kDown, 16},
  };
  // clang-format on
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
  // clang-format off
  const Row rows[] = {
      {125, 60, "2:05", "2:05"},     {120, 60, "2:00", "2:00"},     {0, 60, "0:00", "0:00"},
      {23, 10, "2.3", "2.3"},        {20, 10, "2.0", "2"},          {0, 10, "0.0", "0"},
      {11, 5, "2.2", "2.2"},         {10, 5, "2.0", "2"},           {9, 4, "2.25", "2.25"},
      {10, 4, "2.50", "2.50"},       {11, 4, "2.75", "2.75"},       {8, 4, "2.00", "2"},
      {5, 2, "2.5", "2.5"},          {4, 2, "2.0", "2"},            {7, 3, "2 1/3", "2 1/3"},
      {6, 3, "2 0/3", "2"},          {4, 1, "4 0/1", "4"},          {5, 30, "0 5/30", "0 5/30"},
      {30, 30, "1 0/30", "1"},       {21, 20, "1 1/20", "1 1/20"},  {16, 15, "1 1/15", "1 1/15"},
      {13, 12, "1 1/12", "1 1/12"},  {7, 6, "1 1/6", "1 1/6"},
      {123456789, 60, "2057613:09", "2057613:09"},
      // A per-hour value that is none of the twelve counts as 10; a negative
      // count keeps its digits whole.
      {23, 0, "2.3", "2.3"},         {23, 45, "2.3", "2.3"},        {-125, 60, "-2:05", "-2:05"},
      {-7, 3, "-2 1/3", "-2 1/3"},
  };
  // clang-format on
  for (const Row& row : rows) {
    EXPECT_EQ(FormatHours(row.count, row.perHour), row.display) << row.count << "/" << row.perHour;
    EXPECT_EQ(FormatInvoiceHours(row.count, row.perHour), row.invoice)
        << row.count << "/" << row.perHour;
  }
  // Minutes whatever the increments, as the report's daily tables show them.
  EXPECT_EQ(FormatHoursMinutes(425) + " " + FormatHoursMinutes(0) + " " + FormatHoursMinutes(6000),
            "7:05 0:00 100:00");
}

TEST(FormatRate, UnitsPointTwoDigits) {
  // clang-format off
  const std::pair<int64_t, const char*> rows[] = {
      {1250, "12.50"}, {5, "0.05"}, {0, "0.00"}, {99, "0.99"}, {INT32_MAX, "21474836.47"},
      {-1250, "-12.50"}, {-5, "-0.05"}, {INT64_MIN, "-92233720368547758.08"}};
  for (const auto& [rate, text] : rows) EXPECT_EQ(FormatRate(rate), text) << rate;
}

TEST(Extension, AmountsAndTotalsOfUnroundedAmounts) {
  struct Row {
    int64_t count, rate;
    int perHour;
    const char* text;
  };
  // clang-format on
  // clang-format off
  const Row rows[] = {
      {23, 4500, 10, "103.50"}, {1, 1000, 3, "3.33"},   {2, 1000, 3, "6.67"},
      {23, 0, 10, "0.00"},      {0, 4500, 10, "0.00"},  {125, 6000, 60, "125.00"},
      {7, 1250, 12, "7.29"},    {23, 4500, 0, "103.50"}, {23, 4500, 45, "103.50"},
  };
  // clang-format on
  const auto check = [&rows](const char* locale) {
    for (const Row& row : rows) {
      EXPECT_EQ(FormatAmount(Extension(row.count, row.rate, row.perHour)), row.text)
          << locale << ": " << row.count << " x " << row.rate << " / " << row.perHour;
    }
    // Three records of one 20-minute increment at 10.00 an hour: 3.33 each,
    // 10.00 together, though the shown amounts add up to 9.99.
    BillingTotals totals;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FormatAmount(totals.Add(1, 1000, 3)), "3.33");
    EXPECT_EQ(totals.count(), 3);
    EXPECT_EQ(totals.AmountText(), "10.00") << locale;
    EXPECT_EQ(totals.HoursText(3), "1 0/3");
    EXPECT_EQ(BillingTotals().AmountText(), "0.00") << locale;
  };
  check("C");
  // Whatever the C library's numbers are set to, as a window program's are.
  ScopedCLocale comma("de_DE.UTF-8", "en_US.UTF-8");
  if (!comma.error().empty()) GTEST_SKIP() << comma.error();
  check("de_DE");
}
