// Tests of the account lookups: fallback chains, the keys each lookup
// creates, and what stored values read as.
#include "settings/account_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "settings/account_prefs_model.h"
#include "settings/rate_dialog_model.h"
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

const std::string kAccts = kAcctsKeyPath;
const std::string kSetup = kSetupKeyPath;

// Whether the key at names exists, named one level at a time.
bool KeyExists(const std::vector<std::string>& names) {
  Registry registry;
  RegistryKey key = 0;
  return registry.OpenKeyPath(kHkeyCurrentUser, names, &key).ok();
}

std::vector<std::string> AcctsNames(std::vector<std::string> below) {
  std::vector<std::string> names = {"SOFTWARE", "Brackwell", "Horalog", "Accts"};
  names.insert(names.end(), below.begin(), below.end());
  return names;
}

// Values are put straight into the registry, not through the key stack under
// test, and at any depth: path is split at "\".
void Put(const std::string& path, const std::string& name, uint32_t type,
         const std::vector<uint8_t>& data) {
  std::vector<std::string> names;
  std::string component;
  for (char c : path + "\\") {
    if (c != '\\') {
      component += c;
    } else if (!component.empty()) {
      names.push_back(component);
      component.clear();
    }
  }
  Registry registry;
  RegistryKey key = 0;
  ASSERT_TRUE(registry.CreateKeyPath(kHkeyCurrentUser, names, &key).ok());
  ASSERT_TRUE(registry.SetValue(key, name, type, data).ok());
}

void PutDword(const std::string& path, const std::string& name, uint32_t value) {
  Put(path, name, kRegDword,
      {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
       static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

void PutString(const std::string& path, const std::string& name, const std::string& value) {
  std::vector<uint8_t> data(value.begin(), value.end());
  data.push_back(0);
  Put(path, name, kRegSz, data);
}

}  // namespace

TEST(AccountLookups, WithNoKeysAtAllGiveTheBuiltInDefaults) {
  TestEnvironment env;
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 0);
  EXPECT_FALSE(KeyExists({"SOFTWARE"}));  // the rate lookup stops at the missing Setup key

  EXPECT_EQ(GetAccountAtom("Atom Co"), 6);
  EXPECT_EQ(GetAccountRound("Round Co"), RoundMode::Nearest);
  AccountDefaults defaults;
  defaults.period = "Changed";
  defaults.atom = 60;
  LoadAccountDefaults(&defaults);
  EXPECT_EQ(defaults.period, "All");
  EXPECT_EQ(defaults.atom, 6);
  EXPECT_EQ(defaults.round, "Nearest");
  EXPECT_EQ(defaults.startDay, "Monday");
  EXPECT_EQ(defaults.startDate1, 1);
  EXPECT_EQ(defaults.startDate2, 16);
  EXPECT_EQ(GetAccountPeriod("Period Co", defaults), PeriodKind::All);
  EXPECT_EQ(GetAccountStartDay("Day Co", defaults), 1);
  EXPECT_EQ(GetAccountStartDate1("Date1 Co", defaults), 1);
  EXPECT_EQ(GetAccountStartDate2("Date2 Co", defaults), 16);

  // Every lookup but the rate leaves its account key behind, and nothing else.
  for (const char* account :
       {"Atom Co", "Round Co", "Period Co", "Day Co", "Date1 Co", "Date2 Co"}) {
    EXPECT_TRUE(KeyExists(AcctsNames({account}))) << account;
  }
  EXPECT_FALSE(KeyExists(AcctsNames({"Acme"})));
  EXPECT_FALSE(KeyExists(AcctsNames({"Default"})));
  EXPECT_FALSE(KeyExists({"SOFTWARE", "Brackwell", "Horalog", "Setup"}));
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 0);
  EXPECT_FALSE(KeyExists(AcctsNames({"Acme"})));
}

