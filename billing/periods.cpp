// Billing periods: the periods that hold a record date, their labels, the
// day bounds used to apply them, and the date-range lists of the main window
// and the report dialog.
#include "billing/periods.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <climits>
#include <set>
#include <utility>

#include "platform/locale_format.h"
#include "store/record_store.h"

namespace {

constexpr std::time_t kDay = 86400;

struct PackedParts {
  int64_t year;
  int64_t month;
  int64_t day;
};

PackedParts Unpack(int32_t grpdate) {
  return {grpdate >> 16, (grpdate >> 8) & 0xFF, grpdate & 0xFF};
}

bool FitsInt(int64_t value) { return value >= INT_MIN && value <= INT_MAX; }

// mktime of a local wall-clock time, with tm_wday left as mktime set it. Out
// of range fields are normalised by mktime; values that do not fit its int
// fields, or whose result has no time value, fail instead of overflowing.
bool MakeLocal(int64_t year, int64_t month, int64_t day, int hour, std::time_t* out,
               int* weekday = nullptr) {
  const int64_t tmYear = year - 1900;
  const int64_t tmMonth = month - 1;
  if (!FitsInt(tmYear) || !FitsInt(tmMonth) || !FitsInt(day)) return false;
  std::tm tm{};
  tm.tm_year = static_cast<int>(tmYear);
  tm.tm_mon = static_cast<int>(tmMonth);
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = hour;
  tm.tm_isdst = -1;
  // mktime returns -1 both for failure and for one real second; only a
  // failure leaves tm_wday untouched.
  tm.tm_wday = -1;
  const std::time_t value = std::mktime(&tm);
  if (tm.tm_wday < 0) return false;
  *out = value;
  if (weekday) *weekday = tm.tm_wday;
  return true;
}

bool LocalFields(std::time_t value, std::tm* out) {
  ::tzset();  // localtime_r need not look at TZ again by itself
  return ::localtime_r(&value, out) != nullptr;
}

// A half-month or month period: from noon of (year, fromMonth, fromDay) to
// the day before noon of (year, toMonth, toDay); mktime carries months
// outside 1..12 into the neighbouring years.
bool MonthPeriod(const PackedParts& date, int64_t fromMonth, int64_t fromDay, int64_t toMonth,
                 int64_t toDay, TimeBounds* out) {
  std::time_t start = 0;
  std::time_t next = 0;
  if (!NoonOf(date.year, fromMonth, fromDay, &start)) return false;
  if (!NoonOf(date.year, toMonth, toDay, &next)) return false;
  *out = {start, next - kDay};
  return true;
}

std::string Folded(const std::string& text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
  unicode.foldCase();
  std::string folded;
  unicode.toUTF8String(folded);
  return folded;
}

bool Takes(const TimeRecord& record, int32_t accountId, int32_t itemId) {
  return record.acct == accountId && (itemId == 0 || record.item == itemId);
}

}  // namespace

bool NoonOf(int64_t year, int64_t month, int64_t day, std::time_t* noon) {
  return MakeLocal(year, month, day, 12, noon);
}

std::vector<TimeBounds> GetPeriodRanges(int32_t grpdate, const PeriodSetting& setting) {
  const PackedParts date = Unpack(grpdate);
  const int64_t d1 = setting.startDate1;
  const int64_t d2 = setting.startDate2;
  TimeBounds range;
  switch (setting.kind) {
    case PeriodKind::OneWeek:
    case PeriodKind::TwoWeeks: {
      std::time_t noon = 0;
      int weekday = 0;
      if (!MakeLocal(date.year, date.month, date.day, 12, &noon, &weekday)) return {};
      const int64_t back = ((weekday - static_cast<int64_t>(setting.startDay)) % 7 + 7) % 7;
      const std::time_t weekStart = noon - back * kDay;
      if (setting.kind == PeriodKind::OneWeek) return {{weekStart, weekStart + 6 * kDay}};
      const std::time_t earlier = weekStart - 7 * kDay;
      return {{earlier, earlier + 13 * kDay}, {weekStart, weekStart + 13 * kDay}};
    }
    case PeriodKind::HalfMonth: {
      bool made = false;
      if (date.day < d1) {
        made = MonthPeriod(date, date.month - 1, d2, date.month, d1, &range);
      } else if (date.day < d2) {
        made = MonthPeriod(date, date.month, d1, date.month, d2, &range);
      } else {
        made = MonthPeriod(date, date.month, d2, date.month + 1, d1, &range);
      }
      if (!made) return {};
      return {range};
    }
    case PeriodKind::OneMonth: {
      const bool made = date.day < d1
                            ? MonthPeriod(date, date.month - 1, d1, date.month, d1, &range)
                            : MonthPeriod(date, date.month, d1, date.month + 1, d1, &range);
      if (!made) return {};
      return {range};
    }
    case PeriodKind::All: break;
  }
  return {};
}

