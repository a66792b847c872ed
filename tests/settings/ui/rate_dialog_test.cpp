// The rate window on the offscreen platform: caption, the filter with its
// caret, and what OK and Cancel store.
#include "settings/ui/rate_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "settings/account_settings.h"
#include "settings/rate_dialog_model.h"
#include "settings/ui/setup_dialog.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

void Type(QLineEdit* edit, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
}

}  // namespace

TEST(RateDialog, FilterKeepsTheCaretWhereTheTypingWas) {
  TestEnvironment env;
  RateDialog dialog("Acme", "Design");
  EXPECT_EQ(dialog.windowTitle(), "Acme/Design Rate");
  auto* rate = dialog.findChild<QLineEdit*>("1023");
  ASSERT_NE(rate, nullptr);
  rate->setText("12a.5");  // as a paste arrives
  EXPECT_EQ(rate->text(), "12.5");
  EXPECT_EQ(rate->cursorPosition(), 2);
  rate->setCursorPosition(1);
  Type(rate, "x");
  EXPECT_EQ(rate->cursorPosition(), 1);
  rate->end(false);
  Type(rate, "6.7");  // a second point and a third decimal are refused
  EXPECT_EQ(rate->text(), "12.56");
  rate->setCursorPosition(3);
  Type(rate, "9");
  EXPECT_EQ(rate->text(), "12.95");
  EXPECT_EQ(rate->cursorPosition(), 5);
}

TEST(RateDialog, OkStoresTheRateRefusesOneTooLargeAndCancelStoresNothing) {
  TestEnvironment env;
  RateDialog dialog("Acme", "All");
  EXPECT_EQ(dialog.windowTitle(), "Acme Rate");
  dialog.show();
  auto* rate = dialog.findChild<QLineEdit*>("1023");
  rate->setText("30000000");
  QString caption;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      caption = box->windowTitle();
      box->accept();
    }
  });
  answer.start(10);
  dialog.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(caption, "Horalog");
  EXPECT_TRUE(dialog.isVisible());
  rate->setText("7.05");
  dialog.findChild<QPushButton*>("2")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(RateDialog("Acme", "All").findChild<QLineEdit*>("1023")->text(), "");

  RateDialog again("Acme", "All");
  again.findChild<QLineEdit*>("1023")->setText("7.05");
  again.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(again.result(), QDialog::Accepted);
  EXPECT_EQ(RateDialog("Acme", "All").findChild<QLineEdit*>("1023")->text(), "7.05");
}

// The stored rate is selected when the dialog opens, so typing replaces it;
// with the caret at its end, "50" typed over "45.00" was filtered away and
// OK kept 45.00. The setup dialog's first edit opens selected as well.
TEST(RateDialog, TypingOverTheOpenedRateReplacesIt) {
  TestEnvironment env;
  ASSERT_TRUE(RateDialogModel("Acme", "All").Save("45"));
  RateDialog dialog("Acme", "All");
  dialog.show();
  QApplication::processEvents();
  auto* rate = dialog.findChild<QLineEdit*>("1023");
  EXPECT_EQ(dialog.focusWidget(), rate);
  EXPECT_EQ(rate->selectedText(), "45.00");
  Type(rate, "50");
  EXPECT_EQ(rate->text(), "50");
  dialog.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(GetAccountRate("Acme", "Design"), 0);  // no Setup key: every rate is 0
  EXPECT_EQ(RateDialogModel("Acme", "All").initialText(), "50.00");

  WriteSetupString("Address1", "Kestrel & Rune");
  SetupDialog setup;
  setup.show();
  QApplication::processEvents();
  auto* address = setup.findChild<QLineEdit*>("1033");
  EXPECT_EQ(setup.focusWidget(), address);
  EXPECT_EQ(address->selectedText(), "Kestrel & Rune");
}
