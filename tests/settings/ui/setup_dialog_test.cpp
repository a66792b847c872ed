// The setup window on the offscreen platform: the rate and currency edits,
// the editor chooser, and the wiring of OK and Cancel.
#include "settings/ui/setup_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <fstream>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "support/test_env.h"

namespace {

QLineEdit* Edit(QWidget& dialog, const char* id) { return dialog.findChild<QLineEdit*>(id); }

void Type(QLineEdit* edit, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
}

}  // namespace

TEST(SetupDialog, CurrencyAndRateEditsFilterWhatIsTyped) {
  TestEnvironment env;
  {
    RegistryKeyStack stack;
    stack.CreatePath(kSetupKeyPath);
    stack.SetString("CurrencySymbol", "USD");
    stack.SetDword("DefaultRate", 4500);
  }
  SetupDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Setup");
  EXPECT_EQ(Edit(dialog, "1036")->maxLength(), 63);
  EXPECT_EQ(Edit(dialog, "1037")->maxLength(), 255);
  QLineEdit* currency = Edit(dialog, "1069");
  EXPECT_EQ(currency->text(), "USD");  // longer than can be typed, still shown
  Type(currency, "x");
  EXPECT_EQ(currency->text(), "USD");
  currency->backspace();
  EXPECT_EQ(currency->text(), "US");
  currency->selectAll();
  Type(currency, "€x");
  EXPECT_EQ(currency->text(), "€");

  QLineEdit* rate = Edit(dialog, "1039");
  EXPECT_EQ(rate->text(), "45.00");
  rate->setCursorPosition(2);
  Type(rate, "a");
  EXPECT_EQ(rate->cursorPosition(), 2);
  Type(rate, ".");  // the typed point comes first and stays; the old one goes
  EXPECT_EQ(rate->text(), "45.00");
  EXPECT_EQ(rate->cursorPosition(), 3);
  rate->end(false);
  Type(rate, "567");  // any number of decimals
  EXPECT_EQ(rate->text(), "45.00567");
}

TEST(SetupDialog, OkWritesEveryLineRefusesATooLargeRateAndCancelWritesNothing) {
  TestEnvironment env;
  {
    SetupDialog dialog;
    EXPECT_EQ(Edit(dialog, "1069")->text(), "$");
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("1070")->isChecked());
    EXPECT_EQ(dialog.findChild<QCheckBox*>("1070")->text(), "Also save as PDF");
    dialog.findChild<QCheckBox*>("1070")->setChecked(false);
    Edit(dialog, "1033")->setText("Brackwell Ltd");
    dialog.findChild<QPushButton*>("2")->click();
  }
  EXPECT_EQ(SetupModel().initial().addresses[0], "");
  EXPECT_TRUE(SetupModel().initial().savePdf);

  SetupDialog dialog;
  dialog.show();
  Edit(dialog, "1033")->setText("Brackwell Ltd");
  Edit(dialog, "1039")->setText("99999999");
  int boxes = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes += box->windowTitle() == "Horalog";
      box->accept();
    }
  });
  answer.start(10);
  dialog.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(SetupModel().initial().addresses[0], "");

  Edit(dialog, "1039")->setText("45.567");
  dialog.findChild<QCheckBox*>("1070")->click();
  dialog.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(SetupModel().initial().defaultRate, "45.56");
  EXPECT_EQ(SetupModel().initial().addresses[0], "Brackwell Ltd");
  EXPECT_FALSE(SetupModel().initial().savePdf);
  EXPECT_FALSE(SetupDialog().findChild<QCheckBox*>("1070")->isChecked());
}

TEST(SetupDialog, BrowseStartsAtTheEditorAndTakesTheChosenProgramsPath) {
  TestEnvironment env;
  const std::string program = env.dir.File("my-editor");
  std::ofstream(program) << "#!/bin/sh\n";
  ::chmod(program.c_str(), 0755);
  std::ofstream(env.dir.File("notes.txt")) << "not a program\n";
  SetupDialog dialog;
  QLineEdit* editor = Edit(dialog, "1037");
  editor->setText(QString::fromStdString(env.dir.File("old-editor")));
  QString startFolder;
  QStringList listed;
  QStringList unexpected;  // any other window that came up, with its text
  bool cancel = true;
  int ticks = 0;  // for both choosers together
  int waits = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    // A test must fail, not wait for ever: whatever else is open is noted
    // and closed, and after 20 s the chooser is given up.
    if (chooser == nullptr || ++ticks > 2000) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      unexpected << (box != nullptr ? box->text() : QString(modal->metaObject()->className()));
      if (auto* window = qobject_cast<QDialog*>(modal)) {
        window->reject();
      } else {
        modal->close();
      }
      return;
    }
    // The folder is read in the background: wait for its entries (at most 2 s).
    auto* view = chooser->findChild<QListView*>("listView");
    listed.clear();
    for (int row = 0; view != nullptr && row < view->model()->rowCount(view->rootIndex()); ++row) {
      listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
    }
    if (!listed.contains("my-editor") && ++waits < 200) return;
    waits = 0;
    startFolder = chooser->directory().absolutePath();
    if (!cancel) {
      // Typed into the name box, as a user would: selectFile leaves a box
      // that has the focus alone until the folder has been read.
      chooser->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(program));
    }
    // Answered after this handler returns: a window that Open brings up
    // (such as "File not found") must find the timer free to close it.
    QTimer::singleShot(0, chooser, [chooser, cancel] {
      cancel ? chooser->reject() : static_cast<QDialog*>(chooser)->accept();  // Cancel or Open
    });
  });
  answer.start(10);
  dialog.findChild<QPushButton*>("1038")->click();
  EXPECT_EQ(startFolder.toStdString(), env.dir.path());
  EXPECT_TRUE(listed.contains("my-editor"));
  EXPECT_FALSE(listed.contains("notes.txt"));
  EXPECT_EQ(editor->text().toStdString(), env.dir.File("old-editor"));
  cancel = false;
  dialog.findChild<QPushButton*>("1038")->click();
  EXPECT_EQ(editor->text().toStdString(), program);
  EXPECT_TRUE(unexpected.isEmpty()) << unexpected.join(" | ").toStdString();
}
