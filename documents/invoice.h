// The invoice: one account's marked records billed per item, with a details
// page, built from the selection and the billing values read before, and
// marked invoiced once the document is complete.
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

// One row of the main window marked "X": its record and its "Item" text.
struct InvoiceRow {
  int32_t id = 0;
  std::string item;
};

// What the Invoice button bills: the selected account's text and its rows
// marked "X", in row order.
struct InvoiceSelection {
  std::string account;
  std::vector<InvoiceRow> rows;
};

// The selection of the main window.
InvoiceSelection SelectionOf(const ReportingModel& model);

// What one invoice bills.
struct InvoiceContent {
  std::string account;
  std::vector<int32_t> billed;         // record ids, in row order
  std::vector<InvoiceItemLine> lines;  // in order of first appearance
};

// The selection's ids in row order, and one line per distinct item text
// (exact comparison) in order of first appearance with the increments of its
// rows in store by billing (a negative id counts nothing and makes no line).
// Any number of rows and items.
InvoiceContent GatherInvoice(const RecordStore& store, const InvoiceSelection& selection,
                             const AccountBilling& billing);

// The item texts of content's lines, whose rates the invoice bills.
std::vector<std::string> LineItems(const InvoiceContent& content);

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

// The invoice of content: the company's addresses (the setup's, when its
// Setup key was found) and clientAddress, the date of now, the items table
// with billing's rates and its total (after the setup's currency symbol) and
// the details page of the records in date order.
InvoiceDocument BuildInvoice(const RecordStore& store, const InvoiceContent& content,
                             const AccountBilling& billing, const DocumentSetup& setup,
                             const std::vector<std::string>& clientAddress, std::time_t now);

// Bills selection from store: reads the account's increment and mode and
// gathers the lines, reads the setup and creates "HLRep" +
// InvoiceFileNamePart(account) + today as %m%d%y in ReportPath, then reads
// the lines' rates and the client's address, builds the invoice and writes
// it with WriteFinishedDocument: only once it is complete are the billed
// records marked invoiced (MarkBilledRecords, with the handheld update). A
// PDF, when wanted (WantsPdf), is written beside the RTF first; its failure
// is reported and changes nothing else. A document that cannot be created
// or written is reported in a message (caption "Horalog"); nothing is marked.
// A failed editor start is reported too.
DocumentOutcome CreateInvoice(const InvoiceSelection& selection, RecordStore& store,
                              const DocumentOptions& options);
// The Invoice button: CreateInvoice of the main window's selection and
// store, then, when a document was written, the record list refreshed. With
// no account selected (an empty item list) nothing is written (NotWritten,
// no message); the list keeps its marks when nothing was written.
DocumentOutcome CreateInvoice(ReportingModel& model, const DocumentOptions& options);
