// The maintenance window on the offscreen platform, over real stores.
#include "maint/ui/maintenance_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/ui/qt_ui_services.h"
#include "store/statements.h"
#include "support/store_fixture.h"

namespace {

std::vector<std::string> Entries(const QListWidget* list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
  return texts;
}

// Clicks button of the next message box, after noting how it asked.
void AnswerNextMessageBox(QMessageBox::StandardButton button, QString* asked) {
  QTimer::singleShot(50, [button, asked] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      *asked = QString("%1|%2|%3|%4|%5")
                   .arg(box->windowTitle())
                   .arg(box->icon())
                   .arg(box->standardButtons())
                   .arg(box->defaultButton() ? box->standardButton(box->defaultButton()) : 0)
                   .arg(box->text());
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
  EXPECT_EQ(window.windowTitle(), "Horalog Database Maintenance");
  auto* devices = window.findChild<QComboBox*>("1000");
  auto* accounts = window.findChild<QListWidget*>("1001");
  auto* status = window.findChild<QListWidget*>("1006");
  ASSERT_TRUE(devices && accounts && status);
  for (const char* id : {"1002", "1003", "1004", "1005", "2", "9"}) {
    auto* button = window.findChild<QPushButton*>(id);
    ASSERT_NE(button, nullptr) << id;
    // Archive never works; the account's Delete waits for an account.
    const bool off =
        std::string(id) == "1002" || std::string(id) == "1003" || std::string(id) == "1005";
    EXPECT_EQ(button->isEnabled(), !off) << id;
    EXPECT_TRUE(window.rect().contains(button->geometry())) << id;
  }
  EXPECT_EQ(devices->count(), 2);
  EXPECT_EQ(devices->currentText(), "Alpha");
  EXPECT_EQ(accounts->count(), 0);

  devices->setCurrentIndex(1);
  emit devices->activated(1);
  EXPECT_EQ(Entries(accounts), (std::vector<std::string>{"Acme", "Bolt"}));
  EXPECT_EQ(Entries(status), std::vector<std::string>{"Date Records = 0"});
  accounts->setCurrentRow(1);
  EXPECT_EQ(Entries(status), (std::vector<std::string>{"Date Records = 1", "Invoiced = 0"}));
  EXPECT_TRUE(window.findChild<QPushButton*>("1005")->isEnabled());

  // The question as the user sees it; No keeps the account, Yes deletes it.
  QtUiServices qt;
  SetUi(&qt);
  const QString expected = QString("Delete Warning|%1|%2|%3|%4")
                               .arg(QMessageBox::Warning)
                               .arg(QMessageBox::Yes | QMessageBox::No)
                               .arg(QMessageBox::No)  // the default: Enter keeps the data
                               .arg(kDeleteAccountQuestion);
  for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    QString asked;
    AnswerNextMessageBox(answer, &asked);
    window.findChild<QPushButton*>("1005")->click();
    EXPECT_EQ(asked.toStdString(), expected.toStdString());
  }
  SetUi(&env.ui);
  EXPECT_EQ(Entries(accounts), std::vector<std::string>{"Acme"});
  EXPECT_EQ(Entries(status), std::vector<std::string>{"Date Records = 0"});

  // Deleting both handhelds empties all three lists.
  env.ui.answer = MessageAnswer::Yes;
  window.findChild<QPushButton*>("1004")->click();
  EXPECT_EQ(devices->currentText(), "Alpha");
  window.findChild<QPushButton*>("1004")->click();
  EXPECT_EQ(devices->count() + accounts->count() + status->count(), 0);
  EXPECT_FALSE(window.findChild<QPushButton*>("1004")->isEnabled());
}
