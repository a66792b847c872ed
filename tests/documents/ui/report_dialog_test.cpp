// The report dialog and the main window's document buttons on the offscreen
// platform, over a real docked handheld.
#include "documents/ui/report_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <regex>

#include "app/ui/reporting_dialog.h"
#include "documents/document_fixture.h"
#include "documents/pdf/qt_pdf_renderer.h"
#include "emulator/emulated_handheld.h"
#include "maint/ui/maintenance_dialog.h"
#include "platform/ui/qt_ui_services.h"
#include "reporting/ui/details_dialog.h"
#include "settings/ui/rate_dialog.h"
#include "support/ui/controls.h"
#include "sync/ui/sync_dialog.h"

using namespace document_test;

namespace {

void Choose(QComboBox* combo, const std::string& text) {
  const int index = combo->findText(QString::fromStdString(text));
  ASSERT_GE(index, 0) << text;
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// Starts the main window on the fixture's handheld and lists O`Brien's six rows.
QTableView* ShowObrien(ReportingDialog& window) {
  window.StartUp();
  Choose(Control<QComboBox>(window, "1001"), DocumentFixture::kObrien);
  auto* list = Control<QTableView>(window, "1000");
  EXPECT_EQ(list->model()->rowCount(), 6);
  return list;
}

}  // namespace

TEST(ReportDialog, ControlsFollowThePeriodKindAndOnlyCloseSaves) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  ReportDialog dialog("Pocket_PC", handheld);
  EXPECT_EQ(dialog.windowTitle(), "Report Recorded Time");
  auto* month = Control<QRadioButton>(dialog, "1011");
  auto* day = Control<QComboBox>(dialog, "1013");
  auto* date1 = Control<QSpinBox>(dialog, "1015");
  auto* ranges = Control<QComboBox>(dialog, "1003");
  EXPECT_TRUE(month->isChecked());
  EXPECT_FALSE(day->isEnabled());
  EXPECT_EQ(date1->maximum(), 31);
  EXPECT_FALSE(Control<QSpinBox>(dialog, "1016")->isEnabled());
  EXPECT_EQ(ranges->count(), 3);
  Choose(ranges, "3/1/03 - 3/31/03");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1004")->text(), "6:18");
  EXPECT_EQ(Control<QLineEdit>(dialog, "1024")->text(), "270.00");  // every account counts

  Control<QRadioButton>(dialog, "1009")->click();
  EXPECT_FALSE(month->isChecked());
  EXPECT_TRUE(day->isEnabled());
  EXPECT_FALSE(date1->isEnabled());
  month->click();
  date1->setValue(20);  // typing a start date rebuilds at once
  EXPECT_EQ(ranges->itemText(0), "2/20/03 - 3/19/03");

  dialog.reject();  // Escape
  EXPECT_EQ(ReadSetupString("ReportPeriod"), "");
  Control<QRadioButton>(dialog, "1010")->click();
  EXPECT_EQ(date1->value(), 15);
  Control<QPushButton>(dialog, "1")->click();
  EXPECT_EQ(ReadSetupString("ReportPeriod"), "Half Month");
}

