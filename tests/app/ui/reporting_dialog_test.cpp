// The main window on the offscreen platform, over a real docked handheld.
#include "app/ui/reporting_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "emulator/emulated_handheld.h"
#include "settings/registry_key_stack.h"
#include "support/handheld_fixture.h"
#include "support/ui/controls.h"

namespace {

QString Cell(QTableView* list, int row, int column) {
  return list->model()->index(row, column).data().toString();
}

// Answers the next modal dialog that opens: accept or reject it.
void AnswerNextDialog(bool accept) {
  QTimer::singleShot(50, [accept] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      accept ? dialog->accept() : dialog->reject();
    }
  });
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(env.image.PutAccount(1, u"Acme").ok());
    ASSERT_TRUE(env.image.PutItem(10, 1, u"Design").ok());
    ASSERT_TRUE(env.image.PutItem(11, 1, u"Admin").ok());
    ASSERT_TRUE(env.image.PutRecord(100, PackDate(2002, 3, 6), 1, 10, u"first").ok());
    ASSERT_TRUE(env.image.PutRecord(101, PackDate(2002, 3, 12), 1, 11, u"second").ok());
    ASSERT_TRUE(env.image.AddSpan(100, 3600, 12).ok());
    ASSERT_TRUE(env.image.AddSpan(101, 7200, 18).ok());
    env.CreateStore("Another");
  }
  HandheldFixture env;
};

}  // namespace

TEST_F(MainWindowTest, StartUpSynchronizesAndShowsTheHandheld) {
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  EXPECT_EQ(window.windowTitle(), "Horalog Reporting");
  window.StartUp();
  auto* devices = Control<QComboBox>(window, "1040");
  EXPECT_EQ(devices->count(), 2);
  EXPECT_EQ(devices->currentText(), "Pocket_PC");  // the one just synchronized
  EXPECT_EQ(Control<QComboBox>(window, "1001")->currentText(), "Acme");
  auto* items = Control<QComboBox>(window, "1002");
  EXPECT_EQ(items->itemText(0), "Admin");
  EXPECT_EQ(items->itemText(1), "All");

  auto* list = Control<QTableView>(window, "1000");
  const char* headings[] = {"Inc", "Item", "Date", "Time", "Rate", "Extension", "Inv Date"};
  const int widths[] = {30, 160, 72, 48, 60, 80, 72};
  for (int column = 0; column < 7; ++column) {
    EXPECT_EQ(list->model()->headerData(column, Qt::Horizontal).toString(), headings[column]);
    EXPECT_EQ(list->columnWidth(column), widths[column]);
  }
  EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                Qt::AlignHCenter,
            Qt::AlignHCenter);
  EXPECT_EQ(list->model()->index(0, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
            Qt::AlignRight);

  // Admin alone, then All.
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(Cell(list, 0, 1), "Admin");
  items->setCurrentIndex(1);
  emit items->activated(1);
  ASSERT_EQ(list->model()->rowCount(), 2);
  EXPECT_EQ(Control<QLineEdit>(window, "1004")->text(), "0.5");

  // A double click takes a row out of the totals.
  emit list->doubleClicked(list->model()->index(0, 0));
  EXPECT_EQ(Cell(list, 0, 0), "");
  EXPECT_EQ(Control<QLineEdit>(window, "1004")->text(), "0.3");

  // Details follows the selection.
  auto* details = Control<QPushButton>(window, "1046");
  EXPECT_FALSE(details->isEnabled());
  list->setCurrentIndex(list->model()->index(1, 0));
  EXPECT_TRUE(details->isEnabled());

  // The document buttons are tested with the documents.
  // A handheld without accounts: nothing to edit, no totals.
  EXPECT_TRUE(Control<QPushButton>(window, "1006")->isEnabled());
  devices->setCurrentIndex(0);  // Another
  emit devices->activated(0);
  EXPECT_FALSE(Control<QPushButton>(window, "1006")->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(window, "1022")->isEnabled());
  AnswerNextDialog(false);
  window.OnSetup();
  EXPECT_EQ(Control<QLineEdit>(window, "1004")->text(), "");
  EXPECT_EQ(Control<QLineEdit>(window, "1024")->text(), "");

  for (const char* id :
       {"1045", "1003", "1023", "1024", "1", "9", "1032", "1006", "1022", "1026", "1025", "1064"}) {
    EXPECT_NE(window.findChild<QWidget*>(id), nullptr) << id;
  }
}

