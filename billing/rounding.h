// Billing arithmetic: rounding increments, counts of increments, hour texts,
// rate texts and money amounts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class RecordStore;

// How a span's remainder of an increment is billed.
enum class RoundMode : int { Nearest = 0, Up = 1, Down = 2 };

// One rounding increment as the account preferences list offers it.
struct RoundingIncrement {
  const char* listText;  // text of the preferences list entry
  int minutes;           // increment in minutes, stored as Atom
  int perHour;           // increments per hour, 60 / minutes
};

// The twelve increments, in the order of the preferences list.
inline constexpr std::array<RoundingIncrement, 12> kRoundingIncrements = {{
    {"1 Min (1/60 Hr)", 1, 60},
    {"2 Min (1/30 Hr)", 2, 30},
    {"3 Min (1/20 Hr)", 3, 20},
    {"4 Min (1/15 Hr)", 4, 15},
    {"5 Min (1/12 Hr)", 5, 12},
    {"6 Min (1/10 Hr)", 6, 10},
    {"10 Min (1/6 Hr)", 10, 6},
    {"12 Min (1/5 Hr)", 12, 5},
    {"15 Min (1/4 Hr)", 15, 4},
    {"20 Min (1/3 Hr)", 20, 3},
    {"30 Min (1/2 Hr)", 30, 2},
    {"60 Min (1 Hr)", 60, 1},
}};

inline constexpr int kDefaultIncrement = 6;
inline constexpr int kDefaultIncrementPosition = 5;

// Position of increment in kRoundingIncrements; -1 when it is none of the
// twelve.
int IncrementListPosition(int increment);

// 60 / increment. An increment that is none of the twelve counts as the
// default 6 (10 per hour), so no caller divides by zero or bills 45 minutes
// as an hour.
int IncrementsPerHour(int increment);

// The billable increments of record recordId: each of its spans (store list
// order) rounded by itself to whole increments, Nearest (a remainder of at
// least half an increment, half rounded up, counts one more), Up (any
// remainder counts one more) or Down, and summed. 0 for a record without
// spans or an unknown id. A span with a negative duration counts 0. An
// increment that is none of the twelve counts as 6.
int64_t CountIncrements(const RecordStore& store, int32_t recordId, int increment, RoundMode mode);

// The increments of one span of duration minutes, rounded as CountIncrements
// rounds each span (the documents show them span by span). 0 for a duration
// of 0 or less; an increment that is none of the twelve counts as 6.
int64_t SpanIncrements(int64_t duration, int increment, RoundMode mode);

// count increments at perHour per hour as the record list, the totals and the
// time report show them: "2:05" (per hour 60), "2.3" (10), "2.2" (5),
// "2.25" (4), "2.5" (2), "2 1/3" (3, 30, 20, 15, 12, 6, 1; the fraction is
// never reduced and a zero fraction is written out: "4 0/1"). A perHour that
// is none of the twelve counts as 10. A negative count is the text of its
// magnitude after "-".
std::string FormatHours(int64_t count, int perHour);

// The invoice's form: as FormatHours, except that for every perHour but 60 a
// whole number of hours is written alone ("2", "4"). Same guards as
// FormatHours.
std::string FormatInvoiceHours(int64_t count, int perHour);

// Minutes as hours and two-digit minutes whatever the increments, as the
// report's daily tables and the report dialog's total show them: 425 ->
// "7:05". A negative value is written as printf writes its parts ("-2:-5").
std::string FormatHoursMinutes(int64_t minutes);

// A rate in hundredths as units, a point and two digits: 1250 -> "12.50",
// 5 -> "0.05", 0 -> "0.00". A negative rate gives "-" and the text of its
// magnitude (-1250 -> "-12.50", -5 -> "-0.05").
std::string FormatRate(int64_t rate);

// The money amount of count increments at rate (hundredths per hour):
// (count * (rate * 0.01)) / perHour in double precision, in that order, so
// the printed cents match the programs' history. A perHour that is none of
// the twelve counts as 10.
double Extension(int64_t count, int64_t rate, int perHour);

// An amount as shown everywhere: "%.02f" (the C library's rounding), no
// currency symbol.
std::string FormatAmount(double amount);

// Totals of the included records: the summed counts and the sum of the
// unrounded extensions, so the total may differ by a cent from the sum of the
// shown amounts (three times 3.333... totals 10.00, not 9.99).
class BillingTotals {
 public:
  // Adds one record: count increments at rate, perHour per hour. Returns the
  // record's own extension.
  double Add(int64_t count, int64_t rate, int perHour);

  int64_t count() const { return count_; }
  double amount() const { return amount_; }
  // FormatHours of the summed counts, and FormatAmount of the summed amounts.
  std::string HoursText(int perHour) const { return FormatHours(count_, perHour); }
  std::string AmountText() const { return FormatAmount(amount_); }

 private:
  int64_t count_ = 0;
  double amount_ = 0.0;
};
