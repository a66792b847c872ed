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
struct DocumentSetup;

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

// One run of a document: its file and what its failure messages add.
struct DocumentRun {
  std::string baseName;          // the file name without ".rtf" (a free one is chosen)
  bool pdf = false;              // a PDF beside it (WantsPdf)
  std::string openFailureNote;   // added to the message when no file can be created
  std::string writeFailureNote;  // added to the message when the file cannot be written
};

// The note of a run that was to mark records invoiced.
inline constexpr const char* kNothingMarkedNote = "\n\nNothing was marked invoiced.";

// Creates run's file in setup's ReportPath (RtfDocument::OpenFile, reserving
// the PDF's name when run.pdf), before the document is built. False with
// outcome NotWritten and one message (caption "Horalog") of the reason and
// run.openFailureNote when no file can be created.
bool OpenDocumentFile(RtfDocument& file, const DocumentSetup& setup, const DocumentRun& run,
                      DocumentOutcome* outcome);

// Writes a finished document into the open file and closes it; a failure is
// said in one message (caption "Horalog") with run.writeFailureNote and ends
// the run (NotWritten, nothing marked). Then outcome's path and status
// Written, the PDF beside it when run.pdf (SaveDocumentPdf), the editor
// (OpenInEditor), and, with billed, MarkBilledRecords of *billed in store.
// The time report and the invoice both end this way.
void WriteFinishedDocument(RtfDocument& file, const Document& document, const DocumentRun& run,
                           RecordStore& store, const std::vector<int32_t>* billed,
                           const DocumentOptions& options, DocumentOutcome* outcome);

// The message naming records the store refused to mark invoiced.
std::string UnmarkedRecordsMessage(const RecordStore& store, const std::vector<int32_t>& ids);
