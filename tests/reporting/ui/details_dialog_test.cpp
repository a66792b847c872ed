// The details window on the offscreen platform: the texts in their numbered
// controls and the times list in start order.
#include "reporting/ui/details_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "store/statements.h"
#include "support/store_fixture.h"

TEST(DetailsDialog, ShowsTheSelectedRecordAndClosesWithClose) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket");
  env.Run(path, {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Design"),
                 InsertTimeRecordStatement(5, PackDate(2003, 3, 15), 1, 10, "Line one\nLine two"),
                 InsertSpanStatement(5, 50400, 30), InsertSpanStatement(5, 33340, 95)});
  RecordStore store;
  store.SetDeviceName("Pocket");
  store.Load();
  EXPECT_FALSE(DetailsDialog::ShowRecord(nullptr, store, 6, "Acme"));

  QString date, accountItem, notes;
  QStringList times;
  bool notesReadOnly = false;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<DetailsDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    EXPECT_EQ(dialog->windowTitle(), "Details");
    date = dialog->findChild<QLabel*>("1048")->text();
    accountItem = dialog->findChild<QLabel*>("1049")->text();
    notes = dialog->findChild<QPlainTextEdit*>("1052")->toPlainText();
    notesReadOnly = dialog->findChild<QPlainTextEdit*>("1052")->isReadOnly();
    auto* list = dialog->findChild<QListWidget*>("1051");
    for (int row = 0; row < list->count(); ++row) times << list->item(row)->text();
    EXPECT_NE(dialog->findChild<QPushButton*>("9"), nullptr);
    dialog->findChild<QPushButton*>("1")->click();
  });
  look.start(10);
  EXPECT_TRUE(DetailsDialog::ShowRecord(nullptr, store, 5, "Acme"));
  EXPECT_EQ(date, "Saturday, March 15, 2003");
  EXPECT_EQ(accountItem, "Acme/Design");
  EXPECT_EQ(notes, "Line one\nLine two");
  EXPECT_TRUE(notesReadOnly);
  EXPECT_EQ(times, (QStringList{"9:15 AM-10:50 AM (1:35)", "2:00 PM-2:30 PM (0:30)"}));
}
