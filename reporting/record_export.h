// The record list and the date ranges of a selection as text for other
// programs: tab-separated (the columns as the window shows them), CSV
// (the same fields, quoted as RFC 4180 quotes them) or JSON (typed fields).
#pragma once

#include <string>

class ReportingModel;

enum class ExportFormat { Tsv, Csv, Json };

// "tsv", "csv" or "json".
ExportFormat ExportFormatFromText(const std::string& text);

// The selected account and item's records. TSV and CSV: the heading, a line
// per record with the window's texts, then "Rate", "Total Time" and
// "Invoice Total" each beside its text. JSON: an object with "device",
// "account", "item", "records" (each with "id", "included", "invoiced",
// "item", "date" and "invoiceDate" as ISO dates or null, "hours" as a
// number, "rate" and "extension" as decimal strings) and the totals
// ("rate", "totalHours" a number, "invoiceTotal").
std::string ExportRecords(const ReportingModel& model, ExportFormat format);

// The date ranges of the selection, "All" first. TSV and CSV: a label a
// line. JSON: an array of objects with "label", "first" and "last" (ISO
// dates; null for "All").
std::string ExportDateRanges(const ReportingModel& model, ExportFormat format);

// field as a CSV field: quoted, its quotes doubled, when it holds a comma,
// a quote or a line break.
std::string CsvField(const std::string& field);

// text as a JSON string, quotes included.
std::string JsonString(const std::string& text);
