// Takes the pictures of the windows for the README: each window is shown,
// filled from the docked handheld, and grabbed into a PNG file.
//   horalog-screenshots [--framed] OUTPUT_FOLDER
// Run by scripts/screenshots under Xvfb (with or without a window manager)
// or on the offscreen platform, in an environment of its own. --framed says
// a window manager frames the windows: the pictures then include the frame
// and caption it draws.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <functional>

#include "app/ui/about_dialog.h"
#include "app/ui/app_icon.h"
#include "app/ui/reporting_dialog.h"
#include "documents/document.h"
#include "documents/pdf/qt_pdf_renderer.h"
#include "documents/ui/report_dialog.h"
#include "emulator/emulated_handheld.h"
#include "maint/ui/maintenance_dialog.h"
#include "platform/ui/qt_ui_services.h"
#include "reporting/details_model.h"
#include "reporting/ui/details_dialog.h"
#include "settings/ui/account_prefs_dialog.h"
#include "settings/ui/rate_dialog.h"
#include "settings/ui/setup_dialog.h"
#include "sync/ui/sync_dialog.h"

namespace {

QString output;

// Whether a window manager frames the windows (--framed).
bool framed = false;

// Lets the window system paint what was shown and, with a window manager,
// waits until it has framed and placed the window and the frame has stayed
// put for a moment: it answers in its own time.
void Settle(QWidget& window) {
  QElapsedTimer waited, still;
  waited.start();
  still.start();
  // The native window's frame: it asks the window system again after each
  // move, where the widget's own may keep what it learnt before the frame.
  QWindow* native = window.windowHandle();
  QRect last = native->frameGeometry();
  while (waited.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QRect frame = native->frameGeometry();
    if (frame != last) {
      last = frame;
      still.restart();
    }
    const bool ready = !framed || frame != native->geometry();
    if (ready && still.elapsed() >= 300) return;
  }
  std::printf("%s was not framed\n", qPrintable(window.windowTitle()));
}

// Shows window, lets it paint, and saves it as name.png: with the frame a
// window manager put around it, read from the screen, or the window alone.
bool Grab(QWidget& window, const char* name) {
  window.show();
  window.raise();
  window.activateWindow();
  Settle(window);
  const QRect frame = window.windowHandle()->frameGeometry();
  const QPixmap picture =
      framed ? window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
             : window.grab();
  const QString file = output + "/" + name + ".png";
  const bool saved = picture.save(file);
  std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "could not write", qPrintable(file),
              picture.width(), picture.height());
  return saved;
}

// Runs open, which shows a message box, grabs the box as name.png and
// answers it as Escape would (No, Cancel or OK).
bool GrabMessage(const char* name, const std::function<void()>& open) {
  bool grabbed = false;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll.stop();
    grabbed = Grab(*box, name);
    QAbstractButton* answer = box->escapeButton() ? box->escapeButton() : box->buttons().first();
    answer->click();
  });
  poll.start();
  open();
  if (!grabbed) std::printf("no message box for %s\n", name);
  return grabbed;
}

// The main window as it first opens, at its own size, then showing every
// item over the next-to-last date range.
bool GrabMainWindow(ReportingDialog& window) {
  window.show();
  window.StartUp();
  bool ok = Grab(window, "main-window-start");
  ReportingModel& model = window.model();
  const int all = model.items().FindStringExact("All");
  if (all >= 0) model.SelectItem(all);
  if (model.dateRanges().count() > 2) model.SelectDateRange(model.dateRanges().count() - 2);
  window.ShowModel();
  ok &= Grab(window, "main-window");
  return ok;
}

// Acct Prefs and Rate, offered only with an account, and the Rate window's
// message for a rate too large.
bool GrabAccountDialogs(ReportingDialog& window, const std::string& account) {
  ReportingModel& model = window.model();
  if (!model.accountCommandsEnabled()) return true;
  bool ok = true;
  {
    AccountPrefsDialog dialog(account, &window);
    ok &= Grab(dialog, "account-preferences");
  }
  RateDialog dialog(account, model.items().ComboText(), &window);
  ok &= Grab(dialog, "rate");
  dialog.findChild<QLineEdit*>("1023")->setText("99999999");
  ok &= GrabMessage("rate-too-large", [&dialog] { dialog.accept(); });
  return ok;
}

