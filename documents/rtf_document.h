// The RTF writer of the time report and the invoice: file name, first lines,
// table layouts, rows and cells, closing and opening in the editor.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/status.h"
#include "settings/account_settings.h"

// Which document a writer builds: the prologue differs (font and margins).
enum class DocumentKind { Report, Invoice };

// User text as RTF: "\", "{" and "}" escaped, a tab as \tab, a line end
// (CR LF, LF or CR) as \line, other control characters as \'hh, and every
// character beyond ASCII as \uN? with N its UTF-16 unit as a signed 16-bit
// number (two units for a character beyond U+FFFF). A byte that is not
// valid UTF-8 is written as U+FFFD. The result is plain ASCII.
std::string RtfEscape(const std::string& text);

// The local date of now in strftime's format, as document file names carry
// it ("%y%m%d" gives 030215 for 15 February 2003).
std::string FileDateStamp(std::time_t now, const char* format);

// Writes all of data through fd, then flushes it to the disk and closes fd
// (always). 0 when all of that succeeded, else the system's error number.
int WriteAndCloseFile(int fd, const std::string& data);

// One document. Calling order: construct, OpenFile, WritePrologue, heading
// lines, then for each table ResetColumns, AddColumn per column,
// WriteHeaderRowFormat, heading cells, WriteBodyRowFormat, rows (the last
// one after WriteClosingRowFormat), EndTable; then Close (and ShowInEditor).
// The text is kept in memory and written to the file by Close, which checks
// every write: a document is either complete in its file or reported.
class RtfDocument {
 public:
  static constexpr int kMaxColumns = 20;
  static constexpr int kDefaultFontSize = 24;
  // Candidates tried by OpenFile before it gives up: Base.rtf, Base_1.rtf ...
  static constexpr int kMaxNameAttempts = 10000;

  RtfDocument();
  ~RtfDocument();
  RtfDocument(const RtfDocument&) = delete;
  RtfDocument& operator=(const RtfDocument&) = delete;

  // Takes ReportPath and CurrencySymbol of setup, then creates the first
  // free file of ReportPath + "/"
  // + baseName + ".rtf", baseName + "_1.rtf", ... exclusively; the document
  // is later written through that very file. The separator is appended
  // always, also after a folder ending in "/" (a doubled separator is
  // harmless), and a missing ReportPath leaves "/" alone. Fails when no file
  // could be created: the search stops at the first failure other than "the
  // file exists" (missing folder, no permission) or after kMaxNameAttempts
  // candidates; the failure names the folder and the system's reason. With
  // reservePdf, a candidate whose ".pdf" file exists counts as taken too, so
  // the PDF beside the document never meets an older file.
  Status OpenFile(const DocumentSetup& setup, const std::string& baseName, bool reservePdf = false);
  // OpenFile with the Setup key as it is now (ReadDocumentSetup).
  Status OpenFile(const std::string& baseName, bool reservePdf = false);

  // The four first lines (font table, margins, centring, the 15-point group).
  void WritePrologue(DocumentKind kind);

  // Table layout.
  void ResetColumns();
  // Adds a column width units of 72 twips wide; ignored beyond kMaxColumns.
  void AddColumn(int width);
  void WriteHeaderRowFormat();
  void WriteBodyRowFormat();
  void WriteClosingRowFormat();
  // One cell holding text unchanged (callers escape user text with
  // RtfEscape); after the last column's cell, the row end.
  void WriteCell(const std::string& text, bool bold, bool right);
  void EndRow();
  // Ends an unfinished row, then writes the paragraph after the table.
  void EndTable();

  // A fragment followed by CR LF, or without a line end.
  void WriteLine(const std::string& fragment);
  void Write(const std::string& fragment);

  // Writes the last line and the whole text to the file, then closes it.
  // Fails when a write, the flush to disk or the close failed: the partial
  // file is removed and the failure names the file and the reason. Without
  // OpenFile, fails with nothing written (with OpenFile's failure, when it
  // failed).
  Status Close();

  // Starts the editor on the written document: EditorPath of the Setup key
  // with the document as its one argument, or xdg-open when EditorPath is
  // empty; nothing waits for it. A failed start is no failure of the
  // document: its message says the document was written.
  Status ShowInEditor();

  // The type size of the cells and of the paragraph after a table.
  int fontSize = kDefaultFontSize;

  const std::string& filePath() const { return filePath_; }
  const std::string& folder() const { return folder_; }
  // Empty until OpenFile takes it.
  const std::string& currencySymbol() const { return currencySymbol_; }
  int columnCount() const { return columnCount_; }
  int columnRight(int column) const { return columnRight_[static_cast<size_t>(column)]; }
  int cellsInRow() const { return cellsInRow_; }
  // The text written so far.
  const std::string& text() const { return text_; }

 private:
  void WriteEdge(const std::string& fragment, int column);

  std::string filePath_;
  std::string folder_;
  std::string currencySymbol_;
  int fd_ = -1;
  std::array<int32_t, kMaxColumns> columnRight_{};
  int columnCount_ = 0;
  int32_t nextRight_ = 0;
  int cellsInRow_ = 0;
  std::string text_;
  // Why OpenFile or Close last failed: a Close without a file says it again.
  std::string lastFailure_;
};
