// The PDF beside each document: the renderer interface that a Qt-linked
// layer implements (the core never includes Qt), the SavePdf setting, the
// paper size of the locale and the file written beside the RTF.
#pragma once

#include <optional>
#include <string>

#include "documents/document.h"
#include "platform/status.h"

enum class PaperSize { Letter, A4 };

// Lays a document out on pages and returns the PDF's bytes. Implemented
// with Qt (documents/pdf/); installed by the programs and by horalog.
class PdfRenderer {
 public:
  virtual ~PdfRenderer() = default;
  // The whole PDF in *pdf, or a failure saying why.
  virtual Status Render(const Document& document, PaperSize paper, std::string* pdf) = 0;
};

// The installed renderer, or nullptr when this program has none.
PdfRenderer* InstalledPdfRenderer();
// Installs renderer (not owned); nullptr removes it.
void SetPdfRenderer(PdfRenderer* renderer);

// The setup option "Also save as PDF": SavePdf of the Setup key, a DWORD;
// true when missing or unreadable, false only for a stored 0.
bool SavePdfSetting();

// Letter for the United States, A4 everywhere else. The locale is the first
// non-empty of LC_ALL, LC_PAPER and LANG; "C", "POSIX" and nothing set count
// as en_US, as they do for the documents' dates.
PaperSize PaperSizeForLocale();

// rtfPath with its ".rtf" replaced by ".pdf" (appended when it has none).
std::string PdfPathBeside(const std::string& rtfPath);

// Renders document with the installed renderer and writes it to
// PdfPathBeside(rtfPath), created exclusively (an existing file or link is
// never written through) and flushed to the disk. Fails, naming the file and
// the reason, when there is no renderer, rendering fails or the file cannot
// be created or written; a partial file is removed. The RTF is never touched.
Status WritePdfBeside(const Document& document, const std::string& rtfPath);
