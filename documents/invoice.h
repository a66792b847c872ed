// The invoice: one account's marked records billed per item, with a details
// page, marked invoiced once the document is complete.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "documents/document.h"
#include "documents/document_outcome.h"
#include "documents/rtf_document.h"
#include "settings/account_settings.h"

class RecordStore;
class ReportingModel;

// One line of the items table: an item name as the record list shows it and
// the summed increments of its billed records.
struct InvoiceItemLine {
  std::string name;
  int64_t count = 0;
};

// What one invoice bills.
struct InvoiceContent {
  std::string account;
  int increment = 6;  // minutes
  RoundMode mode = RoundMode::Nearest;
  std::vector<int32_t> billed;         // record ids, in row order
  std::vector<InvoiceItemLine> lines;  // in order of first appearance
};

// The rows of the main window marked "X": their ids in row order, and one
// line per distinct "Item" text (exact comparison) in order of first
// appearance with the increments of its rows (a negative id counts nothing).
// Any number of rows and items.
InvoiceContent GatherInvoice(ReportingModel& model);

// The account name as part of a file name: trailing white space removed,
// every blank and "/" replaced by "_" ("A/B Ltd  " -> "A_B_Ltd").
std::string InvoiceFileNamePart(const std::string& account);

// ids ordered by the date of their record in store (an id the store does not
// have counts as date 0): for each position, the earliest date after it is
// swapped in when it is earlier, the first found winning among equal dates.
std::vector<int32_t> OrderByDate(const RecordStore& store, std::vector<int32_t> ids);

// The details' Hours cell of record id: FormatHours of each span's own
// increments, in list order. None for a record without spans.
std::vector<std::string> SpanHourLines(const RecordStore& store, int32_t id, int increment,
                                       RoundMode mode);
// The same as the RTF cell holds it: per span "{\plain " + (" \par " but for
// the first) + hours + " }".
std::string SpanHoursCell(const RecordStore& store, int32_t id, int increment, RoundMode mode);

// The invoice as plain data, and the order in which its records are marked.
struct InvoiceDocument {
  Document document;
  std::vector<int32_t> ordered;  // the billed records in date order
};

// The invoice of content: the company's addresses (when setupKeyOpened) and
// the client's, the date of now, the items table with its total (after
// currencySymbol) and the details page of the records in date order.
InvoiceDocument BuildInvoice(const RecordStore& store, const InvoiceContent& content,
                             std::time_t now, bool setupKeyOpened,
                             const std::string& currencySymbol);

// The Invoice button: bills the rows of the main window marked "X" for its
// account. Writes "HLRep" + InvoiceFileNamePart(account) + today as %m%d%y
// into ReportPath; only once it is complete are the billed records marked
// invoiced (MarkBilledRecords, with the handheld update), and the record list
// refreshed. A PDF, when wanted (WantsPdf), is written beside the RTF first;
// its failure is reported and changes nothing else. With no account selected (an empty item list)
// nothing is written (NotWritten, no message). A document that cannot be created or written is
// reported in a message (caption "Horalog"); nothing is marked and the list keeps its marks. A
// failed editor start is reported too.
DocumentOutcome CreateInvoice(ReportingModel& model, const DocumentOptions& options);