TEST(ReportDialog, TheMainWindowsInvoiceAndReportButtons) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  QTableView* list = ShowObrien(window);
  ASSERT_EQ(list->model()->rowCount(), 6);
  // The account and item lists never cut a 31-character name short.
  for (const char* id : {"1001", "1002"}) {
    auto* combo = Control<QComboBox>(window, id);
    EXPECT_GE(combo->minimumSizeHint().width(),
              combo->fontMetrics().horizontalAdvance(QString(31, 'n')))
        << id;
  }
  // And the window still fits a screen 1024 wide, frame and all.
  EXPECT_LE(window.minimumSizeHint().width(), 1000);

  // Invoice every row but April's: written with its PDF, opened, marked,
  // gone from the handheld (by the update-only synchronization) and from
  // the list; the window says where both files went.
  QtPdfRenderer renderer;
  SetPdfRenderer(&renderer);
  emit list->doubleClicked(list->model()->index(5, 0));
  Control<QPushButton>(window, "1025")->click();
  const std::string invoice = env.reportPath() + "/HLRepO`Brien_&_{Sons}031503";
  EXPECT_EQ(env.editor.WaitForArguments(), invoice + ".rtf\n");
  EXPECT_EQ(Control<QLabel>(window, "documentStatus")->text().toStdString(),
            "Written: " + invoice + ".rtf\nPDF: " + invoice + ".pdf");
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{6, 7, 8, 9, 10, 11, 12, 13}));
  ASSERT_EQ(list->model()->rowCount(), 1);

  // Report of March with the box: Create, then Close.
  Choose(Control<QComboBox>(window, "1001"), "Smith Co/West");
  ASSERT_EQ(list->model()->rowCount(), 2);
  bool stayedOpen = false;
  QString reportStatus;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<ReportDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    Choose(Control<QComboBox>(*dialog, "1003"), "3/1/03 - 3/31/03");
    Control<QCheckBox>(*dialog, "1061")->setChecked(true);
    Control<QPushButton>(*dialog, "1065")->click();
    stayedOpen = dialog->isVisible();
    reportStatus = Control<QLabel>(*dialog, "documentStatus")->text();
    Control<QPushButton>(*dialog, "1")->click();
  });
  Control<QPushButton>(window, "1064")->click();
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(std::regex_match(reportStatus.toStdString(),
                               std::regex("Written: " + env.reportPath() + "/Report\\d{6}\\.rtf\n" +
                                          "PDF: " + env.reportPath() + "/Report\\d{6}\\.pdf")))
      << reportStatus.toStdString();
  SetPdfRenderer(nullptr);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{11, 12, 13}));
  // The window refreshes from its own store, which the report did not
  // change: the reported March record still shows as billable.
  ASSERT_EQ(list->model()->rowCount(), 2);
  EXPECT_EQ(list->model()->index(1, 0).data().toString(), "X");
  EXPECT_TRUE(env.ui.messages.empty());
}

// Qt sets the C library's locale from the environment; under one with a
// decimal comma amounts are still written with a point, in the list, the
// totals, the report dialog and the invoice, while dates follow LC_TIME.
TEST(ReportDialog, AmountsKeepTheirPointUnderADecimalCommaLocale) {
  DocumentFixture env;
  ScopedCLocale comma("de_DE.UTF-8", "en_US.UTF-8");
  if (!comma.error().empty()) GTEST_SKIP() << comma.error();
  EmulatedHandheld handheld(env.dockPath());
  ReportingDialog window(handheld);
  QTableView* list = ShowObrien(window);
  ASSERT_EQ(list->model()->rowCount(), 6);
  QStringList extensions;
  for (int row = 0; row < 6; ++row) extensions << list->model()->index(row, 5).data().toString();
  EXPECT_EQ(extensions.join(" ").toStdString(), "60.00 67.50 22.50 0.00 45.00 60.00");
  EXPECT_EQ(list->model()->index(0, 2).data().toString(), "3/3/03");
  EXPECT_EQ(Control<QLineEdit>(window, "1023")->text(), "45.00");
  EXPECT_EQ(Control<QLineEdit>(window, "1024")->text().toStdString(), "255.00");

  ReportDialog report("Pocket_PC", handheld);
  Choose(Control<QComboBox>(report, "1003"), "3/1/03 - 3/31/03");
  EXPECT_EQ(Control<QLineEdit>(report, "1024")->text(), "270.00");

  Control<QPushButton>(window, "1025")->click();
  const std::string path = env.editor.WaitForArguments();
  ASSERT_FALSE(path.empty());
  ExpectGolden(ReadFile(path.substr(0, path.size() - 1)), "invoice.rtf");
}

