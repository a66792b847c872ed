// A document as plain data.
#include "documents/document.h"

TableCell Cell(std::string text, bool bold, TextAlign align) {
  TableCell cell;
  if (!text.empty()) cell.lines.push_back(std::move(text));
  cell.bold = bold;
  cell.align = align;
  return cell;
}

void AddBlock(Document& document, DocumentBlock block) {
  document.blocks.push_back(std::move(block));
}