TEST(AccountLookups, RateFallsFromItemToAllToDefaultRate) {
  TestEnvironment env;
  PutDword(kAccts + "Acme\\All", "Rate", 2000);
  PutDword(kAccts + "Acme\\Dig", "Rate", 3000);
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 0);  // no Setup key: no rate at all

  PutDword(kSetup, "DefaultRate", 1000);
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 3000);
  EXPECT_EQ(GetAccountRate("acme", "DIG"), 3000);
  EXPECT_EQ(GetAccountRate("Acme", "Haul"), 2000);
  EXPECT_EQ(GetAccountRate("Acme", ""), 2000);
  EXPECT_EQ(GetAccountRate("Acme", "All"), 2000);
  EXPECT_EQ(GetAccountRate("Other", "Dig"), 1000);
  // The lookup leaves the keys it looked in, empty.
  EXPECT_TRUE(KeyExists(AcctsNames({"Acme", "Haul"})));
  EXPECT_TRUE(KeyExists(AcctsNames({"Other", "All"})));
  EXPECT_TRUE(KeyExists(AcctsNames({"Other", "Dig"})));
  // Read at once, each item (once) as its own lookup reads it, its key left too.
  const AccountBilling billing = ReadAccountBilling("Acme", {"Dig", "Haul", "", "Dig", "New"});
  EXPECT_EQ(billing.rates,
            (std::map<std::string, int>{{"", 2000}, {"Dig", 3000}, {"Haul", 2000}, {"New", 2000}}));
  EXPECT_TRUE(KeyExists(AcctsNames({"Acme", "New"})));
  EXPECT_EQ(billing.Rate("Unread"), 0);

  PutDword(kAccts + "Acme\\Dig", "Rate", 0);  // an explicit zero wins
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 0);
  PutDword(kAccts + "Acme\\All", "Rate", 0);
  EXPECT_EQ(GetAccountRate("Acme", "Haul"), 0);
  // A name with "\" addresses nested keys.
  PutDword(kAccts + "Smith\\Jones\\All", "Rate", 4200);
  EXPECT_EQ(GetAccountRate("Smith\\Jones", "x"), 4200);
}

TEST(AccountLookups, AtomAndRoundAskTheDefaultKeyOnEveryCall) {
  TestEnvironment env;
  PutDword(kAccts + "Default", "Atom", 15);
  PutString(kAccts + "Default", "Round", "Up");
  EXPECT_EQ(GetAccountAtom("Acme"), 15);
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Up);
  PutDword(kAccts + "DEFAULT", "Atom", 20);
  PutString(kAccts + "Default", "ROUND", "Down");
  EXPECT_EQ(GetAccountAtom("Acme"), 20);
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Down);
  EXPECT_EQ(GetAccountAtom("Default"), 20);  // the account "Default" is the Default key

  PutDword(kAccts + "Acme", "Atom", 30);
  PutString(kAccts + "Acme", "Round", "Up");
  EXPECT_EQ(GetAccountAtom("Acme"), 30);
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Up);
  // A text that is not exactly one of the three reads as Nearest, and still
  // hides the Default key's; one too long for its buffer does not.
  PutString(kAccts + "Acme", "Round", "up");
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Nearest);
  PutString(kAccts + "Acme", "Round", "Up" + std::string(30, ' '));
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Down);
}

