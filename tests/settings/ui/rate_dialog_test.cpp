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
