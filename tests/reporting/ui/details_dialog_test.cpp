// The details window on the offscreen platform: the texts in their numbered
// controls, the times list, and Close.
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

TEST(DetailsDialog, ShowsTheRecordAndClosesWithClose) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket");
  env.Run(path, {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Design"),
                 InsertTimeRecordStatement(5, PackDate(2003, 3, 15), 1, 10, "One\nTwo"),
                 InsertSpanStatement(5, 50400, 30), InsertSpanStatement(5, 33340, 95)});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket");
  store.Load();
  EXPECT_FALSE(DetailsDialog::ShowRecord(nullptr, store, 6, "Acme"));

  QStringList shown;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<DetailsDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* notes = dialog->findChild<QPlainTextEdit*>("1052");
    shown << dialog->windowTitle() << dialog->findChild<QLabel*>("1048")->text()
          << dialog->findChild<QLabel*>("1049")->text() << notes->toPlainText()
          << (notes->isReadOnly() ? "read-only" : "editable");
    auto* times = dialog->findChild<QListWidget*>("1051");
    for (int row = 0; row < times->count(); ++row) shown << times->item(row)->text();
    dialog->findChild<QPushButton*>("1")->click();
  });
  look.start(10);
  EXPECT_TRUE(DetailsDialog::ShowRecord(nullptr, store, 5, "Acme"));
  EXPECT_EQ(shown, (QStringList{"Details", "Saturday, March 15, 2003", "Acme/Design", "One\nTwo",
                                "read-only", "9:15 AM-10:50 AM (1:35)", "2:00 PM-2:30 PM (0:30)"}));
}
