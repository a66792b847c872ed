// What a document run was asked to do beside writing, and what came of it;
// the marking of billed records that both documents share.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class RecordStore;
class RtfDocument;
struct Document;

// How a document run ends besides writing its file.
struct DocumentOptions {
  bool openEditor = true;  // start the editor on the written document
  // The update-only synchronization, run once records were marked invoiced:
  // the synchronization dialog in the program, the procedure in the tool.
  // None: the handheld is not contacted.
  std::function<void()> updateHandheld;
  // Whether a PDF is written beside the RTF; none: the setup option SavePdf.
  std::optional<bool> savePdf;
};

struct DocumentOutcome {
  enum class Status {
    Written,       // the document is complete and every record to mark was marked
    NotWritten,    // no document (error says why); nothing was marked
    PartlyMarked,  // the document is complete, some records could not be marked
  };
  Status status = Status::NotWritten;
  std::string path;               // the written document
  std::string error;              // why no document was written
  std::vector<int32_t> marked;    // records marked invoiced, in marking order
  std::vector<int32_t> unmarked;  // records the store refused to mark
  std::string pdfPath;            // the PDF written beside it; empty when none was
  std::string pdfError;           // why the PDF asked for was not written
  bool editorStarted = false;
  bool handheldUpdated = false;  // updateHandheld was run
};

// Whether a run with options writes a PDF: savePdf when given, else the
// setup option. A program without a PDF renderer writes none unless savePdf
// asks for it (which then fails and says so).
bool WantsPdf(const DocumentOptions& options);

// Writes document as PDF beside the complete RTF at outcome->path, filling
// pdfPath, or pdfError and a message (caption "Horalog") that the RTF is
// complete. The status, the RTF and what gets marked stay as they are.
void SaveDocumentPdf(const Document& document, DocumentOutcome* outcome);

// With options asking for it, starts the editor on the closed document and
// sets editorStarted; a failed start is said in one message (caption
// "Horalog"), which also names the PDF when one was written.
void OpenInEditor(RtfDocument& document, const DocumentOptions& options, DocumentOutcome* outcome);

// One line for a window's status after a run: where the document and its
// PDF went ("Written: PATH", then "PDF: PATH" on a line of its own); ""
// when nothing was written.
std::string DocumentStatusText(const DocumentOutcome& outcome);

// Marks each of ids invoiced in store, in order, filling outcome's marked and
// unmarked lists and setting its status (Written or PartlyMarked). When the
// store refused some, one message (caption "Horalog") lists them with their
// dates, accounts, items and ids. Then, when at least one record was marked
// and options has updateHandheld, runs it.
void MarkBilledRecords(RecordStore& store, const std::vector<int32_t>& ids,
                       const DocumentOptions& options, DocumentOutcome* outcome);

// The message naming records the store refused to mark invoiced.
std::string UnmarkedRecordsMessage(const RecordStore& store, const std::vector<int32_t>& ids);