TEST(AccountLookups, AtomOutsideTheTwelveIncrementsReadsAsSix) {
  TestEnvironment env;
  for (int atom : {1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60}) {
    EXPECT_TRUE(IsValidAtom(atom)) << atom;
    PutDword(kAccts + "Acme", "Atom", static_cast<uint32_t>(atom));
    EXPECT_EQ(GetAccountAtom("Acme"), atom);
  }
  PutDword(kAccts + "Default", "Atom", 15);
  for (uint32_t atom : {0u, 7u, 45u, 61u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(atom);
    EXPECT_FALSE(IsValidAtom(atom));
    // The account's own invalid value is 6, not the Default key's 15.
    PutDword(kAccts + "Acme", "Atom", atom);
    EXPECT_EQ(GetAccountAtom("Acme"), 6);
    PutDword(kAccts + "Default", "Atom", atom);
    EXPECT_EQ(GetAccountAtom("Other"), 6);
    AccountDefaults defaults;
    LoadAccountDefaults(&defaults);
    EXPECT_EQ(defaults.atom, 6);
  }
  EXPECT_FALSE(IsValidAtom(int64_t{60} + (int64_t{1} << 32)));
}

TEST(AccountLookups, PeriodGettersUseTheCopyOfTheDefaults) {
  TestEnvironment env;
  PutString(kAccts + "Default", "Period", "Two Weeks");
  PutString(kAccts + "Default", "StartDay", "Friday");
  PutDword(kAccts + "Default", "StartDate1", 5);
  PutDword(kAccts + "Default", "StartDate2", 20);
  PutString(kAccts + "Default", "Round", "Down");
  AccountDefaults defaults;
  LoadAccountDefaults(&defaults);
  EXPECT_EQ(defaults.round, "Down");
  // Changed after the copy was taken: the getters do not see it.
  PutString(kAccts + "Default", "Period", "One Month");
  EXPECT_EQ(GetAccountPeriod("Acme", defaults), PeriodKind::TwoWeeks);
  EXPECT_EQ(GetAccountStartDay("Acme", defaults), 5);
  EXPECT_EQ(GetAccountStartDate1("Acme", defaults), 5);
  EXPECT_EQ(GetAccountStartDate2("Acme", defaults), 20);

  // Stored numbers pass unchecked; unknown texts map to All and Sunday.
  PutString(kAccts + "Acme", "Period", "Half Month");
  PutDword(kAccts + "Acme", "StartDate2", 0);
  PutString(kAccts + "Acme", "StartDay", "monday");
  EXPECT_EQ(GetAccountPeriod("Acme", defaults), PeriodKind::HalfMonth);
  EXPECT_EQ(GetAccountStartDate2("Acme", defaults), 0);
  EXPECT_EQ(GetAccountStartDay("Acme", defaults), 0);
  // Read at once: the same period, and the Default key's mode.
  const AccountBilling billing = ReadAccountBilling("Acme", {}, &defaults);
  const PeriodSetting& period = billing.period;
  EXPECT_EQ(std::make_tuple(period.kind, period.startDay, period.startDate1, period.startDate2),
            std::make_tuple(PeriodKind::HalfMonth, 0, 5, 0));
  EXPECT_EQ(billing.mode, RoundMode::Down);
  EXPECT_EQ(ReadAccountBilling("Acme").period.kind, PeriodKind::All);  // not asked for
  PutString(kAccts + "Acme", "Period", "half month");
  EXPECT_EQ(GetAccountPeriod("Acme", defaults), PeriodKind::All);
}

// Names with one, two and ten backslashes, beside a plain one: each names
// nested keys, and every fallback below Accts works as for the plain name.
class NestedAccountNames : public ::testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Backslashes, NestedAccountNames, ::testing::ValuesIn(kNestedAccountNames));

TEST_P(NestedAccountNames, FallBackToTheDefaultKeyAndTheRateChainLikePlainNames) {
  TestEnvironment env;
  const std::string account = GetParam();
  PutDword(kAccts + "Default", "Atom", 15);
  PutString(kAccts + "Default", "Round", "Up");
  PutString(kAccts + "Default", "Period", "One Week");
  EXPECT_EQ(GetAccountAtom(account), 15);
  EXPECT_EQ(GetAccountRound(account), RoundMode::Up);
  AccountDefaults defaults;
  LoadAccountDefaults(&defaults);
  EXPECT_EQ(GetAccountPeriod(account, defaults), PeriodKind::OneWeek);

  // The account's own values, stored at the nested key, hide the Default key's.
  PutDword(kAccts + account, "Atom", 30);
  PutString(kAccts + account, "Round", "Down");
  PutDword(kAccts + account, "StartDate2", 20);
  EXPECT_EQ(GetAccountAtom(account), 30);
  EXPECT_EQ(GetAccountRound(account), RoundMode::Down);
  EXPECT_EQ(GetAccountStartDate2(account, defaults), 20);

  // Item rate, else All, else DefaultRate; an item name may nest as well.
  PutDword(kSetup, "DefaultRate", 100);
  EXPECT_EQ(GetAccountRate(account, "Design"), 100);
  PutDword(kAccts + account + "\\All", "Rate", 200);
  EXPECT_EQ(GetAccountRate(account, "Design"), 200);
  PutDword(kAccts + account + "\\Design\\Web", "Rate", 300);
  EXPECT_EQ(GetAccountRate(account, "Design\\Web"), 300);
  EXPECT_EQ(GetAccountRate(account, "Design"), 200);
}

TEST_P(NestedAccountNames, PreferenceAndRateDialogsWriteWhereTheLookupsRead) {
  TestEnvironment env;
  const std::string account = GetParam();
  PutDword(kSetup, "DefaultRate", 100);
  PutDword(kAccts + "Default", "Atom", 15);
  AccountPrefsModel prefs(account);
  EXPECT_EQ(prefs.prefs().incrementPosition, 8);  // the Default key's 15 minutes
  prefs.SelectIncrement(10);                      // 30 minutes
  prefs.SelectRound(RoundMode::Down);
  prefs.Save();
  EXPECT_EQ(GetAccountAtom(account), 30);
  EXPECT_EQ(GetAccountRound(account), RoundMode::Down);
  EXPECT_EQ(AccountPrefsModel(account).prefs().incrementPosition, 10);
  EXPECT_EQ(GetAccountAtom("Other"), 15);

  EXPECT_TRUE(RateDialogModel(account, "All").Save("45"));
  EXPECT_TRUE(RateDialogModel(account, "Design").Save("60.5"));
  EXPECT_EQ(GetAccountRate(account, "Design"), 6050);
  EXPECT_EQ(GetAccountRate(account, "Admin"), 4500);
  EXPECT_EQ(RateDialogModel(account, "All").initialText(), "45.00");
}

