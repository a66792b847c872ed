// The setup dialog's reads and writes of the Setup key.
#include "settings/setup_model.h"

#include <gtest/gtest.h>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

// A Setup value as text: "#n" for a DWORD, "(missing)" when absent.
std::string Stored(const std::string& name) {
  return RegistryValueText(kSetupKeyPath, name, name == "DefaultRate" || name == "SavePdf");
}

}  // namespace

TEST(SetupModel, WritesEveryLineAndTheSplitRateAndReadsThemBack) {
  TestEnvironment env;
  EXPECT_EQ(SetupModel().initial().currencySymbol, "$");
  EXPECT_EQ(SetupModel().initial().defaultRate, "");
  EXPECT_TRUE(SetupModel().initial().savePdf);  // on until turned off
  SetupValues values;
  values.addresses = {"Brackwell Ltd", "", "", std::string(70, 'z')};
  values.editorPath = "/usr/bin/libreoffice";
  values.currencySymbol = "EURO";
  for (const auto& [typed, rate] : {std::pair{"45", "#4500"},
                                    {"45.5", "#4550"},
                                    {"45.567", "#4556"},
                                    {"", "#0"},
                                    {"8.", "#800"}}) {
    values.defaultRate = typed;
    ASSERT_TRUE(SetupModel().Save(values));
    EXPECT_EQ(Stored("DefaultRate"), rate) << typed;
  }
  EXPECT_EQ(Stored("Address2"), "");  // written empty, not deleted
  EXPECT_EQ(Stored("CurrencySymbol"), "EUR");
  const SetupValues shown = SetupModel().initial();
  EXPECT_EQ(shown.addresses,
            (std::array<std::string, 4>{"Brackwell Ltd", "", "", std::string(63, 'z')}));
  EXPECT_EQ(shown.editorPath, "/usr/bin/libreoffice");
  EXPECT_EQ(shown.defaultRate, "8.00");
  EXPECT_EQ(shown.currencySymbol, "EUR");
  EXPECT_EQ(Stored("SavePdf"), "#1");
  for (bool savePdf : {false, true, false}) {
    values.savePdf = savePdf;
    ASSERT_TRUE(SetupModel().Save(values));
    EXPECT_EQ(Stored("SavePdf"), savePdf ? "#1" : "#0");
    EXPECT_EQ(SetupModel().initial().savePdf, savePdf);
  }

  values.defaultRate = "21474836.48";
  values.editorPath = "/never/written";
  EXPECT_FALSE(SetupModel().Save(values));
  EXPECT_EQ(Stored("DefaultRate"), "#800");
  EXPECT_EQ(Stored("EditorPath"), "/usr/bin/libreoffice");

  RegistryKeyStack stack;  // too long for the readers' buffers: the defaults show
  stack.CreatePath(kSetupKeyPath);
  stack.SetString("CurrencySymbol", "EURO");
  stack.SetString("Address1", std::string(64, 'y'));
  stack.CloseAll();
  EXPECT_EQ(SetupModel().initial().currencySymbol, "$");
  EXPECT_EQ(SetupModel().initial().addresses[0], "");
}

TEST(SetupModel, CurrencyEditsMayShortenALongSymbolButNotGrowPastOne) {
  for (const auto& [before, after] : {std::pair{"$", ""}, {"", "€"}, {"USD", "UD"}, {"USD", "£"}}) {
    EXPECT_TRUE(SetupModel::AcceptsCurrencyEdit(before, after)) << before << " -> " << after;
  }
  // Typed onto "$", appended, replacing a letter, replacing "US" by one letter.
  for (const auto& [before, after] :
       {std::pair{"$", "$x"}, {"USD", "USDx"}, {"USD", "UxD"}, {"USD", "xD"}}) {
    EXPECT_FALSE(SetupModel::AcceptsCurrencyEdit(before, after)) << before << " -> " << after;
  }
}
