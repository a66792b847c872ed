// The account preferences window on the offscreen platform: its controls,
// the enabling of the start controls, and the wiring of OK, Cancel and the
// "Make Default" buttons.
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

namespace {

template <typename T>
T* Control(QWidget& dialog, const char* id) {
  T* control = dialog.findChild<T*>(id);
  EXPECT_NE(control, nullptr) << id;
  return control;
}

void Put(const std::string& key, const std::string& name, const std::string& text) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAcctsKeyPath + key));
  ASSERT_TRUE(stack.SetString(name, text));
}

void Put(const std::string& key, const std::string& name, uint32_t value) {
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath(kAcctsKeyPath + key));
  ASSERT_TRUE(stack.SetDword(name, value));
}

std::string Text(const std::string& key, const std::string& name) {
  RegistryKeyStack stack;
  std::string text = "(missing)";
  if (stack.OpenPath(kAcctsKeyPath + key)) stack.QueryString(name, &text, 0);
  return text;
}

int64_t Number(const std::string& key, const std::string& name) {
  RegistryKeyStack stack;
  uint32_t value = 0;
  return stack.OpenPath(kAcctsKeyPath + key) && stack.QueryDword(name, &value) ? int64_t{value}
                                                                               : -1;
}

void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

}  // namespace

TEST(AccountPrefsDialog, ShowsTheStoredValuesInNumberedControls) {
  TestEnvironment env;
  Put("Acme", "Period", "Half Month");
  Put("Acme", "StartDay", "friday");
  Put("Acme", "StartDate1", 20);
  Put("Acme", "StartDate2", 20);
  Put("Acme", "Atom", 15);
  Put("Acme", "Round", "Up");
  Put("Acme", "Address2", "Acme road");
  AccountPrefsDialog dialog("Acme");
  EXPECT_EQ(dialog.windowTitle(), "Account Preferences");
  for (const char* id : {"1007", "1008", "1009", "1010", "1011", "1019", "1020", "1021"}) {
    Control<QRadioButton>(dialog, id);
  }
  for (const char* id : {"1058", "1059", "1", "2", "9"}) Control<QPushButton>(dialog, id);
  EXPECT_TRUE(Control<QRadioButton>(dialog, "1010")->isChecked());
  EXPECT_TRUE(Control<QRadioButton>(dialog, "1021")->isChecked());
  EXPECT_EQ(Control<QComboBox>(dialog, "1013")->currentText(), "Friday");
  EXPECT_EQ(Control<QSpinBox>(dialog, "1014")->value(), 15);  // clamped to 1..15
  EXPECT_EQ(Control<QLineEdit>(dialog, "1015")->text(), "15");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1016")->text(), "20");
  EXPECT_EQ(Control<QListWidget>(dialog, "1018")->count(), 12);
  EXPECT_EQ(Control<QListWidget>(dialog, "1018")->currentItem()->text(), "15 Min (1/4 Hr)");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1028")->text(), "Acme road");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1027")->maxLength(), 63);
  EXPECT_EQ(Control<QLineEdit>(dialog, "1031")->text(), "Acme");
  EXPECT_TRUE(Control<QLineEdit>(dialog, "1031")->isReadOnly());
}

TEST(AccountPrefsDialog, PeriodRadiosEnableTheStartControlsAndWidenTheRange) {
  TestEnvironment env;
  AccountPrefsDialog dialog("Acme");
  auto* day = Control<QComboBox>(dialog, "1013");
  auto* date1 = Control<QSpinBox>(dialog, "1014");
  auto* date2 = Control<QSpinBox>(dialog, "1017");
  EXPECT_EQ(day->currentText(), "Monday");
  EXPECT_EQ(date2->minimum(), 16);
  EXPECT_EQ(date2->maximum(), 31);
  struct Row {
    const char* radio;
    bool day, date1, date2;
    int date1Max;
  };
  const Row rows[] = {{"1007", false, false, false, 15}, {"1008", true, false, false, 15},
                      {"1009", true, false, false, 15},  {"1010", false, true, true, 15},
                      {"1011", false, true, false, 31},  {"1010", false, true, true, 31},
                      {"1007", false, false, false, 31}};
  EXPECT_TRUE(Control<QRadioButton>(dialog, "1007")->isChecked());
  for (const Row& row : rows) {
    Control<QRadioButton>(dialog, row.radio)->click();
    EXPECT_EQ(day->isEnabled(), row.day) << row.radio;
    EXPECT_EQ(date1->isEnabled(), row.date1) << row.radio;
    EXPECT_EQ(Control<QLineEdit>(dialog, "1015")->isEnabled(), row.date1) << row.radio;
    EXPECT_EQ(date2->isEnabled(), row.date2) << row.radio;
    EXPECT_EQ(Control<QLineEdit>(dialog, "1016")->isEnabled(), row.date2) << row.radio;
    EXPECT_EQ(date1->maximum(), row.date1Max) << row.radio;
  }
}

TEST(AccountPrefsDialog, OkWritesTheControlsAndCancelOnlyKeepsMakeDefault) {
  TestEnvironment env;
  Put("Acme", "Address3", "old line");
  {
    AccountPrefsDialog dialog("Acme");
    Control<QRadioButton>(dialog, "1010")->click();
    Control<QSpinBox>(dialog, "1017")->setValue(20);
    auto* date2 = Control<QLineEdit>(dialog, "1016");
    date2->selectAll();
    Type(date2, "5");  // below the range: clamped to 16, neither 5 nor the 20 before
    Control<QListWidget>(dialog, "1018")->setCurrentRow(0);
    Control<QPushButton>(dialog, "1058")->click();
    Control<QPushButton>(dialog, "2")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(Text("Default", "Period"), "Half Month");
  EXPECT_EQ(Number("Default", "StartDate2"), 16);
  EXPECT_EQ(Number("Default", "Atom"), -1);
  EXPECT_EQ(Text("Acme", "Period"), "(missing)");

  AccountPrefsDialog dialog("Acme");
  Control<QRadioButton>(dialog, "1008")->click();
  Control<QComboBox>(dialog, "1013")->setCurrentIndex(5);
  Control<QListWidget>(dialog, "1018")->setCurrentRow(11);
  Control<QRadioButton>(dialog, "1019")->click();
  Control<QPushButton>(dialog, "1059")->click();
  EXPECT_EQ(Number("Default", "Atom"), 60);
  EXPECT_EQ(Text("Default", "Round"), "Down");
  EXPECT_EQ(Text("Default", "Period"), "Half Month");
  Control<QLineEdit>(dialog, "1027")->setText("Acme Ltd");
  Control<QLineEdit>(dialog, "1029")->clear();
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Text("Acme", "Period"), "One Week");
  EXPECT_EQ(Text("Acme", "StartDay"), "Friday");
  EXPECT_EQ(Number("Acme", "Atom"), 60);
  EXPECT_EQ(Text("Acme", "Round"), "Down");
  EXPECT_EQ(Number("Acme", "StartDate1"), 1);
  EXPECT_EQ(Number("Acme", "StartDate2"), 16);
  EXPECT_EQ(Text("Acme", "Address1"), "Acme Ltd");
  EXPECT_EQ(Text("Acme", "Address3"), "(missing)");
}
