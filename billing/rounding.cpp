// Billing arithmetic: rounding increments, counts of increments, hour texts,
// rate texts and money amounts.
#include "billing/rounding.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "store/record_store.h"

namespace {

int SafeIncrement(int increment) {
  return IncrementListPosition(increment) >= 0 ? increment : kDefaultIncrement;
}

int SafePerHour(int perHour) {
  for (const RoundingIncrement& entry : kRoundingIncrements) {
    if (entry.perHour == perHour) return perHour;
  }
  return 60 / kDefaultIncrement;
}

std::string Printed(const char* format, uint64_t a, uint64_t b = 0, uint64_t c = 0) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

// Texts are built from magnitudes and the sign is put back in front: the
// printf forms would otherwise write -125 minutes as "-2:-5". Minus INT64_MIN
// does not fit an int64_t, hence the unsigned value.
uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

std::string HoursText(uint64_t count, int perHour, bool invoice) {
  const uint64_t p = static_cast<uint64_t>(perHour);
  const uint64_t h = count / p;
  const uint64_t f = count % p;
  const int minutesPerIncrement = 60 / perHour;
  if (minutesPerIncrement == 1) return Printed("%" PRIu64 ":%02" PRIu64, h, f);
  if (invoice && f == 0) return Printed("%" PRIu64, h);
  switch (minutesPerIncrement) {
    case 6: return Printed("%" PRIu64 ".%" PRIu64, h, f);
    case 12: return Printed("%" PRIu64 ".%" PRIu64, h, 2 * f);
    case 15:
      // The invoice writes "%d.%d" with 25 * f; for its f of 1..3 that is the
      // same text as the two-digit form.
      return Printed("%" PRIu64 ".%02" PRIu64, h, 25 * f);
    case 30: return Printed("%" PRIu64 ".%" PRIu64, h, 5 * f);
    default: return Printed("%" PRIu64 " %" PRIu64 "/%" PRIu64, h, f, p);
  }
}

std::string SignedHoursText(int64_t count, int perHour, bool invoice) {
  const std::string text = HoursText(Magnitude(count), SafePerHour(perHour), invoice);
  return count < 0 ? "-" + text : text;
}

}  // namespace

int IncrementListPosition(int increment) {
  for (size_t i = 0; i < kRoundingIncrements.size(); ++i) {
    if (kRoundingIncrements[i].minutes == increment) return static_cast<int>(i);
  }
  return -1;
}

int IncrementsPerHour(int increment) { return 60 / SafeIncrement(increment); }

int64_t CountIncrements(const RecordStore& store, int32_t recordId, int increment, RoundMode mode) {
  int64_t total = 0;
  for (size_t position : store.SpansOf(recordId)) {
    total += SpanIncrements(store.timeSpans()[position].duration, increment, mode);
  }
  return total;
}

int64_t SpanIncrements(int64_t duration, int increment, RoundMode mode) {
  // A negative length is a damaged span; it bills nothing rather than
  // taking time off the record's other spans.
  if (duration <= 0) return 0;
  const int a = SafeIncrement(increment);
  const int half = (a + 1) / 2;
  const int64_t q = duration / a;
  const int64_t r = duration % a;
  switch (mode) {
    case RoundMode::Nearest: return r >= half ? q + 1 : q;
    case RoundMode::Up: return r >= 1 ? q + 1 : q;
    case RoundMode::Down: return q;
  }
  return q;
}

std::string FormatHours(int64_t count, int perHour) {
  return SignedHoursText(count, perHour, false);
}

std::string FormatInvoiceHours(int64_t count, int perHour) {
  return SignedHoursText(count, perHour, true);
}

std::string FormatHoursMinutes(int64_t minutes) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes / 60),
                static_cast<long long>(minutes % 60));
  return text;
}

std::string FormatRate(int64_t rate) {
  const uint64_t magnitude = Magnitude(rate);
  const std::string text = Printed("%" PRIu64 ".%02" PRIu64, magnitude / 100, magnitude % 100);
  return rate < 0 ? "-" + text : text;
}

double Extension(int64_t count, int64_t rate, int perHour) {
  const double ratePerHour = static_cast<double>(rate) * 0.01;
  return (static_cast<double>(count) * ratePerHour) / static_cast<double>(SafePerHour(perHour));
}

std::string FormatAmount(double amount) {
  // The window programs run with the C library's numbers in the user's
  // locale (Qt sets it from the environment), where printf may write a
  // decimal comma; to_chars writes "%.02f" as the "C" locale does, always.
  char buffer[512];  // "%.02f" of the largest double has 309 digits before the point
  const std::to_chars_result end =
      std::to_chars(buffer, buffer + sizeof buffer, amount, std::chars_format::fixed, 2);
  return std::string(buffer, end.ptr);
}

double BillingTotals::Add(int64_t count, int64_t rate, int perHour) {
  const double extension = Extension(count, rate, perHour);
  count_ += count;
  amount_ += extension;
  return extension;
}
