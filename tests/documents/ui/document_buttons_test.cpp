// The main window's Invoice and Report buttons on the offscreen platform,
// over a real docked handheld.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "device/emulated_handheld.h"
#include "documents/document_fixture.h"
#include "reporting/ui/reporting_dialog.h"

using namespace document_test;

namespace {

template <typename T>
T* Control(QWidget& window, const char* id) {
  T* control = window.findChild<T*>(id);
  EXPECT_NE(control, nullptr) << id;
  return control;
}

void ChooseAccount(ReportingDialog& window, const std::string& account) {
  auto* accounts = Control<QComboBox>(window, "1001");
  const int index = accounts->findText(QString::fromStdString(account));
  ASSERT_GE(index, 0);
  accounts->setCurrentIndex(index);
  emit accounts->activated(index);
}

}  // namespace

TEST(DocumentButtons, InvoiceBillsTheMarkedRowsAndUpdatesTheHandheld) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  window.StartUp();
  ChooseAccount(window, DocumentFixture::kObrien);
  auto* list = Control<QTableView>(window, "1000");
  ASSERT_EQ(list->model()->rowCount(), 6);
  // The April record is left out of this invoice.
  emit list->doubleClicked(list->model()->index(5, 0));

  auto* invoice = Control<QPushButton>(window, "1025");
  ASSERT_TRUE(invoice->isEnabled());
  invoice->click();  // returns once the update-only synchronization closed itself

  const std::vector<std::string> files = FilesIn(env.reportPath());
  ASSERT_EQ(files, std::vector<std::string>{"HLRepO`Brien_&_{Sons}031503.rtf"});
  EXPECT_EQ(env.editor.WaitForArguments(), env.reportPath() + "//" + files[0] + "\n");
  // The billed records are gone from the handheld and from the list.
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{6, 7, 8, 9, 10, 11, 12, 13}));
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->index(0, 2).data().toString(), "4/1/03");
  EXPECT_TRUE(env.ui.messages.empty());
}
