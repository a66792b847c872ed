// Rates as typed into the rate and setup dialogs: the edit filters and the
// conversion of a typed amount to hundredths of the currency unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What an edit filter made of a text.
struct FilteredRateText {
  std::string text;      // the text the edit shows
  bool changed = false;  // something was deleted; only then is the text set again
  size_t caret = 0;      // where the caret goes when changed: a character index into text
};

// The largest rate a typed amount may give: rates are stored as 32-bit values
// and read as signed ones.
constexpr int64_t kMaxRate = INT32_MAX;

// The default-rate filter of the setup dialog: deletes every character that is
// neither a digit nor "." and every "." after the first. When something was
// deleted the caret goes to the lowest index deleted (where a typed or pasted
// character was refused). Any number of decimals is kept.
FilteredRateText FilterDefaultRateText(const std::string& text);

// The rate filter of the rate dialog: FilterDefaultRateText, then at most two
// digits after the point: the rest is deleted and the caret goes to the index
// of the third digit after the point. 12a.5 -> 12.5 (caret 2), 10.5. -> 10.5
// (caret 4), 12.345 -> 12.34 (caret 5). Text without anything to delete is
// returned unchanged.
FilteredRateText FilterRateText(const std::string& text);

// The rate in hundredths that a typed amount stands for: the digits before the
// first "." are whole units, the first two after it hundredths (a single digit
// counts as tenths); further digits are dropped, not rounded. Other characters
// are skipped as FilterDefaultRateText skips them. 45 -> 4500, 45.5 -> 4550,
// 45.567 -> 4556, .75 -> 75, "" and "." -> 0. nullopt when the rate is larger
// than kMaxRate (more than 21474836.47), instead of a wrapped-around value.
std::optional<int32_t> ParseRateText(const std::string& text);

// The message that refuses a rate ParseRateText cannot store.
std::string RateTooLargeMessage();
