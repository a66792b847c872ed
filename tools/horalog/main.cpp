// horalog: the desktop program's work without windows, for scripts and checks.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "documents/invoice.h"
#include "documents/report_dialog_model.h"
#include "emulator/docked_handheld.h"
#include "emulator/emulated_handheld.h"
#include "platform/version.h"
#include "reporting/record_export.h"
#include "reporting/reporting_model.h"
#include "settings/account_settings.h"
#include "store/store_file_kind.h"
#include "store/store_location.h"
#include "store/windows_store_import.h"
#include "sync/sync_procedure.h"
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
  Status Render(const Document& document, PaperSize paper, std::string* pdf) override {
    if (app_ == nullptr && QCoreApplication::instance() == nullptr) {
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
          std::cerr << "horalog: " << text.toStdString() << '\n';
        }
      });
      app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    return renderer_.Render(document, paper, pdf);
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

// What the command line asks for: every command's options, each filled in
// by the command that has it.
struct Request {
  bool updateOnly = false;
  std::string passwordFile;
  std::string device, account, item = "All", range = "All";
  bool all = false;
  std::string format = "tsv";
  bool noOpen = false, setInvoiced = false;
  std::string period, startDay;
  int startDate1 = 0, startDate2 = 0;
  std::string reportRange;
  bool pdf = false, noPdf = false;
  WindowsStoreImport::Options importOptions;

  // The setup option's choice unless --pdf or --no-pdf was given.
  std::optional<bool> SavePdf() const {
    std::optional<bool> savePdf;
    if (pdf || noPdf) savePdf = pdf;
    return savePdf;
  }
};

// The commands, to tell which one the command line named.
struct Commands {
  CLI::App* sync;
  CLI::App* devices;
  CLI::App* ranges;
  CLI::App* records;
  CLI::App* report;
  CLI::App* invoice;
  CLI::App* import;
};

CLI::App* AddSyncCommand(CLI::App& app, Request& request) {
  CLI::App* sync = app.add_subcommand(
      "sync", "Synchronize the docked handheld; prints status texts and messages as they happen");
  sync->add_flag("--update-only", request.updateOnly,
                 "only remove invoiced records from the handheld, as after an invoice");
  sync->add_option("--password-file", request.passwordFile,
                   "a locked handheld's password, on the file's first line (else it is asked "
                   "for on the terminal)")
      ->check(CLI::ExistingFile);
  sync->footer(
      "Exit status: 0 completed; 1 could not connect; 2 the store could not be created; 3 the "
      "handheld's name could not be read; 4 incomplete: the handheld went away part-way; 5 "
      "completed, but a message reported records not copied or a failed statement; 6 the handheld "
      "is locked and no password it accepts was given.");
  return sync;
}

// "ranges" and "records": the main window's lists of an account and item.
void AddListCommands(CLI::App& app, Request& request, Commands& commands) {
  commands.ranges = app.add_subcommand("ranges", "List the date ranges of an account and item");
  commands.records = app.add_subcommand("records", "List the records of an account and item");
  for (CLI::App* sub : {commands.ranges, commands.records}) {
    sub->add_option("DEVICE", request.device, "the handheld")->required();
    sub->add_option("ACCOUNT", request.account, "the account")->required();
    sub->add_option("ITEM", request.item, "the item, or All (the default)");
  }
  for (CLI::App* sub : {commands.ranges, commands.records}) {
    sub->add_option("--format", request.format,
                    "tsv (the default: the window's texts, tab-separated), csv (the same fields "
                    "quoted as RFC 4180 does) or json (typed: ISO dates, hours as numbers, "
                    "amounts as decimal strings)")
        ->check(CLI::IsMember({"tsv", "csv", "json"}));
  }
  commands.records->add_option("--range", request.range,
                               "a date range's label, or All (the default)");
  commands.records->add_flag("--all", request.all, "include invoiced records");
}

