// Billing periods, their labels and day bounds, and the two date-range lists.
#include "billing/periods.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "support/store_fixture.h"

namespace {

const char* const kZones[] = {"UTC", "America/New_York", "Australia/Sydney"};
constexpr int32_t D(int year, int month, int day) { return PackDate(year, month, day); }
constexpr int kSun = 0, kMon = 1, kSat = 6;
constexpr PeriodKind kAll = PeriodKind::All, kWeek = PeriodKind::OneWeek,
                     kFortnight = PeriodKind::TwoWeeks, kHalf = PeriodKind::HalfMonth,
                     kMonth = PeriodKind::OneMonth;

std::string Local(std::time_t value, const char* format) {
  std::tm local{};
  localtime_r(&value, &local);
  char text[32];
  std::strftime(text, sizeof text, format, &local);
  return text;
}
std::string Day(std::time_t value) { return Local(value, "%Y-%m-%d"); }
std::string Clock(std::time_t value) { return Local(value, "%H:%M:%S"); }

// "first..last" of each range, separated by spaces.
std::string Days(const std::vector<TimeBounds>& ranges) {
  std::string text;
  for (const TimeBounds& range : ranges) {
    text += (text.empty() ? "" : " ") + Day(range.start) + ".." + Day(range.end);
  }
  return text;
}

std::vector<std::string> Labels(const std::vector<DateRange>& ranges) {
  std::vector<std::string> labels;
  for (const DateRange& range : ranges) labels.push_back(range.label);
  return labels;
}

// The store "Pocket" of env holding the given rows, loaded.
void Fill(StoreFixture& env, const std::vector<StoreStatement>& statements, RecordStore* store) {
  env.Run(env.CreateStore("Pocket"), statements);
  store->SetDeviceName("Pocket");
  store->Load();
}

// Records of account 1 in March 2002, inserted out of date order, the last
// one invoiced, and one record of account 2 in February.
std::vector<StoreStatement> MarchRecords(const std::string& invoicedNotes) {
  return {InsertTimeRecordStatement(104, D(2002, 3, 20), 1, 11, invoicedNotes),
          InsertTimeRecordStatement(103, D(2002, 3, 13), 1, 10, ""),
          InsertTimeRecordStatement(101, D(2002, 3, 6), 1, 10, ""),
          InsertTimeRecordStatement(102, D(2002, 3, 7), 1, 10, ""),
          InsertTimeRecordStatement(201, D(2002, 2, 1), 2, 20, ""),
          MarkInvoicedStatement("03/25/02", 104)};
}

}  // namespace

