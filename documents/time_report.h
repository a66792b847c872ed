// The time report of one period of one handheld: summary per account and
// item, details per account, the daily tables, built from the records and
// the billing values read before; optionally marking what it bills.
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

// What the report dialog's Create hands over.
struct TimeReportRequest {
  std::string deviceName;   // the handheld whose store is read
  std::string periodLabel;  // the period list's text, printed in the heading
  int32_t firstDay = 0;     // packed like grpdate, both inclusive
  int32_t lastDay = 0;
  bool setInvoiced = false;  // mark the reported records invoiced
};

// The report, and what building it found.
struct TimeReportContent {
  Document document;
  int64_t totalMinutes = 0;     // the Daily Account Totals' total
  std::vector<int32_t> billed;  // records billed in an account's summary, in list order
};

// The Times cell of record id: per span "START-END (HOURS)" with the
// locale's clock times (the end modulo one day) and FormatHours of the
// span's own increments, ordered by start (equal starts keep list order).
// None for a record without spans.
std::vector<std::string> SpanTimeLines(const RecordStore& store, int32_t id, int increment,
                                       RoundMode mode);
// The same as the RTF cell holds it: escaped lines joined by " \par ".
std::string SpanTimesText(const RecordStore& store, int32_t id, int increment, RoundMode mode);

// The billing values the report of request needs, read once: the increment
// and mode of every account of the period's records and of the store, in
// that order, then the rates of the items the summary bills (those with
// time), account by account.
BillingByAccount ReadReportBilling(const RecordStore& store, const TimeReportRequest& request);

// The report as plain data: heading (the setup's Address1 when its Setup key
// was found, the long date of now, the period label), Summary (its total
// after the setup's currency symbol), the hours chart, one details section
// per account with time, Daily and Daily Account Totals. billing holds every
// account's values (ReadReportBilling).
//
// Within an account, records are grouped by item: first those whose item
// has no name (the store does not know it), then the account's items in list
// order, then items that now belong to another account (the item moved on
// the handheld) in list order, each record in exactly one group. Records of
// every account the store knows are billed (and returned in billed, in list
// order); a record whose account the store does not know appears only in the
// daily tables (and the chart) and is not billed.
TimeReportContent BuildTimeReport(const RecordStore& store, const TimeReportRequest& request,
                                  const BillingByAccount& billing, const DocumentSetup& setup,
                                  std::time_t now);

// The report dialog's Create: reads the setup, creates "Report" + today as
// %y%m%d in ReportPath, then loads the store, reads the billing values and
// builds the report, which WriteFinishedDocument writes and opens in the
// editor; with a PDF wanted (WantsPdf), the PDF beside it first, whose
// failure is reported and changes nothing else. With setInvoiced and a total
// other than 0:00, only once the document is complete, marks the billed
// records invoiced and updates the handheld (MarkBilledRecords). NotWritten
// without a message when the request has no valid period (firstDay 0, or
// after lastDay); a document that cannot be created or written is reported
// in a message (caption "Horalog") and nothing is marked.
DocumentOutcome CreateTimeReport(const TimeReportRequest& request, const DocumentOptions& options);
