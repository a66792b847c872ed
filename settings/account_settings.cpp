// The per-account lookups of the settings registry and their fallback chains.
#include "settings/account_settings.h"

#include <algorithm>
#include <array>
#include <set>

#include "settings/registry_key_stack.h"

namespace {

// The readers' buffers of the short texts (period, day and round texts).
constexpr size_t kShortText = 32;
// The documents' buffers: the Windows currency symbol held 4 bytes with the
// zero, the company's address lines 256 and the client's 64.
constexpr size_t kCurrencyCapacity = 4;
constexpr size_t kCompanyAddressCapacity = 256;
constexpr size_t kClientAddressCapacity = 64;

constexpr std::array<const char*, 4> kAddressValues = {"Address1", "Address2", "Address3",
                                                       "Address4"};

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

namespace {

// The rates of items in one walk: an item's Rate, else the account's "All"
// Rate, else DefaultRate, else 0; all 0 without the Setup key.
std::vector<int> AccountRates(const std::string& account, const std::vector<std::string>& items) {
  std::vector<int> rates(items.size(), 0);
  RegistryKeyStack stack(kHkeyCurrentUser);
  if (stack.OpenPath(kSetupKeyPath)) {
    uint32_t shared = 0;
    uint32_t value = 0;
    if (stack.QueryDword("DefaultRate", &value)) shared = value;
    stack.Pop();
    const bool accountKey = stack.CreateChild("Accts") && stack.CreateChild(account);
    if (accountKey && stack.CreateChild("All")) {
      if (stack.QueryDword("Rate", &value)) shared = value;
      stack.Pop();
    }
    for (size_t i = 0; i < items.size(); ++i) {
      uint32_t rate = shared;
      if (accountKey && !items[i].empty() && stack.CreateChild(items[i])) {
        if (stack.QueryDword("Rate", &value)) rate = value;
        stack.Pop();
      }
      rates[i] = static_cast<int>(rate);
    }
  }
  stack.CloseAll();
  return rates;
}

}  // namespace

int GetAccountRate(const std::string& account, const std::string& item) {
  return AccountRates(account, {item})[0];
}

AccountBilling ReadAccountBilling(const std::string& account, const std::vector<std::string>& items,
                                  const AccountDefaults* periodDefaults) {
  AccountBilling billing;
  billing.increment = GetAccountAtom(account);
  billing.mode = GetAccountRound(account);
  ReadItemRates(account, items, &billing);
  if (periodDefaults != nullptr) {
    billing.period.kind = GetAccountPeriod(account, *periodDefaults);
    billing.period.startDay = GetAccountStartDay(account, *periodDefaults);
    billing.period.startDate1 = GetAccountStartDate1(account, *periodDefaults);
    billing.period.startDate2 = GetAccountStartDate2(account, *periodDefaults);
  }
  return billing;
}

void ReadItemRates(const std::string& account, const std::vector<std::string>& items,
                   AccountBilling* billing) {
  std::vector<std::string> missing;
  std::set<std::string> listed;
  for (const std::string& item : items) {
    if (!billing->rates.count(item) && listed.insert(item).second) missing.push_back(item);
  }
  if (missing.empty()) return;
  const std::vector<int> rates = AccountRates(account, missing);
  for (size_t i = 0; i < missing.size(); ++i) billing->rates[missing[i]] = rates[i];
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

DocumentSetup ReadDocumentSetup() {
  DocumentSetup setup;
  RegistryKeyStack keys;
  setup.found = keys.OpenPath(kSetupKeyPath);
  if (setup.found) {
    if (!keys.QueryString("ReportPath", &setup.reportPath, 0)) setup.reportPath.clear();
    std::string symbol;
    if (keys.QueryString("CurrencySymbol", &symbol, kCurrencyCapacity))
      setup.currencySymbol = symbol;
    for (const char* name : kAddressValues) {
      std::string line;
      if (!keys.QueryString(name, &line, kCompanyAddressCapacity)) line.clear();
      setup.address.push_back(line);
    }
  }
  keys.CloseAll();
  return setup;
}

std::vector<std::string> ReadClientAddress(const std::string& account) {
  std::vector<std::string> lines;
  RegistryKeyStack keys;
  const bool opened = keys.CreatePath(kAcctsKeyPath) && keys.CreateChild(account);
  for (const char* name : kAddressValues) {
    std::string line;
    if (opened && keys.QueryString(name, &line, kClientAddressCapacity) && !line.empty()) {
      lines.push_back(line);
    }
  }
  keys.CloseAll();
  return lines;
}