// Every label and button of the dialogs shows its whole text (the
// programs' font is wider and taller than the one the templates were laid
// out for), the duration buttons stand in one line, the rate dialog names
// its account and item whole, whatever a window manager does to its
// caption, and names of 31 characters show whole in the lists.
TEST(DialogLayout, TextsFitTheirControlsAndButtonsAlign) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  const std::string account = "Acme Corporation International L";  // 31 characters
  const std::string item = "Quarterly Support and Maintenan";
  ASSERT_TRUE(env.image.PutAccount(5, u"Acme Corporation International L").ok());
  ASSERT_TRUE(env.image.PutItem(31, 4, u"Quarterly Support and Maintenan").ok());
  ASSERT_TRUE(env.image.PutRecord(40, PackDate(2003, 3, 14), 4, 31, u"").ok());
  {
    ReportingDialog window(handheld);
    window.StartUp();
    Choose(Control<QComboBox>(window, "1001"), "Zero Ltd");
    Choose(Control<QComboBox>(window, "1002"), "All");
    QAbstractItemView* list = Control<QTableView>(window, "1000");
    EXPECT_GE(Control<QTableView>(window, "1000")->columnWidth(1), list->sizeHintForColumn(1));
    MaintenanceDialog maintenance;
    auto* accounts = Control<QListWidget>(maintenance, "1001");
    EXPECT_LE(accounts->sizeHintForColumn(0), accounts->contentsRect().width());
  }
  ReportDialog report("Pocket_PC", handheld);
  RateDialog rate(account, item);
  EmulatedHandheld nowhere("/nonexistent/handheld.hhd");
  SyncDialog sync(nullptr, nowhere, false);
  RecordStore store(ReadStoreFolders());
  DetailsDialog details(nullptr, "Wednesday, September 30, 2026", account + "/" + item, "", store,
                        0);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&report, &rate, &sync, &details}) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      const QSize need =
          label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
      EXPECT_LE(need.width(), label->width()) << label->text().toStdString();
      EXPECT_LE(need.height(), label->height()) << label->text().toStdString();
    }
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
      // A push button's hint has a style's least width; its text is what counts.
      const int need = qobject_cast<QPushButton*>(button)
                           ? button->fontMetrics().horizontalAdvance(button->text()) + 8
                           : button->sizeHint().width();
      EXPECT_LE(need, button->width()) << button->text().toStdString();
    }
  }
  for (const char* id : {"1009", "1010", "1011"}) {
    EXPECT_EQ(Control<QRadioButton>(report, id)->x(), Control<QRadioButton>(report, "1008")->x())
        << id;
  }
  EXPECT_EQ(Control<QLabel>(rate, "names")->text().toStdString(), account + " / " + item);
}

// Report, Create with no editor to start, OK on the message, then the Help
// menu: its entries look as they did before the document (writing the PDF
// once changed how the windows drew their texts: "About ...une...", "HelpF1").
TEST(ReportDialog, TheHelpMenuKeepsItsTextsAfterADocumentAndItsMessage) {
  DocumentFixture env;
  WriteSetupString("EditorPath", env.dir.File("no-editor"));
  EmulatedHandheld handheld(env.dockPath());
  QtPdfRenderer renderer;
  SetPdfRenderer(&renderer);
  QtUiServices qt;
  SetUi(&qt);
  ReportingDialog window(handheld);
  window.StartUp();
  window.show();
  QMenu* menu = Control<QPushButton>(window, "9")->menu();
  const auto picture = [&] {
    menu->popup(window.mapToGlobal(QPoint(0, 0)));
    QApplication::processEvents();
    const QImage image = menu->grab().toImage();
    menu->hide();
    return image;
  };
  const QImage before = picture();

  QString message;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<ReportDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    QTimer::singleShot(50, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      message = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    Control<QPushButton>(*dialog, "1065")->click();
    Control<QPushButton>(*dialog, "1")->click();
  });
  Control<QPushButton>(window, "1064")->click();
  SetUi(&env.ui);
  SetPdfRenderer(nullptr);
  EXPECT_TRUE(message.contains("could not be started")) << message.toStdString();
  EXPECT_TRUE(message.contains(".pdf")) << message.toStdString();

  const QImage after = picture();
  EXPECT_EQ(after, before);
  // Each entry has room for its text and its key.
  const QFontMetrics metrics(menu->font());
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const QString text = QString(action->text()).remove('&');
    EXPECT_GT(menu->actionGeometry(action).width(),
              metrics.horizontalAdvance(text + "    " + action->shortcut().toString()))
        << text.toStdString();
  }
}
