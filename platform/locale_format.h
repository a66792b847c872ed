// Date and clock-time texts in the user's locale, through ICU.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The two date pictures; the values are the Windows flags the forms stand for.
enum class DateForm : int {
  Short = 1,  // ICU short date style: 3/15/03 in en_US, 15.03.03 in de_DE
  Long = 2,   // ICU full date style: Saturday, March 15, 2003
};

// The ICU locale whose pictures are used, as an ICU locale name ("en_US",
// "de_DE"). Read at every call from the first non-empty of LC_ALL, LC_TIME and
// LANG, without the ".codeset" and "@modifier" parts. "C", "POSIX", nothing
// set, and names whose language ICU has no data for all give "en_US".
std::string FormattingLocaleName();

// The local calendar date of value (time zone from TZ, DST decided by the C
// library) in the chosen picture. Empty text when value has no local date or
// the date lies outside the years 1601..30827.
std::string FormatDate(std::time_t value, DateForm form);

// The calendar date packed in grpdate (year * 65536 + month * 256 + day) in
// the chosen picture; no time zone is involved. Empty text when the packed
// date is no calendar date (month 0 or 13, 31 April, 29 February of a common
// year, day 0) or its year lies outside 1601..30827.
std::string FormatPackedDate(int32_t grpdate, DateForm form);

// The clock time hour = s / 3600, minute = (s / 60) mod 60, in the locale's
// short time picture (9:15 AM in en_US, 09:15 in de_DE). Empty text when s
// is not within one day (0..86399).
std::string FormatTimeOfDay(int64_t secondsAfterMidnight);
