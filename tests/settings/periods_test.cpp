// Billing periods, their labels and day bounds, and the two date-range lists.
#include "settings/periods.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/registry_key_stack.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "store/table_command.h"
#include "support/test_env.h"

namespace {

const char* const kZones[] = {"UTC", "America/New_York", "Australia/Sydney"};

std::string Day(std::time_t value) {
  std::tm local{};
  localtime_r(&value, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string Clock(std::time_t value) {
  std::tm local{};
  localtime_r(&value, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

using DayPairs = std::vector<std::pair<std::string, std::string>>;

DayPairs Days(const std::vector<TimeBounds>& ranges) {
  DayPairs days;
  for (const TimeBounds& range : ranges) days.emplace_back(Day(range.start), Day(range.end));
  return days;
}

PeriodSetting Setting(PeriodKind kind, int startDay, int d1 = 1, int d2 = 16) {
  return {kind, startDay, d1, d2};
}

constexpr int kSunday = 0;
constexpr int kMonday = 1;
constexpr int kSaturday = 6;

void WriteAccount(const std::string& account, const std::string& period,
                  const std::string& startDay) {
  RegistryKeyStack keys;
  ASSERT_TRUE(keys.CreatePath(std::string(kAcctsKeyPath) + account));
  keys.SetString("Period", period);
  keys.SetString("StartDay", startDay);
  keys.CloseAll();
}

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

std::vector<std::string> Labels(const std::vector<DateRange>& ranges) {
  std::vector<std::string> labels;
  for (const DateRange& range : ranges) labels.push_back(range.label);
  return labels;
}

}  // namespace

TEST(GetPeriodRanges, EveryKindInZonesWithDaylightSaving) {
  struct Row {
    int32_t date;
    PeriodSetting setting;
    DayPairs expected;
  };
  const Row rows[] = {
      // The worked examples: start day Monday, start dates 1 and 16.
      {PackDate(2002, 3, 6), Setting(PeriodKind::OneWeek, kMonday), {{"2002-03-04", "2002-03-10"}}},
      {PackDate(2002, 3, 6), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2002-02-25", "2002-03-10"}, {"2002-03-04", "2002-03-17"}}},
      {PackDate(2002, 3, 6), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-03-01", "2002-03-15"}}},
      {PackDate(2002, 3, 6), Setting(PeriodKind::OneMonth, kMonday), {{"2002-03-01", "2002-03-31"}}},
      {PackDate(2002, 3, 20), Setting(PeriodKind::OneWeek, kMonday), {{"2002-03-18", "2002-03-24"}}},
      {PackDate(2002, 3, 20), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2002-03-11", "2002-03-24"}, {"2002-03-18", "2002-03-31"}}},
      {PackDate(2002, 3, 20), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-03-16", "2002-03-31"}}},
      {PackDate(2002, 3, 20), Setting(PeriodKind::OneMonth, kMonday), {{"2002-03-01", "2002-03-31"}}},
      {PackDate(2002, 1, 10), Setting(PeriodKind::OneMonth, kMonday, 25),
       {{"2001-12-25", "2002-01-24"}}},
      {PackDate(2002, 3, 6), Setting(PeriodKind::All, kMonday), {}},
      // A record on the start day begins its week; Saturday ends a Sunday week.
      {PackDate(2002, 3, 4), Setting(PeriodKind::OneWeek, kMonday), {{"2002-03-04", "2002-03-10"}}},
      {PackDate(2002, 3, 9), Setting(PeriodKind::OneWeek, kSunday), {{"2002-03-03", "2002-03-09"}}},
      // Half months around their split days and across the year's ends.
      {PackDate(2002, 3, 15), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-03-01", "2002-03-15"}}},
      {PackDate(2002, 3, 16), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-03-16", "2002-03-31"}}},
      {PackDate(2002, 1, 3), Setting(PeriodKind::HalfMonth, kMonday, 5, 20),
       {{"2001-12-20", "2002-01-04"}}},
      {PackDate(2002, 12, 20), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-12-16", "2002-12-31"}}},
      // Months end on the 28th, 29th, 30th or 31st.
      {PackDate(2002, 2, 10), Setting(PeriodKind::OneMonth, kMonday), {{"2002-02-01", "2002-02-28"}}},
      {PackDate(2004, 2, 10), Setting(PeriodKind::OneMonth, kMonday), {{"2004-02-01", "2004-02-29"}}},
      {PackDate(2002, 4, 10), Setting(PeriodKind::OneMonth, kMonday), {{"2002-04-01", "2002-04-30"}}},
      // A leap day.
      {PackDate(2004, 2, 29), Setting(PeriodKind::OneWeek, kMonday), {{"2004-02-23", "2004-02-29"}}},
      {PackDate(2004, 2, 29), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2004-02-16", "2004-02-29"}, {"2004-02-23", "2004-03-07"}}},
      // Start date 31 in a 30-day month: the calendar carries it to the 1st.
      {PackDate(2002, 4, 10), Setting(PeriodKind::OneMonth, kMonday, 31), {{"2002-03-31", "2002-04-30"}}},
      {PackDate(2002, 5, 10), Setting(PeriodKind::OneMonth, kMonday, 31), {{"2002-05-01", "2002-05-30"}}},
      {PackDate(2002, 4, 20), Setting(PeriodKind::HalfMonth, kMonday, 1, 31),
       {{"2002-04-01", "2002-04-30"}}},
      // New York's changes (7 April, 27 October 2002; 11 March 2040).
      {PackDate(2002, 4, 7), Setting(PeriodKind::OneWeek, kMonday), {{"2002-04-01", "2002-04-07"}}},
      {PackDate(2002, 4, 8), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2002-04-01", "2002-04-14"}, {"2002-04-08", "2002-04-21"}}},
      {PackDate(2002, 10, 27), Setting(PeriodKind::OneWeek, kSunday), {{"2002-10-27", "2002-11-02"}}},
      {PackDate(2002, 10, 30), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2002-10-21", "2002-11-03"}, {"2002-10-28", "2002-11-10"}}},
      // Sydney's changes (31 March, 27 October 2002; 1 April 2040).
      {PackDate(2002, 3, 31), Setting(PeriodKind::OneWeek, kMonday), {{"2002-03-25", "2002-03-31"}}},
      {PackDate(2002, 4, 3), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2002-03-25", "2002-04-07"}, {"2002-04-01", "2002-04-14"}}},
      {PackDate(2002, 3, 31), Setting(PeriodKind::HalfMonth, kMonday), {{"2002-03-16", "2002-03-31"}}},
      {PackDate(2002, 10, 28), Setting(PeriodKind::OneMonth, kMonday, 27),
       {{"2002-10-27", "2002-11-26"}}},
      // Past 2038.
      {PackDate(2040, 3, 11), Setting(PeriodKind::OneWeek, kMonday), {{"2040-03-05", "2040-03-11"}}},
      {PackDate(2040, 3, 11), Setting(PeriodKind::TwoWeeks, kMonday),
       {{"2040-02-27", "2040-03-11"}, {"2040-03-05", "2040-03-18"}}},
      {PackDate(2040, 4, 1), Setting(PeriodKind::OneMonth, kMonday), {{"2040-04-01", "2040-04-30"}}},
  };
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      EXPECT_EQ(Days(GetPeriodRanges(row.date, row.setting)), row.expected)
          << zone << ", record " << std::hex << row.date << std::dec << ", kind "
          << static_cast<int>(row.setting.kind);
    }
  }
  ScopedTimeZone inZone("America/New_York");
  const auto future = GetPeriodRanges(PackDate(2040, 3, 11), Setting(PeriodKind::OneWeek, kMonday));
  ASSERT_EQ(future.size(), 1u);
  EXPECT_GT(future[0].start, static_cast<std::time_t>(INT32_MAX));
}

TEST(GetPeriodRanges, StoredStartValuesOutsideTheirRangeRollOver) {
  struct Row {
    PeriodSetting setting;
    DayPairs expected;
  };
  // Record of Wednesday 2002-03-06.
  const Row rows[] = {
      {Setting(PeriodKind::OneMonth, kMonday, 0), {{"2002-02-28", "2002-03-30"}}},
      {Setting(PeriodKind::OneMonth, kMonday, 32), {{"2002-03-04", "2002-03-31"}}},
      {Setting(PeriodKind::OneMonth, kMonday, -1), {{"2002-02-27", "2002-03-29"}}},
      {Setting(PeriodKind::HalfMonth, kMonday, 0, 32), {{"2002-02-28", "2002-03-31"}}},
      {Setting(PeriodKind::OneWeek, 7), {{"2002-03-03", "2002-03-09"}}},   // as Sunday
      {Setting(PeriodKind::OneWeek, -1), {{"2002-03-02", "2002-03-08"}}},  // as Saturday
      {Setting(PeriodKind::OneWeek, INT_MIN), {{"2002-03-01", "2002-03-07"}}},  // as Friday
  };
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      EXPECT_EQ(Days(GetPeriodRanges(PackDate(2002, 3, 6), row.setting)), row.expected)
          << zone << ", kind " << static_cast<int>(row.setting.kind) << ", day "
          << row.setting.startDay << ", dates " << row.setting.startDate1 << "/"
          << row.setting.startDate2;
    }
    // Absurd stored days end far away, but in one period, promptly.
    const auto started = std::chrono::steady_clock::now();
    for (const PeriodSetting& setting :
         {Setting(PeriodKind::OneMonth, kMonday, INT_MAX), Setting(PeriodKind::OneMonth, kMonday, INT_MIN),
          Setting(PeriodKind::HalfMonth, INT_MAX, INT_MIN, INT_MAX),
          Setting(PeriodKind::TwoWeeks, INT_MAX)}) {
      const auto ranges = GetPeriodRanges(PackDate(2002, 3, 6), setting);
      ASSERT_FALSE(ranges.empty()) << zone;
      for (const TimeBounds& range : ranges) {
        EXPECT_LT(range.start, range.end) << zone;
        FormatRangeLabel(range.start, range.end);
        WidenToDays(range);
      }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  }
}

TEST(NoonOf, RollsOverAsTheCalendarDoes) {
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    struct Row {
      int64_t year, month, day;
      const char* expected;
    };
    const Row rows[] = {
        {2002, 4, 31, "2002-05-01"}, {2003, 2, 29, "2003-03-01"}, {2004, 2, 29, "2004-02-29"},
        {2002, 13, 1, "2003-01-01"}, {2002, 0, 1, "2001-12-01"},  {2002, 3, 0, "2002-02-28"},
        {2040, 3, 11, "2040-03-11"},
    };
    for (const Row& row : rows) {
      std::time_t noon = 0;
      ASSERT_TRUE(NoonOf(row.year, row.month, row.day, &noon));
      EXPECT_EQ(Day(noon), row.expected) << zone;
      EXPECT_EQ(Clock(noon), "12:00:00") << zone;
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
    int32_t first, last, before, after;
  };
  const Row rows[] = {
      // Weeks beginning and ending on New York's and Sydney's change days,
      // when those days are 23 or 25 hours long.
      {PackDate(2002, 4, 7), Setting(PeriodKind::OneWeek, kSunday), PackDate(2002, 4, 7),
       PackDate(2002, 4, 13), PackDate(2002, 4, 6), PackDate(2002, 4, 14)},
      {PackDate(2002, 4, 7), Setting(PeriodKind::OneWeek, kMonday), PackDate(2002, 4, 1),
       PackDate(2002, 4, 7), PackDate(2002, 3, 31), PackDate(2002, 4, 8)},
      {PackDate(2002, 10, 27), Setting(PeriodKind::OneWeek, kSunday), PackDate(2002, 10, 27),
       PackDate(2002, 11, 2), PackDate(2002, 10, 26), PackDate(2002, 11, 3)},
      {PackDate(2002, 10, 27), Setting(PeriodKind::OneWeek, kMonday), PackDate(2002, 10, 21),
       PackDate(2002, 10, 27), PackDate(2002, 10, 20), PackDate(2002, 10, 28)},
      {PackDate(2002, 3, 31), Setting(PeriodKind::OneWeek, kSunday), PackDate(2002, 3, 31),
       PackDate(2002, 4, 6), PackDate(2002, 3, 30), PackDate(2002, 4, 7)},
      {PackDate(2040, 4, 1), Setting(PeriodKind::OneWeek, kSunday), PackDate(2040, 4, 1),
       PackDate(2040, 4, 7), PackDate(2040, 3, 31), PackDate(2040, 4, 8)},
      // A month ending on a leap day.
      {PackDate(2004, 2, 10), Setting(PeriodKind::OneMonth, kMonday), PackDate(2004, 2, 1),
       PackDate(2004, 2, 29), PackDate(2004, 1, 31), PackDate(2004, 3, 1)},
  };
  TestEnvironment env;
  for (const char* zone : kZones) {
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      const auto ranges = GetPeriodRanges(row.record, row.setting);
      ASSERT_EQ(ranges.size(), 1u);
      const TimeBounds widened = WidenToDays(ranges[0]);
      const std::string where = std::string(zone) + ", first day " + Day(ranges[0].start);
      EXPECT_EQ(PackedLocalDate(widened.start), row.first) << where;
      EXPECT_EQ(Clock(widened.start), "00:00:00") << where;
      EXPECT_EQ(PackedLocalDate(widened.end), row.last) << where;
      EXPECT_EQ(Clock(widened.end), "23:59:59") << where;
      EXPECT_TRUE(DateInRange(row.first, widened)) << where;
      EXPECT_TRUE(DateInRange(row.last, widened)) << where;
      EXPECT_FALSE(DateInRange(row.before, widened)) << where;
      EXPECT_FALSE(DateInRange(row.after, widened)) << where;
    }
  }
}

TEST(FormatRangeLabel, ShortDatesOfTheLocale) {
  TestEnvironment env;
  for (const char* zone : {"America/New_York", "Australia/Sydney"}) {
    ScopedTimeZone inZone(zone);
    const auto week = GetPeriodRanges(PackDate(2002, 3, 6), Setting(PeriodKind::OneWeek, kMonday));
    ASSERT_EQ(week.size(), 1u);
    {
      ScopedEnv locale("LC_ALL", "en_US.UTF-8");
      EXPECT_EQ(FormatRangeLabel(week[0].start, week[0].end), "3/4/02 - 3/10/02") << zone;
    }
    {
      ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
      EXPECT_EQ(FormatRangeLabel(week[0].start, week[0].end), "04.03.02 - 10.03.02") << zone;
    }
  }
}

TEST(DateRangeList, MainWindowListFromTheAccountsRecords) {
  TestEnvironment env;
  RecordStore store;
  // Records are inserted out of date order: the list follows the store's
  // ascending order, so it comes out oldest first.
  FillStore(env,
            {InsertAccountStatement(1, "Acme"), InsertAccountStatement(2, "Bolt"),
             InsertItemStatement(10, 1, "Design"), InsertItemStatement(11, 1, "Build"),
             InsertItemStatement(20, 2, "Other"),
             InsertTimeRecordStatement(104, PackDate(2002, 3, 20), 1, 11, "invoiced"),
             InsertTimeRecordStatement(103, PackDate(2002, 3, 13), 1, 10, ""),
             InsertTimeRecordStatement(101, PackDate(2002, 3, 6), 1, 10, ""),
             InsertTimeRecordStatement(102, PackDate(2002, 3, 7), 1, 10, ""),
             InsertTimeRecordStatement(201, PackDate(2002, 2, 1), 2, 20, ""),
             MarkInvoicedStatement("03/25/02", 104)},
            &store);
  ASSERT_EQ(store.timeRecords().size(), 5u);
  AccountDefaults defaults;
  defaults.period = "One Month";

  struct Row {
    const char* account;
    int32_t accountId;
    const char* period;  // nullptr: nothing stored, the defaults decide
    int32_t itemId;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      // Consecutive weeks give three distinct, overlapping fortnights.
      {"Acme", 1, "Two Weeks", 10,
       {"All", "2/25/02 - 3/10/02", "3/4/02 - 3/17/02", "3/11/02 - 3/24/02"}},
      // Every item, the invoiced record included.
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
  for (const Row& row : rows) {
    if (row.period) WriteAccount(row.account, row.period, "Monday");
    DateRangeList list;
    list.Rebuild(store, row.account, row.accountId, row.itemId, defaults);
    EXPECT_EQ(list.entries(), row.expected) << row.account << ", " << (row.period ? row.period : "-")
                                            << ", item " << row.itemId;
    ASSERT_EQ(list.ranges().size() + 1, list.entries().size());
    for (size_t i = 0; i < list.ranges().size(); ++i) {
      EXPECT_EQ(list.ranges()[i].label, list.entries()[i + 1]);
      EXPECT_EQ(list.Find(list.entries()[i + 1]), &list.ranges()[i]);
    }
    EXPECT_EQ(list.Find("All"), nullptr);
    list.Clear();
    EXPECT_EQ(list.entries(), std::vector<std::string>{"All"});
  }
}

TEST(DateRangeList, EqualLabelsAreListedOnceEqualStartsOnceInTheReport) {
  // In New York a Saturday week holds the change of 7 April 2002: its start
  // taken from Saturday's noon and from Monday's noon (two 86400-second days
  // back across the change) differ by an hour but name the same days.
  TestEnvironment env;
  ScopedTimeZone inZone("America/New_York");
  RecordStore store;
  FillStore(env,
            {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Design"),
             InsertTimeRecordStatement(1, PackDate(2002, 4, 6), 1, 10, ""),
             InsertTimeRecordStatement(2, PackDate(2002, 4, 8), 1, 10, "")},
            &store);
  const PeriodSetting week = Setting(PeriodKind::OneWeek, kSaturday);
  DateRangeList list;
  list.Rebuild(store, 1, 0, week);
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"All", "4/6/02 - 4/12/02"}));
  ASSERT_EQ(list.ranges().size(), 1u);
  EXPECT_EQ(Clock(list.ranges()[0].start), "12:00:00");  // the first occurrence stays

  const auto report = BuildReportRanges(store, week);
  EXPECT_EQ(Labels(report), (std::vector<std::string>{"4/6/02 - 4/12/02", "4/6/02 - 4/12/02"}));
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(Clock(report[0].start), "11:00:00");  // ordered by start
  EXPECT_EQ(Clock(report[1].start), "12:00:00");
}

TEST(BuildReportRanges, EveryAccountByStartWithoutRepeats) {
  TestEnvironment env;
  RecordStore store;
  FillStore(env,
            {InsertTimeRecordStatement(104, PackDate(2002, 3, 20), 1, 11, ""),
             InsertTimeRecordStatement(103, PackDate(2002, 3, 13), 1, 10, ""),
             InsertTimeRecordStatement(101, PackDate(2002, 3, 6), 1, 10, ""),
             InsertTimeRecordStatement(102, PackDate(2002, 3, 7), 1, 10, ""),
             InsertTimeRecordStatement(201, PackDate(2002, 2, 1), 2, 20, ""),
             MarkInvoicedStatement("03/25/02", 104)},
            &store);
  EXPECT_EQ(Labels(BuildReportRanges(store, Setting(PeriodKind::TwoWeeks, kMonday))),
            (std::vector<std::string>{"1/21/02 - 2/3/02", "1/28/02 - 2/10/02", "2/25/02 - 3/10/02",
                                      "3/4/02 - 3/17/02", "3/11/02 - 3/24/02",
                                      "3/18/02 - 3/31/02"}));
  EXPECT_EQ(Labels(BuildReportRanges(store, Setting(PeriodKind::OneMonth, kMonday, 20))),
            (std::vector<std::string>{"1/20/02 - 2/19/02", "2/20/02 - 3/19/02",
                                      "3/20/02 - 4/19/02"}));
  EXPECT_TRUE(BuildReportRanges(store, Setting(PeriodKind::All, kMonday)).empty());
  EXPECT_TRUE(BuildReportRanges(RecordStore(), Setting(PeriodKind::OneWeek, kMonday)).empty());
}