std::string FormatRangeLabel(std::time_t start, std::time_t end) {
  return FormatDate(start, DateForm::Short) + " - " + FormatDate(end, DateForm::Short);
}

TimeBounds WidenToDays(const TimeBounds& range) {
  TimeBounds widened = range;
  std::tm first{};
  std::tm last{};
  std::time_t value = 0;
  if (LocalFields(range.start, &first) && MakeLocal(static_cast<int64_t>(first.tm_year) + 1900,
                                                    first.tm_mon + 1, first.tm_mday, 0, &value)) {
    widened.start = value;
  }
  if (LocalFields(range.end, &last) &&
      MakeLocal(static_cast<int64_t>(last.tm_year) + 1900, last.tm_mon + 1,
                static_cast<int64_t>(last.tm_mday) + 1, 0, &value)) {
    widened.end = value - 1;
  }
  return widened;
}

bool LocalMidnightOf(int32_t grpdate, std::time_t* midnight) {
  const PackedParts date = Unpack(grpdate);
  return MakeLocal(date.year, date.month, date.day, 0, midnight);
}

bool DateInRange(int32_t grpdate, const TimeBounds& widened) {
  std::time_t midnight = 0;
  if (!LocalMidnightOf(grpdate, &midnight)) return false;
  return widened.start <= midnight && midnight <= widened.end;
}

int32_t PackedLocalDate(std::time_t value) {
  std::tm local{};
  if (!LocalFields(value, &local)) return 0;
  const int64_t year = static_cast<int64_t>(local.tm_year) + 1900;
  if (year < 0 || year > 32767) return 0;
  return static_cast<int32_t>(year * 65536 + (local.tm_mon + 1) * 256 + local.tm_mday);
}

void DateRangeList::Clear() {
  entries_.assign(1, kAllLabel);
  ranges_.clear();
  foldedEntries_.clear();
  foldedEntries_.insert(Folded(kAllLabel));
}

void DateRangeList::Rebuild(const RecordStore& store, int32_t accountId, int32_t itemId,
                            const PeriodSetting& setting) {
  Clear();
  Add(store, accountId, itemId, setting);
}

const DateRange* DateRangeList::Find(const std::string& label) const {
  for (const DateRange& range : ranges_) {
    if (range.label == label) return &range;
  }
  return nullptr;
}

void DateRangeList::Add(const RecordStore& store, int32_t accountId, int32_t itemId,
                        const PeriodSetting& setting) {
  // Consecutive records mostly fall into periods already listed; a pair seen
  // before has its label listed already, so it is not formatted again.
  std::set<std::pair<std::time_t, std::time_t>> seen;
  for (const TimeRecord& record : store.timeRecords()) {
    if (!Takes(record, accountId, itemId)) continue;
    for (const TimeBounds& pair : GetPeriodRanges(record.grpdate, setting)) {
      if (!seen.insert({pair.start, pair.end}).second) continue;
      std::string label = FormatRangeLabel(pair.start, pair.end);
      if (!foldedEntries_.insert(Folded(label)).second) continue;
      entries_.push_back(label);
      ranges_.push_back({pair.start, pair.end, std::move(label)});
    }
  }
}

std::vector<DateRange> BuildReportRanges(const RecordStore& store, const PeriodSetting& setting) {
  std::vector<DateRange> ranges;
  for (const TimeRecord& record : store.timeRecords()) {
    for (const TimeBounds& pair : GetPeriodRanges(record.grpdate, setting)) {
      const auto later = std::lower_bound(
          ranges.begin(), ranges.end(), pair.start,
          [](const DateRange& range, std::time_t start) { return range.start < start; });
      if (later != ranges.end() && later->start == pair.start) continue;
      ranges.insert(later, {pair.start, pair.end, FormatRangeLabel(pair.start, pair.end)});
    }
  }
  return ranges;
}
