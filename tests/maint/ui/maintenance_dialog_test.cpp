// The maintenance window on the offscreen platform, over real stores; and
// the program itself, started as the desktop starts it.
#include "maint/ui/maintenance_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include "platform/ui/qt_ui_services.h"
#include "store/statements.h"
#include "support/store_fixture.h"

// Texts in failure messages.
void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

QStringList Entries(QWidget& window, const char* id) {
  QStringList texts;
  if (auto* combo = window.findChild<QComboBox*>(id)) {
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  } else if (auto* list = window.findChild<QListWidget*>(id)) {
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  } else {
    ADD_FAILURE() << id;
  }
  return texts;
}

// Answers the next message box with button, after noting how it asked.
void AnswerNextMessageBox(QMessageBox::StandardButton button, QString* asked) {
  QTimer::singleShot(50, [button, asked] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      *asked = box->windowTitle() + "|" + QString::number(box->icon()) + "|" +
               QString::number(box->standardButtons()) + "|" + box->text();
      box->button(button)->click();
    }
  });
}

}  // namespace

TEST(MaintenanceDialog, ShowsTheListsAndAsksBeforeEachDeletion) {
  StoreFixture env;
  env.Run(env.CreateStore("beta"),
          {InsertAccountStatement(1, "Acme"), InsertAccountStatement(2, "Bolt"),
           InsertTimeRecordStatement(5, PackDate(2003, 3, 1), 2, 0, "")});
  env.CreateStore("Alpha");
  MaintenanceDialog window;
  EXPECT_EQ(window.objectName(), "maint");
  EXPECT_EQ(window.windowTitle(), "Horalog Database Maintenance");
  EXPECT_FALSE(window.findChild<QPushButton*>("1002")->isEnabled());
  EXPECT_FALSE(window.findChild<QPushButton*>("1003")->isEnabled());
  for (const char* id : {"1000", "1001", "1002", "1003", "1004", "1005", "1006", "2", "9"}) {
    auto* control = window.findChild<QWidget*>(id);
    ASSERT_NE(control, nullptr) << id;
    EXPECT_TRUE(window.rect().contains(control->geometry())) << id;
  }
  EXPECT_EQ(Entries(window, "1000"), (QStringList{"Alpha", "beta"}));
  EXPECT_TRUE(Entries(window, "1001").isEmpty());

  auto* devices = window.findChild<QComboBox*>("1000");
  devices->setCurrentIndex(1);
  emit devices->activated(1);
  EXPECT_EQ(Entries(window, "1001"), (QStringList{"Acme", "Bolt"}));
  EXPECT_EQ(Entries(window, "1006"), QStringList{"Date Records = 0"});
  window.findChild<QListWidget*>("1001")->setCurrentRow(1);
  EXPECT_EQ(Entries(window, "1006"), (QStringList{"Date Records = 1", "Invoiced = 0"}));

  // The questions as the user sees them; No keeps the account, Yes deletes it.
  QtUiServices qt;
  SetUi(&qt);
  const QString expected = QString("Delete Warning|%1|%2|%3")
                               .arg(QMessageBox::Warning)
                               .arg(QMessageBox::Yes | QMessageBox::No)
                               .arg(kDeleteAccountQuestion);
  for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    QString asked;
    AnswerNextMessageBox(answer, &asked);
    window.findChild<QPushButton*>("1005")->click();
    EXPECT_EQ(asked, expected);
  }
  SetUi(&env.ui);
  EXPECT_EQ(Entries(window, "1001"), QStringList{"Acme"});
  EXPECT_EQ(Entries(window, "1006"), QStringList{"Date Records = 0"});

  // Deleting both handhelds empties all three lists.
  env.ui.answer = MessageAnswer::Yes;
  window.findChild<QPushButton*>("1004")->click();
  EXPECT_EQ(Entries(window, "1000"), QStringList{"Alpha"});
  window.findChild<QPushButton*>("1004")->click();
  for (const char* id : {"1000", "1001", "1006"}) EXPECT_TRUE(Entries(window, id).isEmpty()) << id;
}

TEST(MaintenanceDialog, TheProgramOpensItsWindowWithoutAHandheld) {
  StoreFixture env;
  env.CreateStore("Alpha");
  QProcess kestsweep;
  kestsweep.start(QString(HORALOG_BIN_DIR) + "/kestsweep", {});
  ASSERT_TRUE(kestsweep.waitForStarted());
  // Still running after a second: the window is up and waits for the user.
  EXPECT_FALSE(kestsweep.waitForFinished(1000)) << kestsweep.readAllStandardError().toStdString();
  kestsweep.kill();
  kestsweep.waitForFinished();
}
