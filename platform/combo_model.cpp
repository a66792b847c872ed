// The entries of a combo or list box.
#include "platform/combo_model.h"

#include <algorithm>

#include "platform/utf8.h"

void ComboModel::Clear() {
  entries_.clear();
  selected_ = kNone;
}

int ComboModel::Add(const std::string& text, int64_t data) {
  Entry entry{text, FoldCase(text), data};
  auto at = entries_.end();
  if (sorted_) {
    // After every entry that sorts equal, as a sorted box inserts.
    at = std::upper_bound(entries_.begin(), entries_.end(), entry,
                          [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
  }
  const int index = static_cast<int>(at - entries_.begin());
  entries_.insert(at, std::move(entry));
  if (selected_ != kNone && selected_ >= index) ++selected_;
  return index;
}

int ComboModel::FindStringExact(const std::string& text) const {
  const std::string folded = FoldCase(text);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].folded == folded) return static_cast<int>(i);
  }
  return kNone;
}

std::vector<std::string> ComboModel::Texts() const {
  std::vector<std::string> texts;
  for (const Entry& e : entries_) texts.push_back(e.text);
  return texts;
}

void ComboModel::Select(int index) { selected_ = index >= 0 && index < count() ? index : kNone; }

std::string ComboModel::ComboText() const {
  return selected_ == kNone ? editText_ : entries_[static_cast<size_t>(selected_)].text;
}
