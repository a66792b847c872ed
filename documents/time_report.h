// The time report of one period of one handheld: summary per account and
// item, details per account, the daily tables; optionally marking what it
// bills.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

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

// What writing the report found.
struct TimeReportContent {
  int64_t totalMinutes = 0;     // the Daily Account Totals' total
  std::vector<int32_t> billed;  // records billed in an account's summary, in list order
};

// The Times cell of record id: per span "START-END (HOURS)" with the
// locale's clock times (the end modulo one day) and FormatHours of the
// span's own increments, ordered by start (equal starts keep list order) and
// joined by " \par ". Empty for a record without spans.
std::string SpanTimesText(const RecordStore& store, int32_t id, int increment, RoundMode mode);

// Writes the report after OpenFile: prologue, heading (the Setup key's
// Address1, the long date of now, the period label), Summary, one details
// section per account with time, Daily and Daily Account Totals. The last
// line is left to Close.
//
// Within an account, records are grouped by item: first those whose item
// has no name (the store does not know it), then the account's items in list
// order, then items that now belong to another account (the item moved on
// the handheld) in list order, each record in exactly one group. Records of
// every account the store knows are billed (and returned in billed, in list
// order); a record whose account the store does not know appears only in the
// daily tables and is not billed.
TimeReportContent WriteTimeReport(RtfDocument& document, const RecordStore& store,
                                  const TimeReportRequest& request, std::time_t now);

// The report dialog's Create: writes "Report" + today as %y%m%d into
// ReportPath and opens it in the editor. With setInvoiced and a total other
// than 0:00, only once the document is complete, marks the billed records
// invoiced and updates the handheld (MarkBilledRecords). NotWritten without
// a message when the request has no valid period (firstDay 0, or after
// lastDay); a document that cannot be created or written is reported in a
// message (caption "Horalog") and nothing is marked.
DocumentOutcome CreateTimeReport(const TimeReportRequest& request, const DocumentOptions& options);
