// The report dialog on the offscreen platform, over a real docked handheld.
#include "documents/ui/report_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include "device/emulated_handheld.h"
#include "documents/document_fixture.h"
#include "reporting/ui/reporting_dialog.h"

using namespace document_test;

namespace {

template <typename T>
T* Control(QWidget& window, const char* id) {
  T* control = window.findChild<T*>(id);
  EXPECT_NE(control, nullptr) << id;
  return control;
}

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

void Choose(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

std::string SetupText(const std::string& name) {
  RegistryKeyStack keys;
  std::string text;
  keys.OpenPath(kSetupKeyPath);
  keys.QueryString(name, &text, 0);
  keys.CloseAll();
  return text;
}

}  // namespace

TEST(ReportDialog, ControlsFollowThePeriodKindAndCloseSavesWhileEscapeDoesNot) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  ReportDialog dialog("Pocket_PC", handheld);
  EXPECT_EQ(dialog.windowTitle(), "Report Recorded Time");
  auto* month = Control<QRadioButton>(dialog, "1011");
  auto* weeks = Control<QRadioButton>(dialog, "1009");
  auto* day = Control<QComboBox>(dialog, "1013");
  auto* date1 = Control<QSpinBox>(dialog, "1015");
  auto* date2 = Control<QSpinBox>(dialog, "1016");
  auto* ranges = Control<QComboBox>(dialog, "1003");
  auto* box = Control<QCheckBox>(dialog, "1061");
  EXPECT_TRUE(month->isChecked());
  EXPECT_FALSE(day->isEnabled());
  EXPECT_EQ(day->currentText(), "Monday");
  EXPECT_EQ(day->count(), 7);
  EXPECT_TRUE(date1->isEnabled());
  EXPECT_EQ(date1->value(), 1);
  EXPECT_EQ(date1->maximum(), 31);
  EXPECT_FALSE(date2->isEnabled());
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(Items(ranges),
            (QStringList{"2/1/03 - 2/28/03", "3/1/03 - 3/31/03", "4/1/03 - 4/30/03"}));
  EXPECT_EQ(Control<QLineEdit>(dialog, "1004")->text(), "1:00");  // February

  Choose(ranges, "3/1/03 - 3/31/03");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1004")->text(), "6:18");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1024")->text(), "270.00");

  weeks->click();
  EXPECT_TRUE(weeks->isChecked());
  EXPECT_FALSE(month->isChecked());
  EXPECT_TRUE(day->isEnabled());
  EXPECT_FALSE(date1->isEnabled());
  EXPECT_EQ(Items(ranges).front(), "2/17/03 - 3/2/03");

  // Typing a start date rebuilds the list at once.
  month->click();
  date1->setValue(20);
  EXPECT_EQ(Items(ranges).front(), "2/20/03 - 3/19/03");
  EXPECT_TRUE(Control<QPushButton>(dialog, "1065")->isEnabled());

  // Escape keeps the saved setting; Close saves the controls.
  dialog.reject();
  EXPECT_EQ(SetupText("ReportPeriod"), "");
  Control<QRadioButton>(dialog, "1010")->click();
  EXPECT_EQ(date1->value(), 15);
  EXPECT_TRUE(date2->isEnabled());
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(SetupText("ReportPeriod"), "Half Month");
}

TEST(ReportDialog, CreateFromTheMainWindowMarksAndUpdatesTheHandheldButNotTheWindowsList) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  window.StartUp();
  auto* accounts = Control<QComboBox>(window, "1001");
  Choose(accounts, QString::fromStdString(DocumentFixture::kObrien));
  auto* list = Control<QTableView>(window, "1000");
  ASSERT_EQ(list->model()->rowCount(), 6);

  // Once the report dialog is up: March, the box, Create, Close.
  QString title;
  bool stayedOpen = false;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<ReportDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    Choose(Control<QComboBox>(*dialog, "1003"), "3/1/03 - 3/31/03");
    Control<QCheckBox>(*dialog, "1061")->setChecked(true);
    Control<QPushButton>(*dialog, "1065")->click();  // runs the update-only synchronization
    stayedOpen = dialog->isVisible();
    Control<QPushButton>(*dialog, "1")->click();
  });
  Control<QPushButton>(window, "1064")->click();
  EXPECT_EQ(title, "Report Recorded Time");
  EXPECT_TRUE(stayedOpen);

  EXPECT_EQ(FilesIn(env.reportPath()), std::vector<std::string>{"Report030315.rtf"});
  EXPECT_EQ(env.editor.WaitForArguments(), env.reportPath() + "//Report030315.rtf\n");
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 2, 6, 3, 4, 5, 7, 8, 9, 10}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{11, 12, 13}));
  // The window refreshes from its own store, which the report did not
  // change: its rows still show as billable until the store is reloaded.
  ASSERT_EQ(list->model()->rowCount(), 6);
  EXPECT_EQ(list->model()->index(0, 0).data().toString(), "X");
  EXPECT_TRUE(env.ui.messages.empty());
}
