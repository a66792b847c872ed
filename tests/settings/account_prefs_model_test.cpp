// The account preferences: where they are read from, the enabling table and
// ranges, and what OK and the two "Make Default" buttons write.
#include "settings/account_prefs_model.h"

#include <gtest/gtest.h>

#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

void Put(const std::string& key, const std::string& name, const std::string& text) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAcctsKeyPath + key) && stack.SetString(name, text));
}

void Put(const std::string& key, const std::string& name, uint32_t value) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAcctsKeyPath + key) && stack.SetDword(name, value));
}

// A value of an Accts key as text: "#n" for a DWORD, "(missing)" when absent.
std::string Value(const std::string& key, const std::string& name) {
  return RegistryValueText(kAcctsKeyPath + key, name,
                           name == "Atom" || name.starts_with("StartDate"), "no key");
}

}  // namespace

TEST(AccountPrefsModel, ReadsTheAccountKeyElseTheDefaultKeyElseBuiltIns) {
  TestEnvironment env;
  const AccountPrefs builtIn = AccountPrefsModel("New Co").prefs();
  EXPECT_EQ(builtIn.period, PeriodKind::All);
  EXPECT_EQ(builtIn.incrementPosition, 5);
  EXPECT_EQ(builtIn.round, RoundMode::Nearest);
  EXPECT_EQ(builtIn.startDay, "Monday");
  EXPECT_EQ(builtIn.startDate2, 16);
  EXPECT_EQ(Value("New Co", "Period"), "no key");  // reading never creates the account

  Put("Default", "Period", "Two Weeks");
  Put("Default", "StartDay", "FRIDAY");
  Put("Default", "Atom", 15);
  Put("Default", "Address1", "Default street");
  const AccountPrefs fromDefault = AccountPrefsModel("New Co").prefs();
  EXPECT_EQ(fromDefault.period, PeriodKind::TwoWeeks);
  EXPECT_EQ(fromDefault.startDay, "Friday");
  EXPECT_EQ(fromDefault.incrementPosition, 8);
  EXPECT_EQ(fromDefault.addresses[0], "Default street");

  // An account key, even one holding only some values, hides the Default key.
  Put("Acme", "Atom", 7);  // none of the twelve
  Put("Acme", "Round", "up");
  Put("Acme", "Period", std::string(32, 'x'));  // too long to be read
  const AccountPrefs acme = AccountPrefsModel("Acme").prefs();
  EXPECT_EQ(acme.period, PeriodKind::All);
  EXPECT_EQ(acme.incrementPosition, 5);
  EXPECT_EQ(acme.round, RoundMode::Nearest);
  EXPECT_EQ(acme.addresses[0], "");
}

TEST(AccountPrefsModel, StartDatesClampedToTheRangeOfThePeriod) {
  TestEnvironment env;
  Put("Half", "Period", "Half Month");
  Put("Half", "StartDate1", 20);
  Put("Half", "StartDate2", 0);
  AccountPrefsModel half("Half");
  EXPECT_EQ(half.prefs().startDate1, 15);
  EXPECT_EQ(half.prefs().startDate2, 16);
  half.SelectPeriod(PeriodKind::OneMonth);
  half.SelectPeriod(PeriodKind::HalfMonth);  // the wider range stays
  half.SetStartDate1(25);
  EXPECT_EQ(half.prefs().startDate1, 25);
  Put("Month", "Period", "One Month");
  Put("Month", "StartDate1", 25);
  EXPECT_EQ(AccountPrefsModel("Month").prefs().startDate1, 25);
}

TEST(AccountPrefsModel, OkWritesTheAccountAndMakeDefaultOnlyItsGroup) {
  TestEnvironment env;
  Put("Acme", "Address3", "old line");
  Put("Acme", "Atom", 7);
  AccountPrefsModel acme("Acme");
  acme.SelectPeriod(PeriodKind::HalfMonth);
  acme.SelectStartDay("Tuesday");
  acme.SelectRound(RoundMode::Down);
  acme.SetAddress(0, "Acme Ltd");
  acme.SetAddress(2, "");
  acme.SaveDurationDefaults();
  EXPECT_EQ(Value("Default", "StartDay"), "Tuesday");
  EXPECT_EQ(Value("Default", "Atom"), "(missing)");  // only the Duration group
  EXPECT_EQ(Value("Acme", "Period"), "(missing)");   // the account waits for OK
  acme.SaveRoundingDefaults();
  EXPECT_EQ(Value("Default", "Address1"), "(missing)");
  acme.Save();
  const std::pair<const char*, const char*> written[] = {
      {"Period", "Half Month"}, {"Atom", "#6"},           {"Round", "Down"},
      {"StartDay", "Tuesday"},  {"StartDate1", "#1"},     {"StartDate2", "#16"},
      {"Address1", "Acme Ltd"}, {"Address3", "(missing)"}};
  for (const auto& [name, value] : written) EXPECT_EQ(Value("Acme", name), value) << name;

  AccountPrefsModel fresh("Brand New");  // shows the Default key's period
  fresh.SelectIncrement(-1);
  fresh.Save();
  EXPECT_EQ(Value("Brand New", "Atom"), "#6");
  EXPECT_EQ(Value("Brand New", "Period"), "Half Month");
}
