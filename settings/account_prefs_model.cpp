// The account preferences dialog's state and rules.
#include "settings/account_prefs_model.h"

#include <algorithm>

#include "platform/utf8.h"
#include "settings/registry.h"
#include "settings/registry_key_stack.h"

namespace {

// The readers' buffers, counting the terminating zero.
constexpr size_t kTextCapacity = 32;
constexpr size_t kAddressCapacity = 64;

std::string AddressName(size_t line) { return "Address" + std::to_string(line + 1); }

int Clamp(int64_t value, int low, int high) {
  return static_cast<int>(std::clamp<int64_t>(value, low, high));
}

// The day list's entry equal to text ignoring letter case; "" when none.
std::string DayEntry(const std::string& text) {
  const std::string folded = FoldCase(text);
  for (int day = 0; day < 7; ++day) {
    if (FoldCase(DayText(day)) == folded) return DayText(day);
  }
  return {};
}

// The account's key, else the Default key; false when neither opens.
bool OpenAccountOrDefault(RegistryKeyStack* stack, const std::string& account) {
  return stack->OpenChild(account) || stack->OpenChild("Default");
}

void WriteDuration(RegistryKeyStack* stack, const AccountPrefs& prefs) {
  stack->SetString("Period", PeriodText(prefs.period));
  stack->SetString("StartDay", prefs.startDay);
  stack->SetDword("StartDate1", static_cast<uint32_t>(prefs.startDate1));
  stack->SetDword("StartDate2", static_cast<uint32_t>(prefs.startDate2));
}

void WriteRounding(RegistryKeyStack* stack, const AccountPrefs& prefs) {
  const int position = prefs.incrementPosition;
  const bool listed = position >= 0 && position < static_cast<int>(kRoundingIncrements.size());
  stack->SetDword("Atom", listed ? kRoundingIncrements[position].minutes : kDefaultIncrement);
  stack->SetString("Round", RoundText(prefs.round));
}

}  // namespace

AccountPrefsModel::AccountPrefsModel(std::string account) : account_(std::move(account)) {
  RegistryKeyStack stack;
  if (stack.CreatePath(kAcctsKeyPath) && OpenAccountOrDefault(&stack, account_)) {
    std::string text;
    if (stack.QueryString("Period", &text, kTextCapacity)) prefs_.period = PeriodFromText(text);
    uint32_t value = 0;
    if (stack.QueryDword("Atom", &value)) {
      const int position = IncrementListPosition(static_cast<int>(value));
      if (position >= 0) prefs_.incrementPosition = position;
    }
    if (stack.QueryString("Round", &text, kTextCapacity)) prefs_.round = RoundFromText(text);
    if (stack.QueryString("StartDay", &text, kTextCapacity) && !DayEntry(text).empty()) {
      prefs_.startDay = DayEntry(text);
    }
    // Read as signed, as the period lookups read them, before clamping.
    if (stack.QueryDword("StartDate1", &value)) prefs_.startDate1 = static_cast<int32_t>(value);
    if (stack.QueryDword("StartDate2", &value)) prefs_.startDate2 = static_cast<int32_t>(value);
    for (size_t line = 0; line < prefs_.addresses.size(); ++line) {
      stack.QueryString(AddressName(line), &prefs_.addresses[line], kAddressCapacity);
    }
  }
  stack.CloseAll();
  // The period comes first: a stored "One Month" widens the range that
  // start date 1 is then clamped to.
  SelectPeriod(prefs_.period);
  SetStartDate1(prefs_.startDate1);
  SetStartDate2(prefs_.startDate2);
}

void AccountPrefsModel::SelectPeriod(PeriodKind period) {
  prefs_.period = period;
  if (period == PeriodKind::OneMonth) date1Max_ = kDate1MonthMax;
}

void AccountPrefsModel::SelectIncrement(int position) {
  const bool listed = position >= 0 && position < static_cast<int>(kRoundingIncrements.size());
  prefs_.incrementPosition = listed ? position : -1;
}

void AccountPrefsModel::SelectStartDay(const std::string& text) {
  prefs_.startDay = CutToCharacters(text, kDayChars);
}

void AccountPrefsModel::SetStartDate1(int date) {
  prefs_.startDate1 = Clamp(date, kDate1Min, date1Max_);
}

void AccountPrefsModel::SetStartDate2(int date) {
  prefs_.startDate2 = Clamp(date, kDate2Min, kDate2Max);
}

void AccountPrefsModel::SetAddress(size_t line, const std::string& text) {
  if (line < prefs_.addresses.size()) prefs_.addresses[line] = CutToCharacters(text, kAddressChars);
}

void AccountPrefsModel::Save() const {
  RegistryKeyStack stack;
  // Both are tried. A name holding "\" names nested keys but takes one
  // level, so that no name runs out of levels.
  const bool accts = stack.CreatePath(kAcctsKeyPath);
  const bool account = stack.CreateChild(account_);
  if (accts && account) {
    WriteDuration(&stack, prefs_);
    WriteRounding(&stack, prefs_);
    for (size_t line = 0; line < prefs_.addresses.size(); ++line) {
      if (prefs_.addresses[line].empty()) {
        stack.DeleteValue(AddressName(line));
      } else {
        stack.SetString(AddressName(line), prefs_.addresses[line]);
      }
    }
  }
  stack.CloseAll();
}

void AccountPrefsModel::SaveDurationDefaults() const {
  RegistryKeyStack stack;
  if (stack.CreatePath(kAcctsKeyPath) && stack.CreateChild("Default")) {
    WriteDuration(&stack, prefs_);
  }
  stack.CloseAll();
}

void AccountPrefsModel::SaveRoundingDefaults() const {
  RegistryKeyStack stack;
  if (stack.CreatePath(kAcctsKeyPath) && stack.CreateChild("Default")) {
    WriteRounding(&stack, prefs_);
  }
  stack.CloseAll();
}

StartEnabling AccountPrefsModel::EnablingFor(PeriodKind period) {
  switch (period) {
    case PeriodKind::OneWeek:
    case PeriodKind::TwoWeeks: return {true, false, false};
    case PeriodKind::HalfMonth: return {false, true, true};
    case PeriodKind::OneMonth: return {false, true, false};
    default: return {false, false, false};
  }
}
