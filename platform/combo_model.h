// The entries of a combo or list box as the programs rely on them: sorted
// ones keep letter-case-insensitive order, the exact-string search ignores
// letter case, each entry carries a number, and the text of a box with no
// selected entry is its own edit text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ComboModel {
 public:
  static constexpr int kNone = -1;

  explicit ComboModel(bool sorted) : sorted_(sorted) {}

  // Removes every entry; nothing is selected afterwards.
  void Clear();
  // Adds text (in its sorted place, or at the end) with data; its index.
  // The selection stays on the entry it was on.
  int Add(const std::string& text, int64_t data = 0);
  // The first entry equal to text, letter case ignored; kNone when none.
  int FindStringExact(const std::string& text) const;

  int count() const { return static_cast<int>(entries_.size()); }
  const std::string& Text(int index) const { return entries_.at(static_cast<size_t>(index)).text; }
  int64_t Data(int index) const { return entries_.at(static_cast<size_t>(index)).data; }
  std::vector<std::string> Texts() const;

  int selected() const { return selected_; }
  // Selects index; kNone, or an index outside the entries, clears the selection.
  void Select(int index);

  // The selected entry's text; the edit text when none is selected.
  std::string ComboText() const;
  void SetEditText(const std::string& text) { editText_ = text; }

 private:
  struct Entry {
    std::string text;
    std::string folded;
    int64_t data;
  };
  bool sorted_;
  std::vector<Entry> entries_;
  int selected_ = kNone;
  std::string editText_;
};