CLI::App* AddReportCommand(CLI::App& app, Request& request) {
  CLI::App* report = app.add_subcommand(
      "report", "Write the time report of a period (the report dialog's setting unless given)");
  report->add_option("DEVICE", request.device, "the handheld")->required();
  report->add_option("--period", request.period, "the period kind (not saved)")
      ->check(CLI::IsMember({"One Week", "Two Weeks", "Half Month", "One Month"}));
  report->add_option("--start-day", request.startDay, "the first day of weekly periods")
      ->check(CLI::IsMember(
          {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}));
  report->add_option("--start-date1", request.startDate1, "the day months and half months start")
      ->check(CLI::Range(1, 31));
  report->add_option("--start-date2", request.startDate2, "the day second half months start")
      ->check(CLI::Range(16, 31));
  report->add_option("--range", request.reportRange, "a period's label (default: the first)");
  report->add_flag("--set-invoiced", request.setInvoiced, "mark the reported records invoiced");
  return report;
}

CLI::App* AddInvoiceCommand(CLI::App& app, Request& request) {
  CLI::App* invoice = app.add_subcommand(
      "invoice", "Invoice the records the main window would mark X, and mark them invoiced");
  invoice->add_option("DEVICE", request.device, "the handheld")->required();
  invoice->add_option("ACCOUNT", request.account, "the account")->required();
  invoice->add_option("ITEM", request.item, "the item, or All (the default)");
  invoice->add_option("--range", request.range, "a date range's label, or All (the default)");
  invoice->add_flag("--all", request.all, "show invoiced records too, as the window's box does");
  return invoice;
}

// What both documents' commands do after writing: the editor and the PDF.
void AddDocumentFlags(Request& request, std::initializer_list<CLI::App*> documentCommands) {
  for (CLI::App* sub : documentCommands) {
    sub->add_flag("--no-open", request.noOpen, "do not start the editor on the document");
    CLI::Option* pdfFlag = sub->add_flag("--pdf", request.pdf,
                                         "also write a PDF beside it (default: the setup option)");
    sub->add_flag("--no-pdf", request.noPdf, "write no PDF this time")->excludes(pdfFlag);
  }
}

CLI::App* AddImportCommand(CLI::App& app, Request& request) {
  WindowsStoreImport::Options& options = request.importOptions;
  CLI::App* import = app.add_subcommand(
      "import", "Import a store written on Windows (.mdb or .accdb) as its handheld's store");
  import->add_option("WINDOWS_STORE", options.source, "the Windows store")->required();
  import->add_option("--device", options.device,
                     "the handheld (default: the file's name without its extension)");
  import->add_flag("--replace", options.replace,
                   "replace a store that holds records (kept as NAME.before-import.mdb)");
  import->add_option("--encoding", options.encoding,
                     "the code page of an Access 97 (Jet 3) store's texts (default CP1252)");
  import->footer(
      "Prints the rows imported per table and the first and last day. Exit status: 0 imported; "
      "1 nothing was imported (the reason is on standard error).");
  return import;
}

// Every command with its options, in the order the help lists them.
Commands AddCommands(CLI::App& app, Request& request) {
  Commands commands{};
  commands.sync = AddSyncCommand(app, request);
  commands.devices = app.add_subcommand("devices", "List the handhelds that have a store");
  AddListCommands(app, request, commands);
  commands.report = AddReportCommand(app, request);
  commands.invoice = AddInvoiceCommand(app, request);
  AddDocumentFlags(request, {commands.report, commands.invoice});
  commands.import = AddImportCommand(app, request);
  return commands;
}

int Sync(const Request& request, ConsoleSyncView& console) {
  console.passwordFile = request.passwordFile;
  std::unique_ptr<CePlatform> handheld = OpenHandheld();
  SyncProcedure procedure(*handheld, console, request.updateOnly);
  const SyncProcedure::Outcome outcome = procedure.Run();
  return SyncExitCode(procedure, outcome);
}