TEST(GetPeriodRanges, EveryKindInZonesWithDaylightSaving) {
  struct Row {
    int32_t date;
    PeriodSetting setting;
    const char* expected;
  };
  // clang-format off
  const Row rows[] = {
      // The worked examples: start day Monday, start dates 1 and 16.
      {D(2002, 3, 6), {kWeek, kMon, 1, 16}, "2002-03-04..2002-03-10"},
      {D(2002, 3, 6), {kFortnight, kMon, 1, 16}, "2002-02-25..2002-03-10 2002-03-04..2002-03-17"},
      {D(2002, 3, 6), {kHalf, kMon, 1, 16}, "2002-03-01..2002-03-15"},
      {D(2002, 3, 6), {kMonth, kMon, 1, 16}, "2002-03-01..2002-03-31"},
      {D(2002, 3, 20), {kWeek, kMon, 1, 16}, "2002-03-18..2002-03-24"},
      {D(2002, 3, 20), {kFortnight, kMon, 1, 16}, "2002-03-11..2002-03-24 2002-03-18..2002-03-31"},
      {D(2002, 3, 20), {kHalf, kMon, 1, 16}, "2002-03-16..2002-03-31"},
      {D(2002, 3, 20), {kMonth, kMon, 1, 16}, "2002-03-01..2002-03-31"},
      {D(2002, 1, 10), {kMonth, kMon, 25, 16}, "2001-12-25..2002-01-24"},
      {D(2002, 3, 6), {kAll, kMon, 1, 16}, ""},
      // The start day begins its week; Saturday ends a Sunday week.
      {D(2002, 3, 4), {kWeek, kMon, 1, 16}, "2002-03-04..2002-03-10"},
      {D(2002, 3, 9), {kWeek, kSun, 1, 16}, "2002-03-03..2002-03-09"},
      // Half months at their split days and across the year's ends.
      {D(2002, 3, 15), {kHalf, kMon, 1, 16}, "2002-03-01..2002-03-15"},
      {D(2002, 3, 16), {kHalf, kMon, 1, 16}, "2002-03-16..2002-03-31"},
      {D(2002, 1, 3), {kHalf, kMon, 5, 20}, "2001-12-20..2002-01-04"},
      {D(2002, 12, 20), {kHalf, kMon, 1, 16}, "2002-12-16..2002-12-31"},
      // Months end on the 28th, 29th, 30th or 31st; leap days.
      {D(2002, 2, 10), {kMonth, kMon, 1, 16}, "2002-02-01..2002-02-28"},
      {D(2004, 2, 10), {kMonth, kMon, 1, 16}, "2004-02-01..2004-02-29"},
      {D(2002, 4, 10), {kMonth, kMon, 1, 16}, "2002-04-01..2002-04-30"},
      {D(2004, 2, 29), {kFortnight, kMon, 1, 16}, "2004-02-16..2004-02-29 2004-02-23..2004-03-07"},
      // Stored days outside their range roll over: 31 in a 30-day month is the 1st.
      {D(2002, 4, 10), {kMonth, kMon, 31, 16}, "2002-03-31..2002-04-30"},
      {D(2002, 5, 10), {kMonth, kMon, 31, 16}, "2002-05-01..2002-05-30"},
      {D(2002, 4, 20), {kHalf, kMon, 1, 31}, "2002-04-01..2002-04-30"},
      {D(2002, 3, 6), {kMonth, kMon, 0, 16}, "2002-02-28..2002-03-30"},
      {D(2002, 3, 6), {kMonth, kMon, 32, 16}, "2002-03-04..2002-03-31"},
      {D(2002, 3, 6), {kMonth, kMon, -1, 16}, "2002-02-27..2002-03-29"},
      {D(2002, 3, 6), {kHalf, kMon, 0, 32}, "2002-02-28..2002-03-31"},
      {D(2002, 3, 6), {kWeek, 7, 1, 16}, "2002-03-03..2002-03-09"},        // Sunday
      {D(2002, 3, 6), {kWeek, -1, 1, 16}, "2002-03-02..2002-03-08"},       // Saturday
      {D(2002, 3, 6), {kWeek, INT_MIN, 1, 16}, "2002-03-01..2002-03-07"},  // Friday
      // New York changes on 7 April and 27 October 2002, 11 March 2040.
      {D(2002, 4, 7), {kWeek, kMon, 1, 16}, "2002-04-01..2002-04-07"},
      {D(2002, 4, 8), {kFortnight, kMon, 1, 16}, "2002-04-01..2002-04-14 2002-04-08..2002-04-21"},
      {D(2002, 10, 27), {kWeek, kSun, 1, 16}, "2002-10-27..2002-11-02"},
      {D(2002, 10, 30), {kFortnight, kMon, 1, 16}, "2002-10-21..2002-11-03 2002-10-28..2002-11-10"},
      {D(2040, 3, 11), {kFortnight, kMon, 1, 16}, "2040-02-27..2040-03-11 2040-03-05..2040-03-18"},
      // Sydney changes on 31 March and 27 October 2002, 1 April 2040.
      {D(2002, 3, 31), {kWeek, kMon, 1, 16}, "2002-03-25..2002-03-31"},
      {D(2002, 4, 3), {kFortnight, kMon, 1, 16}, "2002-03-25..2002-04-07 2002-04-01..2002-04-14"},
      {D(2002, 10, 28), {kMonth, kMon, 27, 16}, "2002-10-27..2002-11-26"},
      {D(2040, 4, 1), {kMonth, kMon, 1, 16}, "2040-04-01..2040-04-30"},
  };
  // clang-format on
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      EXPECT_EQ(Days(GetPeriodRanges(row.date, row.setting)), row.expected)
          << zone << ", " << std::hex << row.date << std::dec << ", kind "
          << static_cast<int>(row.setting.kind) << ", day " << row.setting.startDay;
    }
  }
  // Past 2038 nothing wraps.
  const auto future = GetPeriodRanges(D(2040, 3, 11), {kWeek, kMon, 1, 16});
  ASSERT_EQ(future.size(), 1u);
  EXPECT_GT(future[0].start, static_cast<std::time_t>(INT32_MAX));
}

