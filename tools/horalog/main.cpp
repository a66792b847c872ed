// horalog: the desktop program's work without windows, for scripts and checks.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "device/docked_handheld.h"
#include "device/emulated_handheld.h"
#include "device/sync_procedure.h"
#include "documents/invoice.h"
#include "documents/report_dialog_model.h"
#include "platform/version.h"
#include "reporting/record_export.h"
#include "reporting/reporting_model.h"
#include "settings/account_settings.h"
#include "store/store_file_kind.h"
#include "store/store_location.h"
#include "store/windows_store_import.h"
#include "tools/horalog/console_sync_view.h"

#ifdef HORALOG_WITH_PDF
#include <QGuiApplication>

#include "documents/pdf/qt_pdf_renderer.h"
#endif

namespace {

// Exit statuses of "sync": 0 only when it ran to its end and no message
// reported a failure.
int SyncExitCode(const SyncProcedure& procedure, SyncProcedure::Outcome outcome) {
  switch (outcome) {
    case SyncProcedure::Outcome::Finished: return procedure.errorsReported() ? 5 : 0;
    case SyncProcedure::Outcome::NotConnected: return 1;  // could not connect
    case SyncProcedure::Outcome::StoreNotCreated: return 2;
    case SyncProcedure::Outcome::NameUnreadable: return 3;
    case SyncProcedure::Outcome::LinkLost: return 4;  // incomplete: the handheld went away
    case SyncProcedure::Outcome::Locked: return 6;
  }
  return 1;
}

// Selects device, account and item as the window would; false after saying
// which one is unknown.
bool Select(ReportingModel& model, const std::string& device, const std::string& account,
            const std::string& item) {
  model.LoadDefaults();
  model.FillDeviceList(device);
  if (model.devices().FindStringExact(device) == ComboModel::kNone) {
    std::cerr << "horalog: no handheld named " << device << '\n';
    return false;
  }
  const int accountIndex = model.accounts().FindStringExact(account);
  if (accountIndex == ComboModel::kNone) {
    std::cerr << "horalog: no account named " << account << " on " << device << '\n';
    return false;
  }
  model.SelectAccount(accountIndex);
  const int itemIndex = model.items().FindStringExact(item);
  if (itemIndex == ComboModel::kNone) {
    std::cerr << "horalog: no item named " << item << " in " << account << '\n';
    return false;
  }
  model.SelectItem(itemIndex);
  return true;
}

// The documents' messages go to standard error, where scripts look for the
// reason; the synchronization's lines stay on standard output.
class DocumentUi : public UiServices {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override {
    std::cerr << caption << ": " << text << '\n';
    ++shown;
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }
  void Beep() override {}
  void PumpMessages() override {}
  int shown = 0;
};

#ifdef HORALOG_WITH_PDF
// horalog is a tool for scripts and cron, without a display: it links the
// programs' Qt PDF renderer (Qt Gui only, no widgets) and starts a
// QGuiApplication on the offscreen platform the first time a PDF is
// rendered, so the other commands never load Qt's platform. Qt's own
// warnings about that platform mean nothing to a script and are dropped.
class HeadlessPdfRenderer : public PdfRenderer {
 public:
  bool Render(const Document& document, PaperSize paper, std::string* pdf,
              std::string* error) override {
    if (app_ == nullptr && QCoreApplication::instance() == nullptr) {
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
          std::cerr << "horalog: " << text.toStdString() << '\n';
        }
      });
      app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    return renderer_.Render(document, paper, pdf, error);
  }

 private:
  int argc_ = 3;
  char name_[8] = "horalog", option_[10] = "-platform", platform_[10] = "offscreen";
  char* argv_[4] = {name_, option_, platform_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
  QtPdfRenderer renderer_;
};
#endif

// What the buttons do after a document: the update-only synchronization,
// when a handheld is docked.
DocumentOptions ToolDocumentOptions(bool open, std::optional<bool> pdf, ConsoleSyncView& console) {
  DocumentOptions options;
  options.openEditor = open;
  options.savePdf = pdf;
  options.updateHandheld = [&console] {
    // An image that is not docked is not there to update; a real handheld
    // is tried, and says so when it is not there.
    if (ChooseHandheld() == HandheldKind::Image && !std::filesystem::exists(DockLocation())) return;
    std::unique_ptr<CePlatform> handheld = OpenHandheld();
    SyncProcedure(*handheld, console, true).Run();
  };
  return options;
}

// The PDF's path, when one was written, then the document's path as the
// last line; 0 when written and all marked, 1 when no document was written,
// 2 when some records could not be marked, 3 when all went well but the PDF
// asked for could not be written.
int DocumentExitCode(const DocumentOutcome& outcome, const DocumentUi& ui) {
  if (outcome.status == DocumentOutcome::Status::NotWritten) {
    if (ui.shown == 0) std::cerr << "horalog: " << outcome.error << '\n';
    return 1;
  }
  if (!outcome.pdfPath.empty()) std::cout << outcome.pdfPath << '\n';
  std::cout << outcome.path << std::endl;
  if (outcome.status != DocumentOutcome::Status::Written) return 2;
  return outcome.pdfError.empty() ? 0 : 3;
}

