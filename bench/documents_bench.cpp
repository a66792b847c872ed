// How long the two documents take: the time report of a month holding 5,000
// records, and the invoice of 2,000 marked rows (marking and list refresh
// included); each also with twice the records, to show the growth. Then the
// same with the PDF beside the RTF, against the RTF alone of the same
// document in the same run.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "documents/invoice.h"
#include "documents/time_report.h"
#include "platform/sqlite_statement.h"
#include "reporting/reporting_model.h"
#include "store/records.h"

#ifdef HORALOG_WITH_PDF
#include <QGuiApplication>

#include "documents/pdf/qt_pdf_renderer.h"
#endif

namespace {

// A store of records in January 2026: over ten accounts of five items each,
// or all for the first account when oneAccount; three spans each.
void MakeStore(const std::string& path, int records, bool oneAccount) {
  bench::MakeRecordStore(
      path, records, "INSERT INTO hlgroup VALUES (?, ?, ?, ?, ?, 0, 2.0, 0)",
      [oneAccount](SqliteStatement& record, int id) {
        const int account = oneAccount ? 1 : 1 + id % 10;
        record.BindInt64(1, id);
        record.BindInt64(2, PackDate(2026, 1, 1 + id % 31));
        record.BindInt64(3, account);
        record.BindInt64(4, account * 10 + id % 5);
        record.BindText(5, "Drafted the {annual} report \\ section " + std::to_string(id));
      },
      3, 17);
}

// The time report of January 2026 from the store of device, checked each
// time it is written.
bench::Timed Report(const std::string& device, bool pdf) {
  return {
      nullptr, [device, pdf] {
        TimeReportRequest request;
        request.deviceName = device;
        request.periodLabel = "January 2026";
        request.firstDay = PackDate(2026, 1, 1);
        request.lastDay = PackDate(2026, 1, 31);
        DocumentOptions options;
        options.openEditor = false;
        options.savePdf = pdf;
        const DocumentOutcome outcome = CreateTimeReport(request, options);
        if (outcome.status != DocumentOutcome::Status::Written || outcome.pdfPath.empty() == pdf) {
          std::fprintf(stderr, "no report %s\n", outcome.pdfError.c_str());
        }
      }};
}

// The invoice of every record of Client 1; the store is put back before
// each run, since the invoice marks what it bills.
bench::Timed Invoice(const std::filesystem::path& dir, const std::string& device, size_t rows,
                     bool pdf) {
  const std::filesystem::path store = dir / "stores" / (device + ".mdb");
  const std::filesystem::path pristine = dir / (device + ".pristine");
  // Kept from the first call: every later one starts from the unmarked store.
  if (!std::filesystem::exists(pristine)) std::filesystem::copy_file(store, pristine);
  auto model = std::make_shared<ReportingModel>();
  return {[=] {
            std::filesystem::copy_file(pristine, store,
                                       std::filesystem::copy_options::overwrite_existing);
            model->LoadDefaults();
            model->FillDeviceList(device);
            model->SelectAccount(model->accounts().FindStringExact("Client 1"));
          },
          [=] {
            DocumentOptions options;
            options.openEditor = false;
            options.savePdf = pdf;
            const DocumentOutcome outcome = CreateInvoice(*model, options);
            if (outcome.status != DocumentOutcome::Status::Written ||
                outcome.marked.size() != rows || outcome.pdfPath.empty() == pdf) {
              std::fprintf(stderr, "invoice marked %zu of %zu rows\n", outcome.marked.size(), rows);
            }
          }};
}

}  // namespace

int main(int argc, char** argv) {
#ifdef HORALOG_WITH_PDF
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  QtPdfRenderer renderer;
  SetPdfRenderer(&renderer);
#else
  (void)argc, (void)argv;
#endif
  const std::filesystem::path dir = bench::MakeBenchDir("horalog-bench-documents");
  MakeStore((dir / "stores" / "Month5000.mdb").string(), 5000, false);
  MakeStore((dir / "stores" / "Month10000.mdb").string(), 10000, false);
  MakeStore((dir / "stores" / "Bill2000.mdb").string(), 2000, true);
  MakeStore((dir / "stores" / "Bill4000.mdb").string(), 4000, true);

  // Every variant in turn, 9 turns: a figure and the one it is compared
  // with meet the machine in the same states, and the median of their ratio
  // turn by turn is what one run gives (the best of a few, taken apart,
  // strayed by a tenth from run to run).
  std::vector<bench::Timed> documents = {Report("Month5000", false), Report("Month10000", false),
                                         Invoice(dir, "Bill2000", 2000, false),
                                         Invoice(dir, "Bill4000", 4000, false)};
#ifdef HORALOG_WITH_PDF
  documents.push_back(Report("Month5000", true));
  documents.push_back(Report("Month10000", true));
  documents.push_back(Invoice(dir, "Bill2000", 2000, true));
  documents.push_back(Invoice(dir, "Bill4000", 4000, true));
#endif
  const std::vector<std::vector<double>> t = bench::TimesInTurn(9, documents);
  bench::FigureUnder("time report, a month of 5,000 records", bench::Median(t[0]), 1.0);
  bench::FigureAgainstLimitInTurns("time report, 10,000 against 5,000 records", t[1], t[0], 2.2);
  bench::FigureUnder("invoice, 2,000 marked rows", bench::Median(t[2]), 1.0);
  bench::FigureAgainstLimitInTurns("invoice, 4,000 against 2,000 rows", t[3], t[2], 2.2);
#ifdef HORALOG_WITH_PDF
  bench::FigureAgainstLimitInTurns("time report with PDF, 10,000 records, against RTF only", t[5],
                                   t[1], 5.0);
  bench::FigureAgainstLimitInTurns("time report with PDF, 10,000 against 5,000 records", t[5], t[4],
                                   2.2);
  bench::FigureAgainstLimitInTurns("invoice with PDF, 4,000 rows, against RTF only", t[7], t[3],
                                   5.0);
  bench::FigureAgainstLimitInTurns("invoice with PDF, 4,000 against 2,000 rows", t[7], t[6], 2.2);
#endif
  std::filesystem::remove_all(dir);
  return 0;
}