TEST(GetPeriodRanges, AbsurdStoredDaysEndPromptlyInOnePeriod) {
  TestEnvironment env;
  ScopedTimeZone inZone("Australia/Sydney");
  const auto started = std::chrono::steady_clock::now();
  for (const PeriodSetting& setting :
       {PeriodSetting{kMonth, kMon, INT_MAX, 16}, PeriodSetting{kMonth, kMon, INT_MIN, 16},
        PeriodSetting{kHalf, INT_MAX, INT_MIN, INT_MAX},
        PeriodSetting{kFortnight, INT_MAX, 1, 16}}) {
    const auto ranges = GetPeriodRanges(D(2002, 3, 6), setting);
    ASSERT_FALSE(ranges.empty());
    for (const TimeBounds& range : ranges) {
      EXPECT_LT(range.start, range.end);
      FormatRangeLabel(range.start, range.end);
      WidenToDays(range);
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST(NoonOf, RollsOverAsTheCalendarDoes) {
  TestEnvironment env;
  struct Row {
    int64_t year, month, day;
    const char* expected;
  };
  // clang-format off
  const Row rows[] = {{2002, 4, 31, "2002-05-01"}, {2003, 2, 29, "2003-03-01"},
                      {2004, 2, 29, "2004-02-29"}, {2002, 13, 1, "2003-01-01"},
                      {2002, 0, 1, "2001-12-01"},  {2002, 3, 0, "2002-02-28"}};
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      std::time_t noon = 0;
      ASSERT_TRUE(NoonOf(row.year, row.month, row.day, &noon));
      EXPECT_EQ(Day(noon) + " " + Clock(noon), std::string(row.expected) + " 12:00:00") << zone;
    }
    std::time_t untouched = 7;
    EXPECT_FALSE(NoonOf(int64_t{1} << 40, 1, 1, &untouched));
    EXPECT_EQ(untouched, 7);
  }
}

TEST(WidenToDays, FirstAndLastDayInsideDaysAroundOutside) {
  struct Row {
    int32_t record;
    PeriodSetting setting;
    int32_t before, first, last, after;
  };
  // clang-format on
  // Weeks beginning and ending on the 23- and 25-hour days of New York and
  // Sydney, and a month ending on a leap day.
  // clang-format off
  const Row rows[] = {
      {D(2002, 4, 7), {kWeek, kSun, 1, 16}, D(2002, 4, 6), D(2002, 4, 7),
       D(2002, 4, 13), D(2002, 4, 14)},
      {D(2002, 4, 7), {kWeek, kMon, 1, 16}, D(2002, 3, 31), D(2002, 4, 1),
       D(2002, 4, 7), D(2002, 4, 8)},
      {D(2002, 10, 27), {kWeek, kSun, 1, 16}, D(2002, 10, 26), D(2002, 10, 27),
       D(2002, 11, 2), D(2002, 11, 3)},
      {D(2002, 10, 27), {kWeek, kMon, 1, 16}, D(2002, 10, 20), D(2002, 10, 21),
       D(2002, 10, 27), D(2002, 10, 28)},
      {D(2002, 3, 31), {kWeek, kSun, 1, 16}, D(2002, 3, 30), D(2002, 3, 31),
       D(2002, 4, 6), D(2002, 4, 7)},
      {D(2040, 4, 1), {kWeek, kSun, 1, 16}, D(2040, 3, 31), D(2040, 4, 1),
       D(2040, 4, 7), D(2040, 4, 8)},
      {D(2004, 2, 10), {kMonth, kMon, 1, 16}, D(2004, 1, 31), D(2004, 2, 1),
       D(2004, 2, 29), D(2004, 3, 1)},
  };
  // clang-format on
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      const auto ranges = GetPeriodRanges(row.record, row.setting);
      ASSERT_EQ(ranges.size(), 1u);
      const TimeBounds widened = WidenToDays(ranges[0]);
      const std::string where = std::string(zone) + ", from " + Day(ranges[0].start);
      EXPECT_EQ(PackedLocalDate(widened.start), row.first) << where;
      EXPECT_EQ(PackedLocalDate(widened.end), row.last) << where;
      EXPECT_EQ(Clock(widened.start) + " " + Clock(widened.end), "00:00:00 23:59:59") << where;
      EXPECT_FALSE(DateInRange(row.before, widened)) << where;
      EXPECT_TRUE(DateInRange(row.first, widened)) << where;
      EXPECT_TRUE(DateInRange(row.last, widened)) << where;
      EXPECT_FALSE(DateInRange(row.after, widened)) << where;
    }
  }
}

TEST(FormatRangeLabel, ShortDatesOfTheLocale) {
  TestEnvironment env;
  for (const char* zone : {"America/New_York", "Australia/Sydney"}) {
    ScopedTimeZone inZone(zone);
    const auto week = GetPeriodRanges(D(2002, 3, 6), {kWeek, kMon, 1, 16});
    ASSERT_EQ(week.size(), 1u);
    EXPECT_EQ(FormatRangeLabel(week[0].start, week[0].end), "3/4/02 - 3/10/02") << zone;
    ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(FormatRangeLabel(week[0].start, week[0].end), "04.03.02 - 10.03.02") << zone;
  }
}

