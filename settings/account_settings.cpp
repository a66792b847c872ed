// The per-account lookups of the settings registry and their fallback chains.
#include "settings/account_settings.h"

#include <algorithm>
#include <array>

#include "settings/registry_key_stack.h"

namespace {

// The readers' buffers of the short texts (period, day and round texts).
constexpr size_t kShortText = 32;

constexpr std::array<const char*, 5> kPeriodTexts = {"All", "One Week", "Two Weeks", "Half Month",
                                                     "One Month"};
constexpr std::array<const char*, 7> kDayTexts = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

// A stored increment outside the twelve would divide by zero (0) or bill a
// wrong number of increments per hour (45); it reads as the default instead,
// as the account preferences dialog shows it.
int AtomOrDefault(uint32_t stored) { return IsValidAtom(stored) ? static_cast<int>(stored) : 6; }

// The Accts path and the account key below it, created when missing.
bool CreateAccountKey(RegistryKeyStack* stack, const std::string& account) {
  stack->CreatePath(kAcctsKeyPath);
  return stack->CreateChild(account);
}

}  // namespace

bool IsValidAtom(int64_t minutes) {
  static constexpr std::array<int64_t, 12> kAtoms = {1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60};
  return std::find(kAtoms.begin(), kAtoms.end(), minutes) != kAtoms.end();
}

int GetAccountRate(const std::string& account, const std::string& item) {
  uint32_t rate = 0;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (stack.OpenPath(kSetupKeyPath)) {
    uint32_t value = 0;
    if (stack.QueryDword("DefaultRate", &value)) rate = value;
    stack.Pop();
    if (stack.CreateChild("Accts") && stack.CreateChild(account)) {
      if (stack.CreateChild("All")) {
        if (stack.QueryDword("Rate", &value)) rate = value;
        stack.Pop();
      }
      if (!item.empty() && stack.CreateChild(item)) {
        if (stack.QueryDword("Rate", &value)) rate = value;
        stack.Pop();
      }
    }
  }
  stack.CloseAll();
  return static_cast<int>(rate);
}

int GetAccountAtom(const std::string& account) {
  int atom = 6;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (CreateAccountKey(&stack, account)) {
    uint32_t value = 0;
    if (stack.QueryDword("Atom", &value)) {
      // An account's own value, even an invalid one, hides the Default key's:
      // the account is then billed as its preferences dialog shows it.
      atom = AtomOrDefault(value);
    } else {
      stack.Pop();
      if (stack.OpenChild("Default") && stack.QueryDword("Atom", &value)) {
        atom = AtomOrDefault(value);
      }
    }
  }
  stack.CloseAll();
  return atom;
}

RoundMode GetAccountRound(const std::string& account) {
  std::string text = "Nearest";
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (CreateAccountKey(&stack, account)) {
    if (!stack.QueryString("Round", &text, kShortText)) {
      text = "Nearest";
      stack.Pop();
      if (stack.OpenChild("Default")) stack.QueryString("Round", &text, kShortText);
    }
  }
  stack.CloseAll();
  return RoundFromText(text);
}

void LoadAccountDefaults(AccountDefaults* defaults) {
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (!stack.CreatePath(kAcctsKeyPath)) return;
  *defaults = AccountDefaults();
  if (stack.OpenChild("Default")) {
    stack.QueryString("Period", &defaults->period, kShortText);
    uint32_t value = 0;
    if (stack.QueryDword("Atom", &value)) defaults->atom = AtomOrDefault(value);
    stack.QueryString("Round", &defaults->round, kShortText);
    stack.QueryString("StartDay", &defaults->startDay, kShortText);
    if (stack.QueryDword("StartDate1", &value)) defaults->startDate1 = static_cast<int>(value);
    if (stack.QueryDword("StartDate2", &value)) defaults->startDate2 = static_cast<int>(value);
  }
  stack.CloseAll();
}

PeriodKind GetAccountPeriod(const std::string& account, const AccountDefaults& defaults) {
  PeriodKind kind = PeriodKind::All;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (CreateAccountKey(&stack, account)) {
    std::string text;
    if (!stack.QueryString("Period", &text, kShortText)) text = defaults.period;
    kind = PeriodFromText(text);
  }
  stack.CloseAll();
  return kind;
}

int GetAccountStartDay(const std::string& account, const AccountDefaults& defaults) {
  int day = 0;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (CreateAccountKey(&stack, account)) {
    std::string text;
    if (!stack.QueryString("StartDay", &text, kShortText)) text = defaults.startDay;
    day = DayFromText(text);
  }
  stack.CloseAll();
  return day;
}

namespace {

int GetAccountStartDate(const std::string& account, const char* name, int fallback) {
  int date = 1;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (CreateAccountKey(&stack, account)) {
    uint32_t value = 0;
    // Stored numbers are passed on unchecked; the period arithmetic
    // normalises whatever day it is given.
    date = stack.QueryDword(name, &value) ? static_cast<int>(value) : fallback;
  }
  stack.CloseAll();
  return date;
}

}  // namespace

int GetAccountStartDate1(const std::string& account, const AccountDefaults& defaults) {
  return GetAccountStartDate(account, "StartDate1", defaults.startDate1);
}

int GetAccountStartDate2(const std::string& account, const AccountDefaults& defaults) {
  return GetAccountStartDate(account, "StartDate2", defaults.startDate2);
}

PeriodKind PeriodFromText(const std::string& text) {
  for (size_t i = 0; i < kPeriodTexts.size(); ++i) {
    if (text == kPeriodTexts[i]) return static_cast<PeriodKind>(i);
  }
  return PeriodKind::All;
}

const char* PeriodText(PeriodKind kind) {
  const auto index = static_cast<size_t>(kind);
  return index < kPeriodTexts.size() ? kPeriodTexts[index] : kPeriodTexts[0];
}

RoundMode RoundFromText(const std::string& text) {
  if (text == "Up") return RoundMode::Up;
  if (text == "Down") return RoundMode::Down;
  return RoundMode::Nearest;
}

const char* RoundText(RoundMode mode) {
  switch (mode) {
    case RoundMode::Up: return "Up";
    case RoundMode::Down: return "Down";
    default: return "Nearest";
  }
}

int DayFromText(const std::string& text) {
  for (size_t i = 0; i < kDayTexts.size(); ++i) {
    if (text == kDayTexts[i]) return static_cast<int>(i);
  }
  return 0;
}

const char* DayText(int day) {
  return day >= 0 && day < static_cast<int>(kDayTexts.size()) ? kDayTexts[day] : kDayTexts[0];
}

StoreFolders ReadStoreFolders() {
  StoreFolders folders;
  RegistryKeyStack keys;
  // Without the Setup key nothing is read: the key below it would answer instead.
  if (keys.OpenPath(kSetupKeyPath)) {
    std::string value;
    if (keys.QueryString("DataPath", &value, 0)) folders.dataPath = value;
    if (keys.QueryString("ExecPath", &value, 0)) folders.execPath = value;
  }
  keys.CloseAll();
  return folders;
}

std::string ReadSetupString(const std::string& name) {
  std::string text;
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (!stack.OpenPath(kSetupKeyPath) || !stack.QueryString(name, &text, 0)) text.clear();
  stack.CloseAll();
  return text;
}