// The Help button's menu after a document's PDF and a message box: its
// entries whole (the PDF's fonts once changed how the windows drew).
bool GrabHelpMenuAfterPdf(ReportingDialog& window) {
  Document document;
  Table table;
  table.widths = {30, 20};
  table.heading.cells = {Cell("Kestrune Help"), Cell("Hours")};
  table.rows.push_back({{Cell("About Kestrune..."), Cell("1.5", false, TextAlign::Decimal)}});
  document.blocks.push_back(table);
  std::string pdf;
  static_cast<void>(QtPdfRenderer().Render(document, PaperSize::A4, &pdf));
  auto* menu = window.findChild<QPushButton*>("9")->menu();
  menu->popup(window.mapToGlobal(window.findChild<QPushButton*>("9")->geometry().bottomLeft()));
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 20);
  const QString file = output + "/help-menu.png";
  const bool saved = menu->grab().save(file);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
  menu->hide();
  return saved;
}

// Setup, the first row's Details, Report and About over the main window.
bool GrabOwnedDialogs(ReportingDialog& window, CePlatform& handheld, const std::string& account) {
  ReportingModel& model = window.model();
  bool ok = true;
  {
    SetupDialog dialog(&window);
    ok &= Grab(dialog, "setup");
  }
  if (!model.rows().empty()) {
    const int32_t id = model.rows().front().id;
    DetailsModel details(model.store(), id, account);
    DetailsDialog dialog(&window, details.dateText(), details.accountItemText(), details.notes(),
                         model.store(), id);
    ok &= Grab(dialog, "details");
  }
  {
    ReportDialog dialog(model.deviceName(), handheld, &window);
    ok &= Grab(dialog, "report");
  }
  {
    AboutDialog dialog(&window);
    ok &= Grab(dialog, "about");
  }
  return ok;
}

// A synchronization that finds no handheld stays open with its words.
bool GrabSynchronization(ReportingDialog& window) {
  EmulatedHandheld nowhere("/nonexistent/dock/handheld.hhd");
  SyncDialog dialog(&window, nowhere, false);
  dialog.show();
  while (!dialog.hasRun()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return Grab(dialog, "synchronization");
}

// The last account and item, whose names come last in the lists.
bool GrabLastItem(ReportingDialog& window) {
  ReportingModel& model = window.model();
  if (model.accounts().count() == 0) return true;
  model.SelectAccount(model.accounts().count() - 1);
  model.SelectItem(model.items().count() - 1);
  window.ShowModel();
  return Grab(window, "main-window-last-item");
}

// The maintenance window and its two questions before deleting.
bool GrabMaintenance() {
  MaintenanceDialog dialog;
  bool ok = Grab(dialog, "maintenance");
  if (dialog.model().accounts().count() > 0) {
    ok &= GrabMessage("maintenance-delete-account", [&dialog] { dialog.OnDeleteAccount(); });
  }
  if (dialog.model().devices().count() > 0) {
    ok &= GrabMessage("maintenance-delete-device", [&dialog] { dialog.OnDeleteHandheld(); });
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(HoralogIcon());
  framed = argc == 3 && QString(argv[1]) == "--framed";
  if (argc != 2 && !framed) {
    std::fprintf(stderr, "usage: horalog-screenshots [--framed] OUTPUT_FOLDER\n");
    return 2;
  }
  output = argv[argc - 1];
  QDir().mkpath(output);
  QtUiServices services;
  SetUi(&services);

  EmulatedHandheld handheld;
  ReportingDialog window(handheld);
  bool ok = GrabMainWindow(window);
  const std::string account = window.model().accounts().ComboText();
  ok &= GrabAccountDialogs(window, account);
  ok &= GrabHelpMenuAfterPdf(window);
  ok &= GrabOwnedDialogs(window, handheld, account);
  ok &= GrabSynchronization(window);
  ok &= GrabLastItem(window);
  window.hide();
  ok &= GrabMaintenance();
  SetUi(nullptr);
  return ok ? 0 : 1;
}