// A Windows store at the handheld's store path is not a store these
// commands can read: they say so and name the import instead of showing an
// empty store. True when the store is usable.
bool StoreIsLinux(const std::string& device) {
  const std::string path = StoreFilePath(ReadStoreFolders(), device);
  if (!IsWindowsStore(DetectStoreFileKind(path))) return true;
  std::cerr << "horalog: " << WindowsStoreMessage(device, path) << '\n';
  return false;
}

int Import(const WindowsStoreImport::Options& options) {
  const WindowsStoreImport::Result result = WindowsStoreImport(ReadStoreFolders()).Run(options);
  if (!result.status.ok()) {
    // The reason alone: what would have been cut matters only once imported.
    std::cerr << "horalog: " << result.status.message() << '\n';
    return 1;
  }
  for (const std::string& warning : result.warnings) {
    std::cerr << "horalog: warning: " << warning << '\n';
  }
  for (const std::string& line : WindowsStoreImport::Summary(result)) std::cout << line << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Horalog without windows"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("horalog ") + kHoralogVersion);

  bool updateOnly = false;
  CLI::App* sync = app.add_subcommand(
      "sync", "Synchronize the docked handheld; prints status texts and messages as they happen");
  sync->add_flag("--update-only", updateOnly,
                 "only remove invoiced records from the handheld, as after an invoice");
  std::string passwordFile;
  sync->add_option("--password-file", passwordFile,
                   "a locked handheld's password, on the file's first line (else it is asked "
                   "for on the terminal)")
      ->check(CLI::ExistingFile);
  sync->footer(
      "Exit status: 0 completed; 1 could not connect; 2 the store could not be created; 3 the "
      "handheld's name could not be read; 4 incomplete: the handheld went away part-way; 5 "
      "completed, but a message reported records not copied or a failed statement; 6 the handheld "
      "is locked and no password it accepts was given.");

  CLI::App* devices = app.add_subcommand("devices", "List the handhelds that have a store");

  std::string device, account, item = "All", range = "All";
  bool all = false;
  CLI::App* ranges = app.add_subcommand("ranges", "List the date ranges of an account and item");
  CLI::App* records = app.add_subcommand("records", "List the records of an account and item");
  for (CLI::App* sub : {ranges, records}) {
    sub->add_option("DEVICE", device, "the handheld")->required();
    sub->add_option("ACCOUNT", account, "the account")->required();
    sub->add_option("ITEM", item, "the item, or All (the default)");
  }
  std::string format = "tsv";
  for (CLI::App* sub : {ranges, records}) {
    sub->add_option("--format", format,
                    "tsv (the default: the window's texts, tab-separated), csv (the same fields "
                    "quoted as RFC 4180 does) or json (typed: ISO dates, hours as numbers, "
                    "amounts as decimal strings)")
        ->check(CLI::IsMember({"tsv", "csv", "json"}));
  }
  records->add_option("--range", range, "a date range's label, or All (the default)");
  records->add_flag("--all", all, "include invoiced records");

  bool noOpen = false, setInvoiced = false;
  std::string period, startDay;
  int startDate1 = 0, startDate2 = 0;
  std::string reportRange;
  CLI::App* report = app.add_subcommand(
      "report", "Write the time report of a period (the report dialog's setting unless given)");
  report->add_option("DEVICE", device, "the handheld")->required();
  report->add_option("--period", period, "the period kind (not saved)")
      ->check(CLI::IsMember({"One Week", "Two Weeks", "Half Month", "One Month"}));
  report->add_option("--start-day", startDay, "the first day of weekly periods")
      ->check(CLI::IsMember(
          {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}));
  report->add_option("--start-date1", startDate1, "the day months and half months start")
      ->check(CLI::Range(1, 31));
  report->add_option("--start-date2", startDate2, "the day second half months start")
      ->check(CLI::Range(16, 31));
  report->add_option("--range", reportRange, "a period's label (default: the first)");
  report->add_flag("--set-invoiced", setInvoiced, "mark the reported records invoiced");
  CLI::App* invoice = app.add_subcommand(
      "invoice", "Invoice the records the main window would mark X, and mark them invoiced");
  invoice->add_option("DEVICE", device, "the handheld")->required();
  invoice->add_option("ACCOUNT", account, "the account")->required();
  invoice->add_option("ITEM", item, "the item, or All (the default)");
  invoice->add_option("--range", range, "a date range's label, or All (the default)");
  invoice->add_flag("--all", all, "show invoiced records too, as the window's box does");
  bool pdf = false, noPdf = false;
  for (CLI::App* sub : {report, invoice}) {
    sub->add_flag("--no-open", noOpen, "do not start the editor on the document");
    CLI::Option* pdfFlag =
        sub->add_flag("--pdf", pdf, "also write a PDF beside it (default: the setup option)");
    sub->add_flag("--no-pdf", noPdf, "write no PDF this time")->excludes(pdfFlag);
  }

  WindowsStoreImport::Options importOptions;
  CLI::App* import = app.add_subcommand(
      "import", "Import a store written on Windows (.mdb or .accdb) as its handheld's store");
  import->add_option("WINDOWS_STORE", importOptions.source, "the Windows store")->required();
  import->add_option("--device", importOptions.device,
                     "the handheld (default: the file's name without its extension)");
  import->add_flag("--replace", importOptions.replace,
                   "replace a store that holds records (kept as NAME.before-import.mdb)");
  import->add_option("--encoding", importOptions.encoding,
                     "the code page of an Access 97 (Jet 3) store's texts (default CP1252)");
  import->footer(
      "Prints the rows imported per table and the first and last day. Exit status: 0 imported; "
      "1 nothing was imported (the reason is on standard error).");

  CLI11_PARSE(app, argc, argv);
  if (import->parsed()) return Import(importOptions);
  std::optional<bool> savePdf;
  if (pdf || noPdf) savePdf = pdf;
#ifdef HORALOG_WITH_PDF
  HeadlessPdfRenderer renderer;
  SetPdfRenderer(&renderer);
#endif

  ConsoleSyncView console;
  SetUi(&console);
  if (sync->parsed()) {
    console.passwordFile = passwordFile;
    std::unique_ptr<CePlatform> handheld = OpenHandheld();
    SyncProcedure procedure(*handheld, console, updateOnly);
    const SyncProcedure::Outcome outcome = procedure.Run();
    return SyncExitCode(procedure, outcome);
  }
  ReportingModel model;
  DocumentUi documentUi;
  if (report->parsed() || invoice->parsed()) SetUi(&documentUi);
  if ((report->parsed() || ranges->parsed() || records->parsed() || invoice->parsed()) &&
      !StoreIsLinux(device)) {
    return 7;
  }
  if (report->parsed()) {
    model.LoadDefaults();
    ComboModel names(true);
    for (const std::string& name : ListStoreNames(model.dataPath())) names.Add(name);
    const int found = names.FindStringExact(device);
    if (found == ComboModel::kNone) {
      std::cerr << "horalog: no handheld named " << device << '\n';
      return 1;
    }
    ReportDialogModel dialog(names.Text(found));
    dialog.Open();
    if (!period.empty()) dialog.ClickPeriod(PeriodFromText(period));
    if (!startDay.empty()) dialog.SelectStartDay(DayFromText(startDay));
    if (startDate1 != 0) dialog.SetStartDate1(startDate1);
    if (startDate2 != 0) dialog.SetStartDate2(startDate2);
    if ((startDate1 != 0 && dialog.startDate1() != startDate1) ||
        (startDate2 != 0 && dialog.startDate2() != startDate2)) {
      std::cerr << "horalog: half months start on days 1..15 and 16..31\n";
      return 1;
    }
    // Rebuilt with the weekday (choosing it alone rebuilds nothing).
    dialog.ClickPeriod(dialog.setting().kind);
    const std::vector<std::string> labels = dialog.rangeLabels();
    if (labels.empty()) {
      std::cerr << "horalog: " << device << " has no records to report\n";
      return 1;
    }
    if (!reportRange.empty()) {
      auto chosen = std::find(labels.begin(), labels.end(), reportRange);
      if (chosen == labels.end()) {
        std::cerr << "horalog: no period " << reportRange << '\n';
        return 1;
      }
      dialog.SelectRange(static_cast<int>(chosen - labels.begin()));
    }
    dialog.SetSetInvoiced(setInvoiced);
    return DocumentExitCode(dialog.Create(ToolDocumentOptions(!noOpen, savePdf, console)),
                            documentUi);
  }
  if (devices->parsed()) {
    model.LoadDefaults();
    ComboModel sorted(true);
    for (const std::string& name : ListStoreNames(model.dataPath())) sorted.Add(name);
    const StoreFolders folders = ReadStoreFolders();
    for (const std::string& name : sorted.Texts()) {
      std::cout << name;
      if (IsWindowsStore(DetectStoreFileKind(StoreFilePath(folders, name)))) {
        std::cout << "\t(" << kNotImportedNote << ")";
      }
      std::cout << '\n';
    }
    return 0;
  }
  if (!Select(model, device, account, item)) return 1;
  if (ranges->parsed()) {
    std::cout << ExportDateRanges(model, ExportFormatFromText(format));
    return 0;
  }
  if (all) model.SetShowAll(true);
  if (range != "All") {
    const auto& entries = model.dateRanges().Texts();
    auto found = std::find(entries.begin(), entries.end(), range);
    if (found == entries.end()) {
      std::cerr << "horalog: no date range " << range << '\n';
      return 1;
    }
    model.SelectDateRange(static_cast<int>(found - entries.begin()));
  }
  if (invoice->parsed()) {
    return DocumentExitCode(CreateInvoice(model, ToolDocumentOptions(!noOpen, savePdf, console)),
                            documentUi);
  }
  std::cout << ExportRecords(model, ExportFormatFromText(format));
  return 0;
}
