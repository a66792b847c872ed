// The RTF of a document built as plain data.
#include "documents/rtf_writer.h"

namespace {

void WriteParagraph(RtfDocument& file, DocumentKind kind, const Paragraph& paragraph) {
  const std::string text = paragraph.lines.empty() ? "" : RtfEscape(paragraph.lines.front());
  switch (paragraph.role) {
    case ParagraphRole::Letterhead:
      for (const std::string& line : paragraph.lines) file.WriteLine(RtfEscape(line) + " \\par");
      break;
    case ParagraphRole::DateLine:
      // The report's date line also closes the prologue's 15-point group.
      file.WriteLine(std::string(kind == DocumentKind::Report ? "} " : "") +
                     "\\pard \\qr { \\par " + text + "\\par\\par }");
      break;
    case ParagraphRole::Title:
      file.WriteLine(" \\pard \\qc {\\plain \\f1 \\fs28 \\b " + text + " \\b0 \\par\\par}");
      break;
    case ParagraphRole::Heading:
      file.WriteLine(" \\pard \\ql {\\plain \\f1 \\fs28 \\b " + text + " \\b0 \\par}");
      break;
    case ParagraphRole::SectionHeading:
      file.WriteLine("\\pard {\\fs24 \\b " + text + " \\b0}");
      file.WriteLine("\\pard { \\par}");
      break;
    case ParagraphRole::ClientAddress:
      file.WriteLine("\\pard \\ql ");
      file.Write("{");
      for (const std::string& line : paragraph.lines) file.WriteLine(RtfEscape(line) + " \\par ");
      file.WriteLine("\t\\par\\par }");
      break;
    case ParagraphRole::InvoiceTitle:
      file.WriteLine("{\\plain \\f1 \\fs30 " + text + " \\par}");
      break;
    case ParagraphRole::PageHeading:
      file.WriteLine("\\page \\pard {\\fs28 \\b " + text + " \\b0}");
      file.WriteLine("\\pard { \\par}");
      break;
  }
}

void WriteCells(RtfDocument& file, const TableRow& row) {
  for (const TableCell& cell : row.cells) {
    file.WriteCell(RtfCellText(cell), cell.bold,
                   cell.align == TextAlign::Right || cell.align == TextAlign::Decimal);
  }
}

void WriteTable(RtfDocument& file, const Table& table) {
  file.ResetColumns();
  for (int width : table.widths) file.AddColumn(width);
  file.fontSize = table.headingHalfPoints;
  file.WriteHeaderRowFormat();
  WriteCells(file, table.heading);
  file.fontSize = table.bodyHalfPoints;
  file.WriteBodyRowFormat();
  for (size_t i = 0; i < table.rows.size(); ++i) {
    if (i + 1 == table.rows.size()) file.WriteClosingRowFormat();
    WriteCells(file, table.rows[i]);
  }
  file.EndTable();
}

}  // namespace

std::string RtfCellText(const TableCell& cell) {
  std::string text;
  for (size_t i = 0; i < cell.lines.size(); ++i) {
    if (cell.plainGroups) {
      text += "{\\plain ";
      if (i > 0) text += " \\par ";
      text += RtfEscape(cell.lines[i]) + " }";
    } else {
      if (i > 0) text += " \\par ";
      text += RtfEscape(cell.lines[i]);
    }
  }
  return text;
}

void WriteRtf(RtfDocument& file, const Document& document) {
  file.WritePrologue(document.kind);
  for (const DocumentBlock& block : document.blocks) {
    if (const auto* paragraph = std::get_if<Paragraph>(&block)) {
      WriteParagraph(file, document.kind, *paragraph);
    } else if (const auto* table = std::get_if<Table>(&block)) {
      WriteTable(file, *table);
    }
  }
}