TEST_F(MainWindowTest, RateDialogOkAndCancelBothRefresh) {
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  window.StartUp();
  auto* items = Control<QComboBox>(window, "1002");
  items->setCurrentIndex(1);
  emit items->activated(1);
  auto* rate = Control<QLineEdit>(window, "1023");
  EXPECT_EQ(rate->text(), "0.00");

  // Another program changes the rate while the dialog is open; Cancel keeps
  // the field, yet the rows show the new rate.
  RegistryKeyStack keys;
  keys.CreatePath(kAcctsKeyPath);
  keys.CreatePath("Acme\\All");
  keys.SetDword("Rate", 4500);
  keys.CloseAll();
  AnswerNextDialog(false);
  window.OnRate();
  EXPECT_EQ(rate->text(), "0.00");
  auto* list = Control<QTableView>(window, "1000");
  EXPECT_EQ(Cell(list, 0, 4), "45.00");
  AnswerNextDialog(true);
  window.OnRate();
  EXPECT_EQ(rate->text(), "45.00");
}

// Tab leaves the record list for the next control and Shift+Tab for the one
// before; the arrow keys move within it. Details is enabled exactly while a
// row is highlighted and opens that row; a refresh keeps it highlighted.
TEST_F(MainWindowTest, KeyboardAndDetailsFollowTheHighlightedRow) {
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  window.StartUp();
  auto* items = Control<QComboBox>(window, "1002");
  items->setCurrentIndex(1);  // All: two rows
  emit items->activated(1);
  window.show();
  QApplication::setActiveWindow(&window);
  auto* list = Control<QTableView>(window, "1000");
  auto* details = Control<QPushButton>(window, "1046");
  const auto press = [](QWidget* target, int key, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
  };

  list->setFocus();
  QApplication::processEvents();
  // The list's first row became current on the focus, yet nothing is
  // highlighted: Details stays off.
  EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
  EXPECT_FALSE(details->isEnabled());
  press(list, Qt::Key_Down);
  ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 1);
  EXPECT_TRUE(details->isEnabled());
  EXPECT_EQ(window.model().selectedRow(), 1);

  // Space and Enter include or exclude the highlighted row as a double-click
  // does, totals and all, and leave the window open.
  for (auto [key, modifiers] : {std::pair{Qt::Key_Space, Qt::NoModifier},
                                {Qt::Key_Return, Qt::NoModifier},
                                {Qt::Key_Enter, Qt::KeypadModifier}}) {
    const QString mark = Cell(list, 1, 0), total = Control<QLineEdit>(window, "1004")->text();
    press(list, key, modifiers);
    EXPECT_NE(Cell(list, 1, 0), mark) << key;
    EXPECT_NE(Control<QLineEdit>(window, "1004")->text(), total) << key;
    EXPECT_TRUE(window.isVisible()) << key;
    ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 1);
  }

  press(list, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), list);
  list->setFocus();
  press(list, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_NE(QApplication::focusWidget(), list);

  // Rate dialog cancelled: the list is refreshed, the record stays highlighted.
  const int32_t id = window.model().rows()[1].id;
  AnswerNextDialog(false);
  window.OnRate();
  ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 1);
  EXPECT_EQ(window.model().rows()[static_cast<size_t>(window.model().selectedRow())].id, id);
  EXPECT_TRUE(details->isEnabled());
  // Admin's rows hold it (now first); Design's do not: nothing is
  // highlighted, Details is off.
  items->setCurrentIndex(0);
  emit items->activated(0);
  ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 0);
  items->setCurrentIndex(2);
  emit items->activated(2);
  EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
  EXPECT_FALSE(details->isEnabled());
  // With nothing highlighted Enter in the list does nothing; elsewhere it
  // presses the default button, Close.
  press(list, Qt::Key_Return);
  EXPECT_TRUE(window.isVisible());
  press(Control<QCheckBox>(window, "1045"), Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
}
