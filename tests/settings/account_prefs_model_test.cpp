// The account preferences: where they are read from, the enabling table and
// ranges, and what OK and the two "Make Default" buttons write.
#include "settings/account_prefs_model.h"

#include <gtest/gtest.h>

#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

const std::string kAccts = kAcctsKeyPath;

void PutString(const std::string& key, const std::string& name, const std::string& text) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAccts + key));
  ASSERT_TRUE(stack.SetString(name, text));
}

void PutDword(const std::string& key, const std::string& name, uint32_t value) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAccts + key));
  ASSERT_TRUE(stack.SetDword(name, value));
}

// A value of an Accts key as text ("#n" for a DWORD).
std::string Value(const std::string& key, const std::string& name) {
  RegistryKeyStack stack;
  if (!stack.OpenPath(kAccts + key)) return "no key";
  if (name == "Atom" || name.starts_with("StartDate")) {
    uint32_t value = 0;
    return stack.QueryDword(name, &value) ? "#" + std::to_string(value) : "(missing)";
  }
  std::string text;
  return stack.QueryString(name, &text, 0) ? text : "(missing)";
}

}  // namespace

TEST(AccountPrefsModel, ReadsTheAccountKeyElseTheDefaultKeyElseBuiltIns) {
  TestEnvironment env;
  const AccountPrefs builtIn = AccountPrefsModel("New Co").prefs();
  EXPECT_EQ(builtIn.period, PeriodKind::All);
  EXPECT_EQ(builtIn.incrementPosition, 5);
  EXPECT_EQ(builtIn.round, RoundMode::Nearest);
  EXPECT_EQ(builtIn.startDay, "Monday");
  EXPECT_EQ(builtIn.startDate1, 1);
  EXPECT_EQ(builtIn.startDate2, 16);
  EXPECT_EQ(Value("New Co", "Period"), "no key");  // reading never creates the account

  PutString("Default", "Period", "Two Weeks");
  PutString("Default", "StartDay", "FRIDAY");
  PutDword("Default", "Atom", 15);
  PutString("Default", "Round", "Up");
  PutString("Default", "Address1", "Default street");
  const AccountPrefs fromDefault = AccountPrefsModel("New Co").prefs();
  EXPECT_EQ(fromDefault.period, PeriodKind::TwoWeeks);
  EXPECT_EQ(fromDefault.startDay, "Friday");
  EXPECT_EQ(fromDefault.incrementPosition, 8);
  EXPECT_EQ(fromDefault.round, RoundMode::Up);
  EXPECT_EQ(fromDefault.addresses[0], "Default street");

  // An account key, even one holding only some values, hides the Default key.
  PutDword("Acme", "Atom", 7);  // none of the twelve
  PutString("Acme", "Round", "up");
  PutString("Acme", "Period", std::string(32, 'x'));  // too long to be read
  PutString("Acme", "Address3", "Acme road");
  const AccountPrefs acme = AccountPrefsModel("Acme").prefs();
  EXPECT_EQ(acme.period, PeriodKind::All);
  EXPECT_EQ(acme.incrementPosition, 5);
  EXPECT_EQ(acme.round, RoundMode::Nearest);
  EXPECT_EQ(acme.startDay, "Monday");
  EXPECT_EQ(acme.addresses, (std::array<std::string, 4>{"", "", "Acme road", ""}));
}

TEST(AccountPrefsModel, EnablingTableAndClampedStartDates) {
  TestEnvironment env;
  using P = PeriodKind;
  EXPECT_EQ(AccountPrefsModel::EnablingFor(P::All), (StartEnabling{false, false, false}));
  EXPECT_EQ(AccountPrefsModel::EnablingFor(P::OneWeek), (StartEnabling{true, false, false}));
  EXPECT_EQ(AccountPrefsModel::EnablingFor(P::TwoWeeks), (StartEnabling{true, false, false}));
  EXPECT_EQ(AccountPrefsModel::EnablingFor(P::HalfMonth), (StartEnabling{false, true, true}));
  EXPECT_EQ(AccountPrefsModel::EnablingFor(P::OneMonth), (StartEnabling{false, true, false}));

  PutString("Half", "Period", "Half Month");
  PutDword("Half", "StartDate1", 20);
  PutDword("Half", "StartDate2", 0);
  AccountPrefsModel half("Half");
  EXPECT_EQ(half.date1Max(), 15);
  EXPECT_EQ(half.prefs().startDate1, 15);
  EXPECT_EQ(half.prefs().startDate2, 16);
  half.SetStartDate2(40);
  EXPECT_EQ(half.prefs().startDate2, 31);
  half.SelectPeriod(P::OneMonth);
  half.SetStartDate1(25);
  EXPECT_EQ(half.prefs().startDate1, 25);
  half.SelectPeriod(P::HalfMonth);  // the wider range stays
  EXPECT_EQ(half.date1Max(), 31);

  PutString("Month", "Period", "One Month");
  PutDword("Month", "StartDate1", 25);
  EXPECT_EQ(AccountPrefsModel("Month").prefs().startDate1, 25);
}

TEST(AccountPrefsModel, OkWritesTheAccountAndMakeDefaultOnlyItsGroup) {
  TestEnvironment env;
  PutString("Acme", "Address3", "old line");
  PutDword("Acme", "Atom", 7);
  AccountPrefsModel acme("Acme");
  acme.SelectPeriod(PeriodKind::HalfMonth);
  acme.SetStartDate1(1);
  acme.SetStartDate2(16);
  acme.SelectStartDay("Tuesday");
  acme.SelectRound(RoundMode::Down);
  acme.SetAddress(0, "Acme Ltd");
  acme.SetAddress(2, "");
  acme.SaveDurationDefaults();
  EXPECT_EQ(Value("Default", "Period"), "Half Month");
  EXPECT_EQ(Value("Default", "StartDay"), "Tuesday");
  EXPECT_EQ(Value("Default", "StartDate2"), "#16");
  EXPECT_EQ(Value("Default", "Atom"), "(missing)");
  EXPECT_EQ(Value("Acme", "Period"), "(missing)");  // the account waits for OK

  acme.SaveRoundingDefaults();
  EXPECT_EQ(Value("Default", "Atom"), "#6");
  EXPECT_EQ(Value("Default", "Round"), "Down");
  EXPECT_EQ(Value("Default", "Address1"), "(missing)");

  acme.Save();
  const std::pair<const char*, const char*> written[] = {
      {"Period", "Half Month"}, {"Atom", "#6"},           {"Round", "Down"},
      {"StartDay", "Tuesday"},  {"StartDate1", "#1"},     {"StartDate2", "#16"},
      {"Address1", "Acme Ltd"}, {"Address3", "(missing)"}};
  for (const auto& [name, value] : written) EXPECT_EQ(Value("Acme", name), value) << name;

  AccountPrefsModel fresh("Brand New");
  fresh.SelectIncrement(-1);
  fresh.Save();
  EXPECT_EQ(Value("Brand New", "Atom"), "#6");
  EXPECT_EQ(Value("Brand New", "Period"), "Half Month");  // shown from the Default key
}
