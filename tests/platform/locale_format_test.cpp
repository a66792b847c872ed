// Date and clock-time texts: locale choice, pictures, local dates in zones
// with daylight saving, and the dates that have no text.
#include "platform/locale_format.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/test_env.h"

namespace {

constexpr int32_t Packed(int year, int month, int day) { return year * 65536 + month * 256 + day; }

}  // namespace

TEST(FormattingLocaleName, FirstOfLcAllLcTimeLangWithFallback) {
  using Env = std::optional<std::string>;
  struct Row {
    Env lcAll, lcTime, lang;
    const char* expected;
  };
  // clang-format off
  const Row rows[] = {
      {"de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "de_DE"},
      {std::nullopt, "de_DE.UTF-8", "en_US.UTF-8", "de_DE"},
      {"", "", "de_DE.UTF-8@euro", "de_DE"},
      {std::nullopt, std::nullopt, "fr_FR", "fr_FR"},
      {"C", "de_DE.UTF-8", std::nullopt, "en_US"},
      {"POSIX", std::nullopt, std::nullopt, "en_US"},
      {"C.UTF-8", std::nullopt, std::nullopt, "en_US"},
      {std::nullopt, std::nullopt, std::nullopt, "en_US"},
      {"xx_YY.UTF-8", std::nullopt, "de_DE.UTF-8", "en_US"},
  };
  // clang-format on
  for (const Row& row : rows) {
    ScopedEnv lcAll("LC_ALL", row.lcAll), lcTime("LC_TIME", row.lcTime), lang("LANG", row.lang);
    EXPECT_EQ(FormattingLocaleName(), row.expected)
        << row.lcAll.value_or("-") << " " << row.lcTime.value_or("-") << " "
        << row.lang.value_or("-");
  }
}

TEST(FormatPackedDate, PicturesOfEachLocaleAndForm) {
  struct Row {
    const char* locale;
    int32_t date;
    DateForm form;
    const char* expected;
  };
  constexpr DateForm kShort = DateForm::Short, kLong = DateForm::Long;
  // clang-format off
  const Row rows[] = {
      {"en_US.UTF-8", Packed(2003, 3, 15), kShort, "3/15/03"},
      {"en_US.UTF-8", Packed(2003, 3, 15), kLong, "Saturday, March 15, 2003"},
      {"de_DE.UTF-8", Packed(2003, 3, 15), kShort, "15.03.03"},
      {"de_DE.UTF-8", Packed(2003, 3, 15), kLong, "Samstag, 15. März 2003"},
      {"fr_FR.UTF-8", Packed(2003, 3, 15), kShort, "15/03/2003"},
      {"bg_BG.UTF-8", Packed(2003, 3, 15), kShort, "15.03.03 г."},  // narrow no-break space
      {"C", Packed(2003, 3, 15), kShort, "3/15/03"},
      {"xx_YY", Packed(2003, 3, 15), kLong, "Saturday, March 15, 2003"},
      {"en_US.UTF-8", Packed(2004, 2, 29), kLong, "Sunday, February 29, 2004"},
      {"en_US.UTF-8", Packed(2040, 3, 11), kShort, "3/11/40"},
      {"en_US.UTF-8", Packed(1601, 1, 1), kLong, "Monday, January 1, 1601"},
      {"en_US.UTF-8", Packed(30827, 12, 31), kShort, "12/31/27"},
      // No calendar date, no text.
      {"en_US.UTF-8", 0, kShort, ""},
      {"en_US.UTF-8", Packed(2003, 2, 29), kShort, ""},
      {"en_US.UTF-8", Packed(2002, 4, 31), kShort, ""},
      {"en_US.UTF-8", Packed(2002, 13, 1), kShort, ""},
      {"en_US.UTF-8", Packed(2002, 3, 0), kShort, ""},
      {"en_US.UTF-8", Packed(1600, 12, 31), kShort, ""},
  };
  // clang-format on
  TestEnvironment env;
  for (const char* zone : {"America/New_York", "Australia/Sydney"}) {  // no zone moves a day
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      ScopedEnv locale("LC_ALL", std::string(row.locale));
      EXPECT_EQ(FormatPackedDate(row.date, row.form), row.expected)
          << zone << ", " << row.locale << ", " << std::hex << row.date;
    }
  }
}

