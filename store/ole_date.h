// OLE Automation dates (days since 30 December 1899, the fraction being the
// time of day) and the date texts of the statements.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct CivilTime {
  int year = 1900;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int* year, int* month, int* day);

// The OLE date of a calendar date and clock time (days before 30 December
// 1899 are negative with a positive fraction, as OLE writes them).
double OleDateFromCivil(const CivilTime& time);

// The calendar reading of an OLE date, to the second. False for values
// outside the years 100..9999 or not a number.
bool CivilFromOleDate(double value, CivilTime* out);

// The local time value of a calendar reading, daylight saving decided by the
// C library. False when the C library cannot represent it.
bool LocalTimeFromCivil(const CivilTime& time, std::time_t* out);

// Reads a date text of a statement: "01-JAN-1900", "03/15/03", "03/15/2003",
// "2003-03-15", each optionally followed by a time "14:05[:00]" with an
// optional AM/PM. A two-digit year is read in the century that puts the date
// nearest to today. False for anything else or an impossible date.
bool ParseDateText(const std::string& text, std::time_t today, CivilTime* out);
