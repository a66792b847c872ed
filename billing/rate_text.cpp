// Rates as typed into the rate and setup dialogs.
#include "billing/rate_text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits of text (which holds only digits) as a number; false once it passes
// kMaxRate, which no digit can bring back below.
bool AddDigits(const std::string& digits, int64_t* value) {
  for (char c : digits) {
    *value = *value * 10 + (c - '0');
    if (*value > kMaxRate) return false;
  }
  return true;
}

}  // namespace

FilteredRateText FilterDefaultRateText(const std::string& text) {
  FilteredRateText result{text, false, 0};
  const size_t firstDot = text.find('.');
  // Scanning from the end leaves the lower indices valid while deleting, and
  // the last deletion made is the lowest index. Bytes of a multi-byte
  // character are no digits, so the whole character goes; everything before
  // the lowest deletion is kept ASCII, so that index is a character index too.
  for (size_t i = text.size(); i-- > 0;) {
    const char c = text[i];
    // A second "." would shift the decimals: "10.5." would be read as 1.05.
    const bool keep = IsDigit(c) || (c == '.' && i == firstDot);
    if (!keep) {
      result.text.erase(i, 1);
      result.changed = true;
      result.caret = i;
    }
  }
  return result;
}

FilteredRateText FilterRateText(const std::string& text) {
  FilteredRateText result = FilterDefaultRateText(text);
  const size_t dot = result.text.find('.');
  if (dot != std::string::npos && result.text.size() > dot + 3) {
    result.text.erase(dot + 3);
    result.changed = true;
    result.caret = dot + 3;
  }
  return result;
}

std::optional<int32_t> ParseRateText(const std::string& text) {
  const std::string clean = FilterDefaultRateText(text).text;
  const size_t dot = clean.find('.');
  int64_t whole = 0;
  if (!AddDigits(clean.substr(0, dot), &whole)) return std::nullopt;
  int64_t fraction = 0;
  if (dot != std::string::npos) {
    std::string cents = clean.substr(dot + 1, 2);
    cents.resize(2, '0');
    AddDigits(cents, &fraction);
  }
  const int64_t rate = whole * 100 + fraction;
  if (rate > kMaxRate) return std::nullopt;
  return static_cast<int32_t>(rate);
}

std::string RateTooLargeMessage() {
  return "This rate is too large to be stored. Enter a rate of at most 21474836.47.";
}