TEST(FormatDate, LocalDateAcrossDaylightSavingChanges) {
  struct Row {
    const char* zone;
    std::time_t value;
    const char* expected;
  };
  constexpr const char* kNewYork = "America/New_York";
  constexpr const char* kSydney = "Australia/Sydney";
  // clang-format off
  const Row rows[] = {
      // Local midnights just after New York's changes (EST to EDT on 7 April
      // 2002, back on 27 October) and Sydney's (AEDT to AEST on 31 March, back
      // on 27 October).
      {kNewYork, UtcTime(2002, 4, 8, 3, 59, 59), "4/7/02"},
      {kNewYork, UtcTime(2002, 4, 8, 4, 0, 0), "4/8/02"},
      {kNewYork, UtcTime(2002, 10, 28, 4, 59, 59), "10/27/02"},
      {kNewYork, UtcTime(2002, 10, 28, 5, 0, 0), "10/28/02"},
      {kNewYork, UtcTime(2040, 3, 11, 5, 0, 0), "3/11/40"},
      {kSydney, UtcTime(2002, 3, 31, 13, 59, 59), "3/31/02"},
      {kSydney, UtcTime(2002, 3, 31, 14, 0, 0), "4/1/02"},
      {kSydney, UtcTime(2002, 10, 27, 12, 59, 59), "10/27/02"},
      {kSydney, UtcTime(2002, 10, 27, 13, 0, 0), "10/28/02"},
      {kSydney, UtcTime(2040, 3, 31, 13, 0, 0), "4/1/40"},
      {"UTC", UtcTime(2040, 3, 31, 13, 0, 0), "3/31/40"},
      {"UTC", UtcTime(30828, 1, 1, 0, 0, 0), ""},
  };
  // clang-format on
  TestEnvironment env;
  for (const Row& row : rows) {
    ScopedTimeZone inZone(row.zone);
    EXPECT_EQ(FormatDate(row.value, DateForm::Short), row.expected)
        << row.zone << ", " << row.value;
  }
  ScopedTimeZone inZone(kSydney);
  EXPECT_EQ(FormatDate(UtcTime(2040, 3, 31, 13, 0, 0), DateForm::Long), "Sunday, April 1, 2040");
  EXPECT_EQ(FormatDate(LocalTime(1900, 1, 1), DateForm::Short), "1/1/00");
  ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(FormatDate(UtcTime(2040, 3, 31, 13, 0, 0), DateForm::Long), "Sonntag, 1. April 2040");
}

TEST(FormatTimeOfDay, ShortTimePictures) {
  struct Row {
    const char* locale;
    int64_t seconds;
    const char* expected;
  };
  // clang-format off
  const Row rows[] = {
      {"en_US.UTF-8", 9 * 3600 + 15 * 60, "9:15 AM"},
      {"en_US.UTF-8", 14 * 3600 + 5 * 60 + 59, "2:05 PM"},
      {"en_US.UTF-8", 0, "12:00 AM"},                 {"en_US.UTF-8", 86399, "11:59 PM"},
      {"de_DE.UTF-8", 9 * 3600 + 15 * 60, "09:15"},   {"de_DE.UTF-8", 14 * 3600 + 5 * 60, "14:05"},
      {"POSIX", 9 * 3600 + 15 * 60, "9:15 AM"},       {"en_US.UTF-8", -1, ""},
      {"en_US.UTF-8", 86400, ""},
  };
  // clang-format on
  TestEnvironment env;
  for (const char* zone : {"America/New_York", "Australia/Sydney"}) {  // a clock time has no zone
    ScopedTimeZone inZone(zone);
    for (const Row& row : rows) {
      ScopedEnv locale("LC_ALL", std::string(row.locale));
      EXPECT_EQ(FormatTimeOfDay(row.seconds), row.expected)
          << zone << ", " << row.locale << ", " << row.seconds;
    }
  }
}
