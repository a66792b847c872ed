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
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

template <typename T>
T* Control(QWidget& dialog, const char* id) {
  T* control = dialog.findChild<T*>(id);
  EXPECT_NE(control, nullptr) << id;
  return control;
}

void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

int64_t StoredRate(const std::string& item) {
  RegistryKeyStack stack;
  uint32_t rate = 0;
  const std::string key = std::string(kAcctsKeyPath) + "Acme\\" + item;
  return stack.OpenPath(key) && stack.QueryDword("Rate", &rate) ? int64_t{rate} : -1;
}

}  // namespace

TEST(RateDialog, CaptionAndTheFilterKeepingTheCaretWhereTheTypingWas) {
  TestEnvironment env;
  {
    RegistryKeyStack stack;
    stack.CreatePath(std::string(kAcctsKeyPath) + "Acme\\All");
    stack.SetDword("Rate", 4500);
  }
  RateDialog all("Acme", "All");
  EXPECT_EQ(all.windowTitle(), "Acme Rate");
  EXPECT_EQ(Control<QLineEdit>(all, "1023")->text(), "45.00");
  RateDialog dialog("Acme", "Design");
  EXPECT_EQ(dialog.windowTitle(), "Acme/Design Rate");
  auto* rate = Control<QLineEdit>(dialog, "1023");
  EXPECT_EQ(rate->text(), "");

  rate->setText("12a.5");  // as a paste arrives
  EXPECT_EQ(rate->text(), "12.5");
  EXPECT_EQ(rate->cursorPosition(), 2);
  rate->setCursorPosition(1);
  Type(rate, "x");
  EXPECT_EQ(rate->text(), "12.5");
  EXPECT_EQ(rate->cursorPosition(), 1);
  rate->end(false);
  Type(rate, "6.7");  // a third decimal and a second point are refused
  EXPECT_EQ(rate->text(), "12.56");
  EXPECT_EQ(rate->cursorPosition(), 5);
  rate->setCursorPosition(3);
  Type(rate, "9");
  EXPECT_EQ(rate->text(), "12.95");
  EXPECT_EQ(rate->cursorPosition(), 5);
}

TEST(RateDialog, OkStoresTheRateAndRefusesOneTooLarge) {
  TestEnvironment env;
  RateDialog dialog("Acme", "Design");
  dialog.show();
  auto* rate = Control<QLineEdit>(dialog, "1023");
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
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(caption, "Horalog");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(StoredRate("Design"), -1);

  rate->setText(".75");
  Control<QPushButton>(dialog, "2")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(StoredRate("Design"), -1);

  RateDialog again("Acme", "Design");
  Control<QLineEdit>(again, "1023")->setText("7.05");
  Control<QPushButton>(again, "1")->click();
  EXPECT_EQ(again.result(), QDialog::Accepted);
  EXPECT_EQ(StoredRate("Design"), 705);
}