TEST(DateRangeList, MainWindowListFromTheAccountsRecords) {
  StoreFixture env;
  RecordStore store(ReadStoreFolders());
  // Inserted out of date order: the list follows the store's ascending order.
  Fill(env, MarchRecords("invoiced"), &store);
  ASSERT_EQ(store.timeRecords().size(), 5u);
  AccountDefaults defaults;
  defaults.period = "One Month";
  struct Row {
    const char* account;
    int32_t accountId;
    const char* period;  // nullptr: none stored, the defaults decide
    int32_t itemId;
    std::vector<std::string> expected;
  };
  // clang-format off
  const Row rows[] = {
      // Consecutive weeks give three distinct, overlapping fortnights.
      {"Acme", 1, "Two Weeks", 10,
       {"All", "2/25/02 - 3/10/02", "3/4/02 - 3/17/02", "3/11/02 - 3/24/02"}},
      // Every item: the invoiced record counts too.
      {"Acme", 1, "Two Weeks", 0,
       {"All", "2/25/02 - 3/10/02", "3/4/02 - 3/17/02", "3/11/02 - 3/24/02", "3/18/02 - 3/31/02"}},
      {"Acme", 1, "Two Weeks", 11, {"All", "3/11/02 - 3/24/02", "3/18/02 - 3/31/02"}},
      // Two records in one week give one entry.
      {"Acme", 1, "One Week", 10, {"All", "3/4/02 - 3/10/02", "3/11/02 - 3/17/02"}},
      {"Acme", 1, "Half Month", 0, {"All", "3/1/02 - 3/15/02", "3/16/02 - 3/31/02"}},
      {"Acme", 1, "All", 0, {"All"}},
      {"Bolt", 2, nullptr, 0, {"All", "2/1/02 - 2/28/02"}},
      {"Nobody", 99, "One Week", 0, {"All"}},
  };
  // clang-format on
  for (const Row& row : rows) {
    if (row.period) {
      RegistryKeyStack keys;
      keys.CreatePath(std::string(kAcctsKeyPath) + row.account);
      keys.SetString("Period", row.period);
      keys.CloseAll();
    }
    DateRangeList list;
    list.Rebuild(store, row.accountId, row.itemId,
                 ReadAccountBilling(row.account, {}, &defaults).period);
    EXPECT_EQ(list.entries(), row.expected) << row.account << ", item " << row.itemId;
    ASSERT_EQ(list.ranges().size() + 1, list.entries().size());
    for (size_t i = 0; i < list.ranges().size(); ++i) {
      EXPECT_EQ(list.Find(list.entries()[i + 1]), &list.ranges()[i]);
    }
    EXPECT_EQ(list.Find("All"), nullptr);
  }
}

TEST(DateRangeList, EqualLabelsOnceInTheMainListEqualStartsOnceInTheReport) {
  // New York's change of 7 April 2002 lies in the Saturday week of the 6th:
  // that week's start reached from Saturday's noon and from Monday's (two
  // 86400-second days back) differ by an hour, but name the same days.
  StoreFixture env;
  ScopedTimeZone inZone("America/New_York");
  RecordStore store(ReadStoreFolders());
  Fill(env,
       {InsertTimeRecordStatement(1, D(2002, 4, 6), 1, 10, ""),
        InsertTimeRecordStatement(2, D(2002, 4, 8), 1, 10, "")},
       &store);
  const PeriodSetting week{kWeek, kSat, 1, 16};
  DateRangeList list;
  list.Rebuild(store, 1, 0, week);
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"All", "4/6/02 - 4/12/02"}));
  ASSERT_EQ(list.ranges().size(), 1u);
  EXPECT_EQ(Clock(list.ranges()[0].start), "12:00:00");  // the first occurrence stays
  const auto report = BuildReportRanges(store, week);
  EXPECT_EQ(Labels(report), (std::vector<std::string>{"4/6/02 - 4/12/02", "4/6/02 - 4/12/02"}));
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(Clock(report[0].start) + " " + Clock(report[1].start), "11:00:00 12:00:00");
  list.Clear();
  EXPECT_EQ(list.entries(), std::vector<std::string>{"All"});
}

TEST(BuildReportRanges, EveryAccountByStartWithoutRepeats) {
  StoreFixture env;
  RecordStore store(ReadStoreFolders());
  Fill(env, MarchRecords(""), &store);
  EXPECT_EQ(
      Labels(BuildReportRanges(store, {kFortnight, kMon, 1, 16})),
      (std::vector<std::string>{"1/21/02 - 2/3/02", "1/28/02 - 2/10/02", "2/25/02 - 3/10/02",
                                "3/4/02 - 3/17/02", "3/11/02 - 3/24/02", "3/18/02 - 3/31/02"}));
  EXPECT_EQ(
      Labels(BuildReportRanges(store, {kMonth, kMon, 20, 16})),
      (std::vector<std::string>{"1/20/02 - 2/19/02", "2/20/02 - 3/19/02", "3/20/02 - 4/19/02"}));
  EXPECT_TRUE(BuildReportRanges(store, {kAll, kMon, 1, 16}).empty());
  EXPECT_TRUE(BuildReportRanges(RecordStore(), {kWeek, kMon, 1, 16}).empty());
}