// The report dialog of the handheld with the period the options give, as
// the window would have it set; null after saying what is wrong.
std::unique_ptr<ReportDialogModel> OpenReportDialog(ReportingModel& model, const Request& request) {
  const std::string& device = request.device;
  model.LoadDefaults();
  ComboModel names(true);
  for (const std::string& name : ListStoreNames(model.dataPath())) names.Add(name);
  const int found = names.FindStringExact(device);
  if (found == ComboModel::kNone) {
    std::cerr << "horalog: no handheld named " << device << '\n';
    return nullptr;
  }
  auto dialog = std::make_unique<ReportDialogModel>(names.Text(found));
  dialog->Open();
  if (!request.period.empty()) dialog->ClickPeriod(PeriodFromText(request.period));
  if (!request.startDay.empty()) dialog->SelectStartDay(DayFromText(request.startDay));
  if (request.startDate1 != 0) dialog->SetStartDate1(request.startDate1);
  if (request.startDate2 != 0) dialog->SetStartDate2(request.startDate2);
  if ((request.startDate1 != 0 && dialog->startDate1() != request.startDate1) ||
      (request.startDate2 != 0 && dialog->startDate2() != request.startDate2)) {
    std::cerr << "horalog: half months start on days 1..15 and 16..31\n";
    return nullptr;
  }
  // Rebuilt with the weekday (choosing it alone rebuilds nothing).
  dialog->ClickPeriod(dialog->setting().kind);
  return dialog;
}

// Selects the period named by --range, or keeps the first; false after
// saying there is none to report.
bool SelectReportRange(ReportDialogModel& dialog, const Request& request) {
  const std::vector<std::string> labels = dialog.rangeLabels();
  if (labels.empty()) {
    std::cerr << "horalog: " << request.device << " has no records to report\n";
    return false;
  }
  if (!request.reportRange.empty()) {
    auto chosen = std::find(labels.begin(), labels.end(), request.reportRange);
    if (chosen == labels.end()) {
      std::cerr << "horalog: no period " << request.reportRange << '\n';
      return false;
    }
    dialog.SelectRange(static_cast<int>(chosen - labels.begin()));
  }
  return true;
}

int Report(ReportingModel& model, const Request& request, const DocumentUi& documentUi,
           ConsoleSyncView& console) {
  std::unique_ptr<ReportDialogModel> dialog = OpenReportDialog(model, request);
  if (dialog == nullptr || !SelectReportRange(*dialog, request)) return 1;
  dialog->SetSetInvoiced(request.setInvoiced);
  return DocumentExitCode(
      dialog->Create(ToolDocumentOptions(!request.noOpen, request.SavePdf(), console)), documentUi);
}

// The handhelds that have a store, sorted, a Windows store marked as not
// imported.
int ListDevices(ReportingModel& model) {
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

// Shows invoiced records when asked and selects the date range named by
// --range; false after saying there is no such range.
bool SelectDateRange(ReportingModel& model, const Request& request) {
  if (request.all) model.SetShowAll(true);
  if (request.range != "All") {
    const auto& entries = model.dateRanges().Texts();
    auto found = std::find(entries.begin(), entries.end(), request.range);
    if (found == entries.end()) {
      std::cerr << "horalog: no date range " << request.range << '\n';
      return false;
    }
    model.SelectDateRange(static_cast<int>(found - entries.begin()));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Horalog without windows"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("horalog ") + kHoralogVersion);
  Request request;
  const Commands commands = AddCommands(app, request);

  CLI11_PARSE(app, argc, argv);
  if (commands.import->parsed()) return Import(request.importOptions);
#ifdef HORALOG_WITH_PDF
  HeadlessPdfRenderer renderer;
  SetPdfRenderer(&renderer);
#endif

  ConsoleSyncView console;
  SetUi(&console);
  if (commands.sync->parsed()) return Sync(request, console);
  ReportingModel model;
  DocumentUi documentUi;
  const bool document = commands.report->parsed() || commands.invoice->parsed();
  if (document) SetUi(&documentUi);
  if ((document || commands.ranges->parsed() || commands.records->parsed()) &&
      !StoreIsLinux(request.device)) {
    return 7;
  }
  if (commands.report->parsed()) return Report(model, request, documentUi, console);
  if (commands.devices->parsed()) return ListDevices(model);
  if (!Select(model, request.device, request.account, request.item)) return 1;
  if (commands.ranges->parsed()) {
    std::cout << ExportDateRanges(model, ExportFormatFromText(request.format));
    return 0;
  }
  if (!SelectDateRange(model, request)) return 1;
  if (commands.invoice->parsed()) {
    return DocumentExitCode(
        CreateInvoice(model, ToolDocumentOptions(!request.noOpen, request.SavePdf(), console)),
        documentUi);
  }
  std::cout << ExportRecords(model, ExportFormatFromText(request.format));
  return 0;
}