TEST(AccountLookups, NamesOfSeparatorsOnlyNameNoKey) {
  TestEnvironment env;
  PutDword(kSetup, "DefaultRate", 100);
  // Nothing lands in Accts itself.
  EXPECT_EQ(GetAccountAtom("\\\\"), 6);
  EXPECT_EQ(GetAccountRate("\\", "x"), 100);
  EXPECT_FALSE(KeyExists(AcctsNames({"All"})));
  EXPECT_FALSE(KeyExists(AcctsNames({"x"})));
  AccountDefaults defaults;
  EXPECT_EQ(GetAccountStartDate2("\\", defaults), 1);
}

TEST(AccountLookups, RegistryFileThatIsNotADatabaseGivesDefaults) {
  TestEnvironment env;
  const std::string noise = "not a database, just text that is long enough to look like a header";
  std::ofstream(env.registryPath(), std::ios::binary) << noise;
  EXPECT_EQ(GetAccountRate("Acme", "Dig"), 0);
  EXPECT_EQ(GetAccountAtom("Acme"), 6);
  EXPECT_EQ(GetAccountRound("Acme"), RoundMode::Nearest);
  AccountDefaults defaults;
  defaults.period = "One Week";
  LoadAccountDefaults(&defaults);  // cannot create Accts: the copy stays as it was
  EXPECT_EQ(defaults.period, "One Week");
  EXPECT_EQ(GetAccountPeriod("Acme", defaults), PeriodKind::All);
  EXPECT_EQ(GetAccountStartDate1("Acme", defaults), 1);
  EXPECT_EQ(ReadSetupString("DataPath"), "");
  std::ifstream in(env.registryPath(), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), noise);
}

TEST(ReadSetupString, ReadsSetupValuesWhole) {
  TestEnvironment env;
  EXPECT_EQ(ReadSetupString("DataPath"), "");
  EXPECT_FALSE(KeyExists({"SOFTWARE"}));
  const std::string longPath = "/home/user/" + std::string(600, 'd') + "/";
  PutString(kSetup, "DataPath", longPath);
  EXPECT_EQ(ReadSetupString("datapath"), longPath);
  EXPECT_EQ(ReadSetupString("ExecPath"), "");
}

TEST(SettingsTexts, MapBothWaysAndUnknownTextsToTheFirstCode) {
  const std::vector<std::pair<const char*, PeriodKind>> periods = {
      {"All", PeriodKind::All},
      {"One Week", PeriodKind::OneWeek},
      {"Two Weeks", PeriodKind::TwoWeeks},
      {"Half Month", PeriodKind::HalfMonth},
      {"One Month", PeriodKind::OneMonth}};
  for (const auto& [text, kind] : periods) {
    EXPECT_EQ(PeriodFromText(text), kind);
    EXPECT_STREQ(PeriodText(kind), text);
  }
  const char* days[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                        "Thursday", "Friday", "Saturday"};
  for (int day = 0; day < 7; ++day) {
    EXPECT_EQ(DayFromText(days[day]), day);
    EXPECT_STREQ(DayText(day), days[day]);
  }
  const std::vector<std::pair<const char*, RoundMode>> rounds = {
      {"Nearest", RoundMode::Nearest}, {"Up", RoundMode::Up}, {"Down", RoundMode::Down}};
  for (const auto& [text, mode] : rounds) {
    EXPECT_EQ(RoundFromText(text), mode);
    EXPECT_STREQ(RoundText(mode), text);
  }
  EXPECT_EQ(PeriodFromText("one week"), PeriodKind::All);
  EXPECT_EQ(DayFromText("Mon"), 0);
  EXPECT_EQ(RoundFromText("DOWN"), RoundMode::Nearest);
  EXPECT_STREQ(PeriodText(static_cast<PeriodKind>(9)), "All");
  EXPECT_STREQ(DayText(7), "Sunday");
  EXPECT_STREQ(DayText(-1), "Sunday");
}
