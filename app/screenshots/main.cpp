// Takes the pictures of the windows for the README: each window is shown,
// filled from the docked demo handheld, and grabbed into a PNG file.
//   horalog-screenshots OUTPUT_FOLDER
// Run by scripts/screenshots under Xvfb, in an environment of its own.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/ui/about_dialog.h"
#include "app/ui/app_icon.h"
#include "app/ui/reporting_dialog.h"
#include "device/emulated_handheld.h"
#include "device/ui/sync_dialog.h"
#include "documents/ui/report_dialog.h"
#include "maint/ui/maintenance_dialog.h"
#include "platform/ui/qt_ui_services.h"
#include "reporting/details_model.h"
#include "reporting/ui/details_dialog.h"
#include "settings/ui/account_prefs_dialog.h"
#include "settings/ui/rate_dialog.h"
#include "settings/ui/setup_dialog.h"

namespace {

QString output;

// Shows window, lets it paint, and saves it as name.png.
bool Grab(QWidget& window, const char* name) {
  window.show();
  window.raise();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const QString file = output + "/" + name + ".png";
  const bool saved = window.grab().save(file);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(HoralogIcon());
  if (argc != 2) {
    std::fprintf(stderr, "usage: horalog-screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  output = argv[1];
  QDir().mkpath(output);
  QtUiServices services;
  SetUi(&services);
  bool ok = true;

  EmulatedHandheld handheld;
  ReportingDialog window(handheld);
  window.show();
  window.StartUp();
  ReportingModel& model = window.model();
  const int all = model.items().FindStringExact("All");
  model.SelectItem(all);
  if (model.dateRanges().count() > 2) model.SelectDateRange(model.dateRanges().count() - 2);
  window.ShowModel();
  ok &= Grab(window, "main-window");

  const std::string account = model.accounts().ComboText();
  {
    AccountPrefsDialog dialog(account, &window);
    ok &= Grab(dialog, "account-preferences");
  }
  {
    RateDialog dialog(account, model.items().count() > 0 ? model.items().Text(0) : "All", &window);
    ok &= Grab(dialog, "rate");
  }
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
  {
    // A synchronization that finds no handheld stays open with its words.
    EmulatedHandheld nowhere("/nonexistent/dock/handheld.hhd");
    SyncDialog dialog(&window, nowhere, false);
    dialog.show();
    while (!dialog.hasRun()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ok &= Grab(dialog, "synchronization");
  }
  {
    MaintenanceDialog dialog;
    ok &= Grab(dialog, "maintenance");
  }
  SetUi(nullptr);
  return ok ? 0 : 1;
}
