// Billing periods: the periods that hold a record date, their labels, the
// day bounds used to apply them, and the date-range lists of the main window
// and the report dialog.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_set>
#include <vector>

class RecordStore;

enum class PeriodKind : int { All = 0, OneWeek = 1, TwoWeeks = 2, HalfMonth = 3, OneMonth = 4 };

// How the calendar is divided into billing periods. Weekly kinds use
// startDay (Sunday 0 .. Saturday 6), OneMonth uses startDate1, HalfMonth
// startDate1 and startDate2, All nothing. Stored values are used as found:
// days of month outside 1..31 roll over the way mktime normalises them.
struct PeriodSetting {
  PeriodKind kind = PeriodKind::All;
  int startDay = 1;
  int startDate1 = 1;
  int startDate2 = 16;
};

// A pair of time values (seconds since the epoch, 64-bit).
struct TimeBounds {
  std::time_t start = 0;
  std::time_t end = 0;
  bool operator==(const TimeBounds&) const = default;
};

// One offered period: its first and last day as noon times, and its label.
struct DateRange {
  std::time_t start = 0;
  std::time_t end = 0;
  std::string label;
  TimeBounds bounds() const { return {start, end}; }
};

// The time value of local 12:00:00 on (year, month, day), DST decided by the
// C library; a month or day outside its range rolls over as mktime
// normalises it (31 April is 1 May, month 0 is December of the year before).
// False, leaving *noon alone, when the date has no time value.
bool NoonOf(int64_t year, int64_t month, int64_t day, std::time_t* noon);

// The periods of setting that hold the record date grpdate (packed as
// year * 65536 + month * 256 + day), earlier first; each end is a noon time.
// All: none. OneWeek: the week beginning on startDay. TwoWeeks: the fortnight
// ending in the date's week, then the one beginning in it. HalfMonth and
// OneMonth: the half month or month split at startDate1 (and startDate2).
// Days are stepped as 86400 seconds from noon, so daylight-saving changes
// never move a date. None when a bound has no time value (absurd dates).
std::vector<TimeBounds> GetPeriodRanges(int32_t grpdate, const PeriodSetting& setting);

// FormatDate(start, short) + " - " + FormatDate(end, short): "3/4/02 - 3/10/02"
// in en_US.
std::string FormatRangeLabel(std::time_t start, std::time_t end);

// The bounds used when a range is applied: local 00:00:00 of start's day and
// local 23:59:59 of end's day. Both come from the calendar (mktime of the
// day's midnight) rather than from subtracting clock seconds, so a 25-hour or
// 23-hour day at either end still holds all of its records.
TimeBounds WidenToDays(const TimeBounds& range);

// The time value of local 00:00:00 on the record date grpdate (rolled over as
// mktime normalises it); false when the date has no time value.
bool LocalMidnightOf(int32_t grpdate, std::time_t* midnight);

// True when the record date grpdate lies within widened bounds (as made by
// WidenToDays), both ends inclusive. False for a date without a time value.
bool DateInRange(int32_t grpdate, const TimeBounds& widened);

// The local calendar date of value, packed like a record date; 0 when value
// has no local date or its year does not fit the packing (0..32767).
int32_t PackedLocalDate(std::time_t value);

// The main window's date-range list: entry 0 is "All" (no range), entry i
// belongs to ranges()[i - 1]. Ranges appear in the order of their first
// occurrence, which for the store's ascending record dates is oldest first; a
// label equal to one already listed, ignoring letter case, is not added again.
class DateRangeList {
 public:
  static constexpr const char* kAllLabel = "All";

  DateRangeList() { Clear(); }

  // Only "All" (an empty item list, or no account selected).
  void Clear();

  // The periods of setting that hold the records of accountId and, when
  // itemId is not 0, of itemId, invoiced records included, walking the
  // store's records in list order.
  void Rebuild(const RecordStore& store, int32_t accountId, int32_t itemId,
               const PeriodSetting& setting);

  // The combo box's entries: "All", then each range's label.
  const std::vector<std::string>& entries() const { return entries_; }
  const std::vector<DateRange>& ranges() const { return ranges_; }

  // The first range whose label equals label exactly (case-sensitive);
  // nullptr for "All" and for a text no range has.
  const DateRange* Find(const std::string& label) const;

 private:
  void Add(const RecordStore& store, int32_t accountId, int32_t itemId,
           const PeriodSetting& setting);

  std::vector<std::string> entries_;
  std::vector<DateRange> ranges_;
  std::unordered_set<std::string> foldedEntries_;
};

// The report dialog's list: the periods of setting that hold any record of
// the store (every account, invoiced records included), in ascending order of
// start; a period whose start equals one already listed is dropped (the
// earlier record's period stays).
std::vector<DateRange> BuildReportRanges(const RecordStore& store, const PeriodSetting& setting);
