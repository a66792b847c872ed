// OLE Automation dates and the date texts of the statements.
#include "store/ole_date.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <regex>

namespace {

const int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

int MonthFromName(std::string name) {
  static const char* kNames[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (int i = 0; i < 12; ++i) {
    if (name == kNames[i]) return i + 1;
  }
  return 0;
}

// The century for a two-digit year that puts the date nearest to today.
int NearestYear(int twoDigits, int month, int day, std::time_t today) {
  std::tm now{};
  localtime_r(&today, &now);
  const int64_t todayDays = DaysFromCivil(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  const int century = (now.tm_year + 1900) / 100 * 100;
  int best = century + twoDigits;
  int64_t bestDistance = INT64_MAX;
  for (int candidate :
       {century - 100 + twoDigits, century + twoDigits, century + 100 + twoDigits}) {
    int safeDay = std::min(day, DaysInMonth(candidate, month));
    int64_t distance = std::llabs(DaysFromCivil(candidate, month, safeDay) - todayDays);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

}  // namespace

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

double OleDateFromCivil(const CivilTime& t) {
  const int64_t days = DaysFromCivil(t.year, t.month, t.day) - kOleEpochDays;
  const double fraction = (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool CivilFromOleDate(double value, CivilTime* out) {
  // The OLE range: 1 January 100 to 31 December 9999.
  if (!std::isfinite(value) || value < -657435.0 || value >= 2958466.0) return false;
  double whole = std::trunc(value);
  int64_t seconds = std::llround(std::fabs(value - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (seconds >= 86400) {  // a fraction that rounds up to the next midnight
    seconds -= 86400;
    days += value >= 0 ? 1 : -1;
  }
  CivilFromDays(days + kOleEpochDays, &out->year, &out->month, &out->day);
  out->hour = static_cast<int>(seconds / 3600);
  out->minute = static_cast<int>(seconds / 60 % 60);
  out->second = static_cast<int>(seconds % 60);
  return true;
}

bool LocalTimeFromCivil(const CivilTime& t, std::time_t* out) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  std::time_t value = std::mktime(&tm);
  // -1 is also 23:59:59 on 31 December 1969 UTC; mktime then sets the fields.
  if (value == static_cast<std::time_t>(-1) && tm.tm_year != 69 && tm.tm_year != 70) return false;
  *out = value;
  return true;
}

namespace {

bool ParseDateTextOnce(const std::string& text, std::time_t today, CivilTime* out);

}  // namespace

bool ParseDateText(const std::string& text, std::time_t today, CivilTime* out) {
  // A synchronization sends the same date text with every record: the last
  // answer is kept, since matching the patterns costs more than the insert.
  thread_local std::string lastText;
  thread_local std::time_t lastToday = 0;
  thread_local bool lastOk = false;
  thread_local CivilTime lastResult{};
  if (text != lastText || today != lastToday) {
    lastOk = ParseDateTextOnce(text, today, &lastResult);
    lastText = text;
    lastToday = today;
  }
  if (lastOk) *out = lastResult;
  return lastOk;
}

namespace {

bool ParseDateTextOnce(const std::string& text, std::time_t today, CivilTime* out) {
  static const std::regex kDayMonYear(R"(^\s*(\d{1,2})-([A-Za-z]{3})-(\d{4}|\d{2})(\D.*|)$)");
  static const std::regex kUs(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4}|\d{2})(\D.*|)$)");
  static const std::regex kIso(R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(\D.*|)$)");
  static const std::regex kTime(
      R"(^(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?(?:\s*([AaPp][Mm]))?)?\s*$)");
  std::smatch m;
  int year = 0, month = 0, day = 0;
  bool twoDigitYear = false;
  std::string rest;
  if (std::regex_match(text, m, kDayMonYear)) {
    day = std::stoi(m[1]);
    month = MonthFromName(m[2]);
    year = std::stoi(m[3]);
    twoDigitYear = m[3].length() == 2;
    rest = m[4];
  } else if (std::regex_match(text, m, kUs)) {
    month = std::stoi(m[1]);
    day = std::stoi(m[2]);
    year = std::stoi(m[3]);
    twoDigitYear = m[3].length() == 2;
    rest = m[4];
  } else if (std::regex_match(text, m, kIso)) {
    year = std::stoi(m[1]);
    month = std::stoi(m[2]);
    day = std::stoi(m[3]);
    rest = m[4];
  } else {
    return false;
  }
  if (month < 1 || month > 12 || day < 1) return false;
  if (twoDigitYear) year = NearestYear(year, month, day, today);
  if (year < 100 || day > DaysInMonth(year, month)) return false;
  std::smatch t;
  if (!std::regex_match(rest, t, kTime)) return false;
  CivilTime result{year, month, day, 0, 0, 0};
  if (t[1].matched) {
    result.hour = std::stoi(t[1]);
    result.minute = std::stoi(t[2]);
    result.second = t[3].matched ? std::stoi(t[3]) : 0;
    if (t[4].matched) {
      if (result.hour < 1 || result.hour > 12) return false;
      bool pm = std::toupper(static_cast<unsigned char>(t[4].str()[0])) == 'P';
      result.hour = result.hour % 12 + (pm ? 12 : 0);
    }
    if (result.hour > 23 || result.minute > 59 || result.second > 59) return false;
  }
  *out = result;
  return true;
}

}  // namespace
