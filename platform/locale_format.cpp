// Date and clock-time texts in the user's locale, through ICU.
#include "platform/locale_format.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace {

constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;
constexpr const char* kFallbackLocale = "en_US";

enum class Picture { ShortDate, FullDate, ShortTime };

struct CalendarFields {
  int64_t year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsShowableDate(int64_t year, int month, int day) {
  return year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// Days from 1970-01-01 to year-month-day in the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::string StripLocaleName(std::string name) {
  const size_t cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.resize(cut);
  return name;
}

// ICU silently falls back to its default locale for a language it has no data
// for, so the languages with data are collected once to tell them apart.
bool IcuHasLanguage(const char* language) {
  static const std::set<std::string> languages = [] {
    std::set<std::string> found;
    int32_t count = 0;
    const icu::Locale* available = icu::Locale::getAvailableLocales(count);
    for (int32_t i = 0; i < count; ++i) found.insert(available[i].getLanguage());
    return found;
  }();
  return languages.count(language) != 0;
}

// The wall-clock fields are formatted as if they were GMT, so ICU's own idea
// of the time zone (taken from TZ only once, at its first use) never enters:
// the C library alone decides local time, as everywhere else in the programs.
std::string FormatFields(const CalendarFields& fields, Picture picture) {
  const std::string localeName = FormattingLocaleName();
  using Key = std::pair<std::string, Picture>;
  thread_local std::map<Key, std::unique_ptr<icu::DateFormat>> formats;
  auto& format = formats[Key(localeName, picture)];
  if (!format) {
    const icu::Locale locale(localeName.c_str());
    switch (picture) {
      case Picture::ShortDate:
        format.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
        break;
      case Picture::FullDate:
        format.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kFull, locale));
        break;
      case Picture::ShortTime:
        format.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
        break;
    }
    if (!format) return std::string();
    format->adoptTimeZone(icu::TimeZone::getGMT()->clone());
  }
  const int64_t days = DaysFromCivil(fields.year, fields.month, fields.day);
  const int64_t seconds = days * 86400 + fields.hour * 3600 + fields.minute * 60 + fields.second;
  icu::UnicodeString text;
  format->format(static_cast<UDate>(seconds) * 1000.0, text);
  // Narrow and ordinary no-break spaces (before AM/PM, inside dates of some
  // locales) are written as plain spaces, so texts compare and print simply.
  text.findAndReplace(icu::UnicodeString(static_cast<UChar32>(0x202F)), icu::UnicodeString(u' '));
  text.findAndReplace(icu::UnicodeString(static_cast<UChar32>(0x00A0)), icu::UnicodeString(u' '));
  std::string result;
  text.toUTF8String(result);
  return result;
}

Picture DatePicture(DateForm form) {
  return form == DateForm::Long ? Picture::FullDate : Picture::ShortDate;
}

}  // namespace

std::string FormattingLocaleName() {
  std::string name;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) {
      name = value;
      break;
    }
  }
  name = StripLocaleName(name);
  if (name.empty() || name == "C" || name == "POSIX") return kFallbackLocale;
  const icu::Locale locale(name.c_str());
  if (locale.isBogus() || !*locale.getLanguage() || !IcuHasLanguage(locale.getLanguage())) {
    return kFallbackLocale;
  }
  return locale.getName();
}

std::string FormatDate(std::time_t value, DateForm form) {
  ::tzset();  // localtime_r need not look at TZ again by itself
  std::tm local{};
  if (!::localtime_r(&value, &local)) return std::string();
  CalendarFields fields;
  fields.year = static_cast<int64_t>(local.tm_year) + 1900;
  fields.month = local.tm_mon + 1;
  fields.day = local.tm_mday;
  fields.hour = local.tm_hour;
  fields.minute = local.tm_min;
  fields.second = local.tm_sec;
  if (!IsShowableDate(fields.year, fields.month, fields.day)) return std::string();
  return FormatFields(fields, DatePicture(form));
}

std::string FormatPackedDate(int32_t grpdate, DateForm form) {
  CalendarFields fields;
  fields.year = grpdate >> 16;
  fields.month = (grpdate >> 8) & 0xFF;
  fields.day = grpdate & 0xFF;
  if (!IsShowableDate(fields.year, fields.month, fields.day)) return std::string();
  return FormatFields(fields, DatePicture(form));
}

std::string FormatTimeOfDay(int64_t secondsAfterMidnight) {
  if (secondsAfterMidnight < 0 || secondsAfterMidnight >= 86400) return std::string();
  CalendarFields fields;
  fields.year = 2000;
  fields.month = 1;
  fields.day = 1;
  fields.hour = static_cast<int>(secondsAfterMidnight / 3600);
  fields.minute = static_cast<int>(secondsAfterMidnight / 60 % 60);
  return FormatFields(fields, Picture::ShortTime);
}
