// The documents as PDF, laid out with Qt's PDF writer: embedded fonts,
// selectable text, bordered tables whose headings repeat on every page.
#pragma once

#include "documents/pdf_renderer.h"

// Needs a QGuiApplication (the fonts come from it); the offscreen platform
// will do, so no display is needed.
class QtPdfRenderer : public PdfRenderer {
 public:
  // Pages of the paper size, the report with margins of 0.75 inch and the
  // invoice of 1 inch at the sides, as their RTF has them; every page ends
  // in "Page N of M". Tables: columns at least as wide as their heading and
  // their widest number, text columns wrapping, amounts lined up on the
  // decimal point, the heading row repeated on each page, and no row split
  // across two pages. Fails when the application is missing or the writer
  // fails.
  Status Render(const Document& document, PaperSize paper, std::string* pdf) override;
};
