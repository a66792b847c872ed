// The rate filters, the typed-rate conversion and the rate dialog's registry
// reads and writes.
#include "settings/rate_dialog_model.h"

#include <gtest/gtest.h>

#include "billing/rate_text.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

TEST(RateFilters, DeleteWhatCannotBeARateAndPlaceTheCaret) {
  struct Row {
    const char* typed;
    const char* rate;  // FilterRateText, with its caret
    size_t caret;
    const char* defaultRate;  // FilterDefaultRateText
  };
  const Row rows[] = {
      {"12a.5", "12.5", 2, "12.5"},
      {"10.5.", "10.5", 4, "10.5"},
      {"45.5.6", "45.56", 4, "45.56"},
      {"12.3456", "12.34", 5, "12.3456"},
      {"€5", "5", 0, "5"},
      {"7$.x05", "7.05", 1, "7.05"},
  };
  for (const Row& row : rows) {
    const FilteredRateText rate = FilterRateText(row.typed);
    EXPECT_TRUE(rate.changed && rate.text == row.rate && rate.caret == row.caret) << row.typed;
    EXPECT_EQ(FilterDefaultRateText(row.typed).text, row.defaultRate) << row.typed;
  }
  for (const char* clean : {"", "12.50", ".75", "12."}) EXPECT_FALSE(FilterRateText(clean).changed);
}

TEST(ParseRateText, HundredthsWithExtraDigitsDroppedAndOverflowRefused) {
  const std::pair<const char*, int32_t> rows[] = {
      {"12.5", 1250},  {"12", 1200},     {".75", 75},
      {"7.05", 705},   {"", 0},          {"45.567", 4556},
      {"10.5.", 1050}, {"45.5.6", 4556}, {"21474836.47", INT32_MAX},
  };
  for (const auto& [text, rate] : rows) EXPECT_EQ(ParseRateText(text), rate) << text;
  for (const char* tooLarge : {"21474836.48", "99999999999999999999999.99"}) {
    EXPECT_EQ(ParseRateText(tooLarge), std::nullopt) << tooLarge;
  }
}

TEST(RateDialogModel, ShowsOnlyTheItemsOwnRateAndStoresWhatWasTyped) {
  TestEnvironment env;
  for (const auto& [path, name, value] :
       {std::tuple{std::string(kSetupKeyPath), "DefaultRate", 3000},
        std::tuple{std::string(kAcctsKeyPath) + "Acme\\All", "Rate", 4500}}) {
    RegistryKeyStack stack;
    ASSERT_TRUE(stack.CreatePath(path) && stack.SetDword(name, value));
  }
  EXPECT_EQ(RateDialogModel("Acme", "All").Caption(), "Acme Rate");
  EXPECT_EQ(RateDialogModel("Acme", "All").initialText(), "45.00");

  const RateDialogModel design("Acme", "Design");
  EXPECT_EQ(design.Caption(), "Acme/Design Rate");
  EXPECT_EQ(design.initialText(), "");  // the inherited 45.00 is not the item's own
  EXPECT_TRUE(design.Save(""));
  EXPECT_EQ(GetAccountRate("Acme", "Design"), 0);  // a stored 0 wins over "All"
  EXPECT_EQ(RateDialogModel("Acme", "Design").initialText(), "0.00");
  EXPECT_TRUE(design.Save("12.5"));
  EXPECT_FALSE(design.Save("30000000"));
  EXPECT_EQ(GetAccountRate("Acme", "Design"), 1250);
  EXPECT_EQ(GetAccountRate("Acme", "Other"), 4500);
}
