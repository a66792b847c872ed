// The marking of billed records that both documents share.
#include "documents/document_outcome.h"

#include <algorithm>

#include "documents/pdf_renderer.h"
#include "documents/rtf_document.h"
#include "documents/rtf_writer.h"
#include "platform/locale_format.h"
#include "platform/ui_services.h"
#include "store/record_store.h"

std::string UnmarkedRecordsMessage(const RecordStore& store, const std::vector<int32_t>& ids) {
  std::string text =
      "The document was written, but these records could not be marked invoiced in " +
      store.storePath() + ":\n";
  for (int32_t id : ids) {
    const TimeRecord* found = nullptr;
    for (const TimeRecord& record : store.timeRecords()) {
      if (record.id == id) {
        found = &record;
        break;
      }
    }
    text += "\n";
    if (found != nullptr) {
      text += FormatPackedDate(found->grpdate, DateForm::Short) + "  " +
              store.AccountName(found->acct) + "/" + store.ItemName(found->item) + "  ";
    }
    text += "(record " + std::to_string(id) + ")";
  }
  text += "\n\nThey stay uninvoiced and on the handheld.";
  return text;
}

bool WantsPdf(const DocumentOptions& options) {
  if (options.savePdf) return *options.savePdf;
  return InstalledPdfRenderer() != nullptr && SavePdfSetting();
}

void SaveDocumentPdf(const Document& document, DocumentOutcome* outcome) {
  const Status written = WritePdfBeside(document, outcome->path);
  if (written.ok()) {
    outcome->pdfPath = PdfPathBeside(outcome->path);
    return;
  }
  outcome->pdfError = written.message();
  Ui().ShowMessage(written.message() + "\n\nThe document " + outcome->path + " is complete.",
                   "Horalog", MessageButtons::Ok);
}

void OpenInEditor(RtfDocument& document, const DocumentOptions& options, DocumentOutcome* outcome) {
  if (!options.openEditor) return;
  const Status started = document.ShowInEditor();
  outcome->editorStarted = started.ok();
  if (outcome->editorStarted) return;
  std::string text = started.message();
  if (!outcome->pdfPath.empty()) text += "  Its PDF was written as " + outcome->pdfPath + ".";
  Ui().ShowMessage(text, "Horalog", MessageButtons::Ok);
}

std::string DocumentStatusText(const DocumentOutcome& outcome) {
  if (outcome.path.empty()) return {};
  std::string text = "Written: " + outcome.path;
  if (!outcome.pdfPath.empty()) text += "\nPDF: " + outcome.pdfPath;
  return text;
}

void MarkBilledRecords(RecordStore& store, const std::vector<int32_t>& ids,
                       const DocumentOptions& options, DocumentOutcome* outcome) {
  if (!ids.empty()) store.Locate();
  outcome->unmarked = store.MarkInvoiced(ids);
  for (int32_t id : ids) {
    if (std::find(outcome->unmarked.begin(), outcome->unmarked.end(), id) ==
        outcome->unmarked.end()) {
      outcome->marked.push_back(id);
    }
  }
  outcome->status = outcome->unmarked.empty() ? DocumentOutcome::Status::Written
                                              : DocumentOutcome::Status::PartlyMarked;
  if (!outcome->unmarked.empty()) {
    Ui().ShowMessage(UnmarkedRecordsMessage(store, outcome->unmarked), "Horalog",
                     MessageButtons::Ok);
  }
  if (!outcome->marked.empty() && options.updateHandheld) {
    options.updateHandheld();
    outcome->handheldUpdated = true;
  }
}

bool OpenDocumentFile(RtfDocument& file, const DocumentSetup& setup, const DocumentRun& run,
                      DocumentOutcome* outcome) {
  const Status opened = file.OpenFile(setup, run.baseName, run.pdf);
  if (opened.ok()) return true;
  outcome->error = opened.message();
  Ui().ShowMessage(outcome->error + run.openFailureNote, "Horalog", MessageButtons::Ok);
  return false;
}

void WriteFinishedDocument(RtfDocument& file, const Document& document, const DocumentRun& run,
                           RecordStore& store, const std::vector<int32_t>* billed,
                           const DocumentOptions& options, DocumentOutcome* outcome) {
  WriteRtf(file, document);
  if (Status closed = file.Close(); !closed.ok()) {
    outcome->error = closed.message();
    Ui().ShowMessage(outcome->error + run.writeFailureNote, "Horalog", MessageButtons::Ok);
    return;
  }
  outcome->path = file.filePath();
  outcome->status = DocumentOutcome::Status::Written;
  if (run.pdf) SaveDocumentPdf(document, outcome);
  OpenInEditor(file, options, outcome);
  if (billed != nullptr) MarkBilledRecords(store, *billed, options, outcome);
}
