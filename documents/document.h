// A document as plain data: paragraphs, tables and the hours chart that the
// time report and the invoice build once, and that the RTF writer and the
// PDF renderer each write in their own way.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "documents/rtf_document.h"

enum class TextAlign {
  Left,
  Center,
  Right,
  Decimal,  // right-aligned in RTF; the PDF lines the column up on its last "."
};

// What a paragraph is to its document. The RTF writer writes each role with
// the fragments the documents have always had; the PDF renderer spaces them.
enum class ParagraphRole {
  Letterhead,      // the company's address lines, centred
  DateLine,        // the long date of the document, right-aligned
  Title,           // "Horalog Report for" the period
  Heading,         // "Summary"
  SectionHeading,  // an account's name, "Daily", "Daily Account Totals"
  ClientAddress,   // the invoice's address lines of the client (the paragraph may hold none)
  InvoiceTitle,    // "Invoice"
  PageHeading,     // "Details", on a page of its own
};

struct Paragraph {
  ParagraphRole role = ParagraphRole::Heading;
  std::vector<std::string> lines;  // plain text, unescaped
  TextAlign align = TextAlign::Left;
  bool bold = false;
  int halfPoints = 24;  // type size in half-points (24 = 12 pt)
  bool newPage = false;
};

struct TableCell {
  std::vector<std::string> lines;  // plain text, unescaped; none for an empty cell
  bool bold = false;
  TextAlign align = TextAlign::Left;
  // RTF only: each line in a group of its own ("{\plain 0.25 }{\plain  \par
  // 0.75 }", the invoice's hours per span) rather than joined by " \par ".
  bool plainGroups = false;
};

struct TableRow {
  std::vector<TableCell> cells;
};

// A table with a heading row; its last row closes it (the bottom border).
struct Table {
  std::vector<int> widths;  // column widths in units of 72 twips (1/20 inch)
  TableRow heading;
  std::vector<TableRow> rows;
  int headingHalfPoints = 24;
  int bodyHalfPoints = 24;
};

// Rounded hours per day and account, drawn as stacked bars with a legend in
// the PDF; the RTF has no picture.
struct HoursChart {
  std::string title;
  std::vector<std::string> days;              // a label per day, in calendar order
  std::vector<std::string> accounts;          // the legend, in order of name
  std::vector<std::vector<int64_t>> minutes;  // [day][account]
};

using DocumentBlock = std::variant<Paragraph, Table, HoursChart>;

struct Document {
  DocumentKind kind = DocumentKind::Report;
  std::string title;  // the PDF's title
  std::vector<DocumentBlock> blocks;
};

// Appends block to document. Out of line: pushed inline, g++ 12 at -O2
// warns falsely that a block moved on a reallocation may be uninitialized.
void AddBlock(Document& document, DocumentBlock block);

// A cell of one line.
TableCell Cell(std::string text, bool bold = false, TextAlign align = TextAlign::Left);
