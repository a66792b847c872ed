// The setup window on the offscreen platform: its controls, the rate and
// currency edits, the editor chooser, and what OK and Cancel write.
#include "settings/ui/setup_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <fstream>

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

std::string Stored(const std::string& name) {
  RegistryKeyStack stack;
  std::string text = "(missing)";
  uint32_t value = 0;
  if (!stack.OpenPath(kSetupKeyPath)) return text;
  if (name == "DefaultRate") return stack.QueryDword(name, &value) ? std::to_string(value) : text;
  stack.QueryString(name, &text, 0);
  return text;
}

}  // namespace

TEST(SetupDialog, EditsShowStoredValuesAndFilterWhatIsTyped) {
  TestEnvironment env;
  {
    RegistryKeyStack stack;
    stack.CreatePath(kSetupKeyPath);
    stack.SetString("Address2", "Main Street 1");
    stack.SetString("CurrencySymbol", "USD");
    stack.SetDword("DefaultRate", 4500);
  }
  SetupDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Setup");
  for (const char* id : {"1038", "1", "2", "9"}) Control<QPushButton>(dialog, id);
  EXPECT_EQ(Control<QLineEdit>(dialog, "1034")->text(), "Main Street 1");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1033")->maxLength(), 63);
  EXPECT_EQ(Control<QLineEdit>(dialog, "1037")->maxLength(), 255);
  auto* currency = Control<QLineEdit>(dialog, "1069");
  EXPECT_EQ(currency->text(), "USD");  // longer than can be typed, still shown
  Type(currency, "x");
  EXPECT_EQ(currency->text(), "USD");
  currency->backspace();
  EXPECT_EQ(currency->text(), "US");
  currency->selectAll();
  Type(currency, "€");
  Type(currency, "x");
  EXPECT_EQ(currency->text(), "€");

  auto* rate = Control<QLineEdit>(dialog, "1039");
  EXPECT_EQ(rate->text(), "45.00");
  rate->setCursorPosition(2);
  Type(rate, "a");
  EXPECT_EQ(rate->text(), "45.00");
  EXPECT_EQ(rate->cursorPosition(), 2);
  Type(rate, ".");  // the typed point comes first and stays; the old one goes
  EXPECT_EQ(rate->text(), "45.00");
  EXPECT_EQ(rate->cursorPosition(), 3);
  rate->end(false);
  Type(rate, "567");  // any number of decimals may be typed
  EXPECT_EQ(rate->text(), "45.00567");
}

TEST(SetupDialog, OkWritesEveryLineAndCancelNothing) {
  TestEnvironment env;
  {
    SetupDialog dialog;
    EXPECT_EQ(Control<QLineEdit>(dialog, "1069")->text(), "$");
    Control<QLineEdit>(dialog, "1033")->setText("Brackwell Ltd");
    Control<QPushButton>(dialog, "2")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(Stored("Address1"), "(missing)");

  SetupDialog dialog;
  dialog.show();
  Control<QLineEdit>(dialog, "1033")->setText("Brackwell Ltd");
  auto* rate = Control<QLineEdit>(dialog, "1039");
  rate->setText("99999999");
  int boxes = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes += box->windowTitle() == "Horalog";
      box->accept();
    }
  });
  answer.start(10);
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(Stored("Address1"), "(missing)");

  rate->setText("45.567");
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Stored("DefaultRate"), "4556");
  EXPECT_EQ(Stored("Address1"), "Brackwell Ltd");
  for (const char* empty : {"Address2", "Address3", "Address4", "EditorPath"}) {
    EXPECT_EQ(Stored(empty), "") << empty;  // written empty, not left out
  }
  EXPECT_EQ(Stored("CurrencySymbol"), "$");
}

TEST(SetupDialog, BrowseStartsAtTheEditorAndTakesTheChosenProgramsPath) {
  TestEnvironment env;
  const std::string program = env.dir.File("my-editor");
  std::ofstream(program) << "#!/bin/sh\n";
  ::chmod(program.c_str(), 0755);
  SetupDialog dialog;
  auto* editor = Control<QLineEdit>(dialog, "1037");
  editor->setText(QString::fromStdString(env.dir.File("old-editor")));
  QString startFolder;
  bool cancelNext = true;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (chooser == nullptr) return;
    startFolder = chooser->directory().absolutePath();
    if (cancelNext) {
      chooser->reject();
    } else {
      chooser->selectFile(QString::fromStdString(program));
      static_cast<QDialog*>(chooser)->accept();  // as the Open button does
    }
  });
  answer.start(10);
  Control<QPushButton>(dialog, "1038")->click();
  EXPECT_EQ(startFolder.toStdString(), env.dir.path());
  EXPECT_EQ(editor->text().toStdString(), env.dir.File("old-editor"));
  cancelNext = false;
  Control<QPushButton>(dialog, "1038")->click();
  EXPECT_EQ(editor->text().toStdString(), program);
}
