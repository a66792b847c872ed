// The account preferences window on the offscreen platform: its numbered
// controls, the enabling of the start controls, and the wiring of OK, Cancel
// and the "Make Default" buttons.
#include "settings/ui/account_prefs_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "settings/registry_key_stack.h"
#include "support/test_env.h"
#include "support/ui/controls.h"

namespace {

void Put(const std::string& name, const std::string& text) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(std::string(kAcctsKeyPath) + "Acme") && stack.SetString(name, text));
}

// A value of an Accts key as text; DWORDs as numbers.
std::string Value(const std::string& key, const std::string& name) {
  RegistryKeyStack stack;
  std::string text = "(missing)";
  uint32_t value = 0;
  if (!stack.OpenPath(kAcctsKeyPath + key)) return text;
  if (name == "Atom" || name.starts_with("StartDate")) {
    return stack.QueryDword(name, &value) ? std::to_string(value) : text;
  }
  stack.QueryString(name, &text, 0);
  return text;
}

}  // namespace

TEST(AccountPrefsDialog, ShowsStoredValuesAndEnablesStartControlsByPeriod) {
  TestEnvironment env;
  Put("Period", "Half Month");
  Put("StartDay", "friday");
  Put("Round", "Up");
  Put("Address2", "Acme road");
  AccountPrefsDialog dialog("Acme");
  EXPECT_EQ(dialog.windowTitle(), "Account Preferences");
  EXPECT_TRUE(Control<QRadioButton>(dialog, "1021")->isChecked());
  EXPECT_EQ(Control<QListWidget>(dialog, "1018")->currentItem()->text(), "6 Min (1/10 Hr)");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1028")->text(), "Acme road");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1031")->text(), "Acme");
  EXPECT_TRUE(Control<QLineEdit>(dialog, "1031")->isReadOnly());
  // Names of 31 characters, capitals the widest, show whole: from the
  // caret's place before the first letter to after the last, the text
  // never scrolls; the buttons stay inside the window.
  for (const char* account :
       {"Acme", "Northwind Traders International", "Wayne-Walsh Wholesale Warehouse",
        "WORLDWIDE MEDICAL SUPPLIES LTD."}) {
    AccountPrefsDialog longName(account);
    auto* field = Control<QLineEdit>(longName, "1031");
    longName.show();
    EXPECT_EQ(field->cursorPosition(), 0);
    const auto caret = [field] { return field->inputMethodQuery(Qt::ImCursorRectangle).toRect(); };
    const int start = caret().left();
    field->end(false);
    EXPECT_NEAR(caret().left() - start, field->fontMetrics().horizontalAdvance(field->text()), 1)
        << account;
    EXPECT_LE(caret().right(), field->contentsRect().right()) << account;
    for (const char* id : {"1", "2", "9"}) {
      EXPECT_TRUE(longName.rect().contains(Control<QPushButton>(longName, id)->geometry())) << id;
    }
  }
  for (const char* id : {"1058", "1059", "1", "2", "9"}) Control<QPushButton>(dialog, id);

  auto* day = Control<QComboBox>(dialog, "1013");
  auto* date1 = Control<QSpinBox>(dialog, "1014");
  auto* date2 = Control<QSpinBox>(dialog, "1017");
  EXPECT_EQ(day->currentText(), "Friday");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1016")->text(), "16");
  EXPECT_EQ(date2->minimum(), 16);
  struct Row {
    const char* radio;
    bool day, date1, date2;
    int date1Max;
  };
  const Row rows[] = {{"1010", false, true, true, 15},  {"1007", false, false, false, 15},
                      {"1008", true, false, false, 15}, {"1009", true, false, false, 15},
                      {"1011", false, true, false, 31}, {"1010", false, true, true, 31}};
  EXPECT_TRUE(Control<QRadioButton>(dialog, "1010")->isChecked());
  for (const Row& row : rows) {
    Control<QRadioButton>(dialog, row.radio)->click();
    EXPECT_EQ(day->isEnabled(), row.day) << row.radio;
    EXPECT_EQ(Control<QLineEdit>(dialog, "1015")->isEnabled(), row.date1) << row.radio;
    EXPECT_EQ(Control<QLineEdit>(dialog, "1016")->isEnabled(), row.date2) << row.radio;
    EXPECT_EQ(date1->maximum(), row.date1Max) << row.radio;
  }
}

TEST(AccountPrefsDialog, OkWritesTheControlsAndCancelOnlyKeepsMakeDefault) {
  TestEnvironment env;
  Put("Address3", "old line");
  {
    AccountPrefsDialog dialog("Acme");
    Control<QRadioButton>(dialog, "1010")->click();
    Control<QSpinBox>(dialog, "1017")->setValue(20);
    auto* date2 = Control<QLineEdit>(dialog, "1016");
    date2->selectAll();
    QKeyEvent five(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, "5");
    QApplication::sendEvent(date2, &five);  // below the range: 16, neither 5 nor 20
    Control<QPushButton>(dialog, "1058")->click();
    Control<QPushButton>(dialog, "2")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(Value("Default", "Period"), "Half Month");
  EXPECT_EQ(Value("Default", "StartDate2"), "16");
  EXPECT_EQ(Value("Acme", "Period"), "(missing)");

  AccountPrefsDialog dialog("Acme");
  Control<QRadioButton>(dialog, "1008")->click();
  Control<QComboBox>(dialog, "1013")->setCurrentIndex(5);
  Control<QListWidget>(dialog, "1018")->setCurrentRow(11);
  Control<QRadioButton>(dialog, "1019")->click();
  Control<QPushButton>(dialog, "1059")->click();
  EXPECT_EQ(Value("Default", "Atom"), "60");
  EXPECT_EQ(Value("Default", "Round"), "Down");
  Control<QLineEdit>(dialog, "1027")->setText("Acme Ltd");
  Control<QLineEdit>(dialog, "1029")->clear();
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const std::pair<const char*, const char*> written[] = {
      {"Period", "One Week"},   {"StartDay", "Friday"},   {"Atom", "60"},
      {"Round", "Down"},        {"StartDate1", "1"},      {"StartDate2", "16"},
      {"Address1", "Acme Ltd"}, {"Address3", "(missing)"}};
  for (const auto& [name, value] : written) EXPECT_EQ(Value("Acme", name), value) << name;
}
