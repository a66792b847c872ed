// The RTF of a document built as plain data: the bytes the time report and
// the invoice have always had.
#pragma once

#include <string>

#include "documents/document.h"
#include "documents/rtf_document.h"

// A cell's text as RTF: its lines escaped and joined by " \par ", or, for a
// cell of plain groups, each line as "{\plain " + (" \par " but for the
// first) + line + " }". Empty for a cell without lines.
std::string RtfCellText(const TableCell& cell);

// Writes document into file after OpenFile: the prologue of its kind, then
// every paragraph and table in order (charts have no RTF form). The last
// line is left to Close.
void WriteRtf(RtfDocument& file, const Document& document);
