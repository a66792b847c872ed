// The setup dialog's reads and writes of the Setup key.
#include "settings/setup_model.h"

#include <gtest/gtest.h>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

std::optional<std::string> SetupString(const std::string& name) {
  RegistryKeyStack stack;
  std::string text;
  if (!stack.OpenPath(kSetupKeyPath) || !stack.QueryString(name, &text, 0)) return std::nullopt;
  return text;
}

std::optional<uint32_t> SetupDword(const std::string& name) {
  RegistryKeyStack stack;
  uint32_t value = 0;
  if (!stack.OpenPath(kSetupKeyPath) || !stack.QueryDword(name, &value)) return std::nullopt;
  return value;
}

void Put(const std::string& name, const std::string& text) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kSetupKeyPath));
  ASSERT_TRUE(stack.SetString(name, text));
}

}  // namespace

TEST(SetupModel, ReadsStoredValuesAndKeepsDefaultsForMissingOrOversizedOnes) {
  TestEnvironment env;
  {
    const SetupValues& shown = SetupModel().initial();
    EXPECT_EQ(shown.addresses, (std::array<std::string, 4>{}));
    EXPECT_EQ(shown.editorPath, "");
    EXPECT_EQ(shown.defaultRate, "");
    EXPECT_EQ(shown.currencySymbol, "$");
  }
  Put("Address1", "Brackwell Ltd");
  Put("Address2", std::string(63, 'x'));
  Put("Address3", std::string(64, 'y'));  // longer than the edit holds
  Put("EditorPath", "/usr/bin/abiword");
  Put("CurrencySymbol", "USD");
  RegistryKeyStack stack;
  stack.CreatePath(kSetupKeyPath);
  stack.SetDword("DefaultRate", 4550);
  stack.CloseAll();
  SetupValues shown = SetupModel().initial();
  EXPECT_EQ(shown.addresses,
            (std::array<std::string, 4>{"Brackwell Ltd", std::string(63, 'x'), "", ""}));
  EXPECT_EQ(shown.editorPath, "/usr/bin/abiword");
  EXPECT_EQ(shown.defaultRate, "45.50");
  EXPECT_EQ(shown.currencySymbol, "USD");
  Put("CurrencySymbol", "EURO");
  EXPECT_EQ(SetupModel().initial().currencySymbol, "$");
}

TEST(SetupModel, WritesEveryAddressLineAndTheSplitDefaultRate) {
  TestEnvironment env;
  Put("Address3", "old line");
  SetupValues values;
  values.addresses = {"Brackwell Ltd", "", "", std::string(70, 'z')};
  values.editorPath = "/usr/bin/libreoffice";
  values.currencySymbol = "EURO";
  for (const auto& [typed, rate] : std::vector<std::pair<const char*, uint32_t>>{
           {"45", 4500}, {"45.5", 4550}, {"45.50", 4550}, {"45.567", 4556}, {"", 0}}) {
    values.defaultRate = typed;
    ASSERT_TRUE(SetupModel().Save(values));
    EXPECT_EQ(SetupDword("DefaultRate"), rate) << typed;
  }
  EXPECT_EQ(SetupString("Address1"), "Brackwell Ltd");
  EXPECT_EQ(SetupString("Address2"), "");  // written empty, not deleted
  EXPECT_EQ(SetupString("Address3"), "");
  EXPECT_EQ(SetupString("Address4"), std::string(63, 'z'));
  EXPECT_EQ(SetupString("EditorPath"), "/usr/bin/libreoffice");
  EXPECT_EQ(SetupString("CurrencySymbol"), "EUR");

  values.defaultRate = "21474836.48";
  values.editorPath = "/never/written";
  EXPECT_FALSE(SetupModel().Save(values));
  EXPECT_EQ(SetupDword("DefaultRate"), 0u);
  EXPECT_EQ(SetupString("EditorPath"), "/usr/bin/libreoffice");
}

TEST(SetupModel, CurrencyEditsMayShortenALongSymbolButNotGrowPastOne) {
  EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit("$", ""));
  EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit("", "€"));
  EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit("USD", "UD"));
  EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit("USD", "U"));
  EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit("USD", "£"));  // all selected and retyped
  EXPECT_FALSE(SetupModel::AcceptsCurrencyEdit("$", "$x"));
  EXPECT_FALSE(SetupModel::AcceptsCurrencyEdit("USD", "USDx"));
  EXPECT_FALSE(SetupModel::AcceptsCurrencyEdit("USD", "UxD"));  // same length, replaced
  EXPECT_FALSE(SetupModel::AcceptsCurrencyEdit("USD", "xD"));   // "US" replaced by "x"
}
