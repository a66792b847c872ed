// The record list and the date ranges as text for other programs.
#include "reporting/record_export.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <vector>

#include "billing/rounding.h"
#include "reporting/reporting_model.h"
#include "settings/account_settings.h"

namespace {

using Line = std::vector<std::string>;

// Lines of fields: tab-separated with LF, or CSV with CRLF line ends.
std::string Table(const std::vector<Line>& lines, ExportFormat format) {
  std::string text;
  for (const Line& line : lines) {
    for (size_t at = 0; at < line.size(); ++at) {
      if (at > 0) text += format == ExportFormat::Csv ? ',' : '\t';
      text += format == ExportFormat::Csv ? CsvField(line[at]) : line[at];
    }
    text += format == ExportFormat::Csv ? "\r\n" : "\n";
  }
  return text;
}

std::string IsoDate(int year, int month, int day) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return JsonString(text);
}

std::string IsoDate(std::time_t value) {
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return "null";
  return IsoDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// Hours as a JSON number: whole increments over increments per hour.
std::string Hours(int64_t count, int perHour) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", static_cast<double>(count) / perHour);
  return text;
}

}  // namespace

ExportFormat ExportFormatFromText(const std::string& text) {
  if (text == "csv") return ExportFormat::Csv;
  if (text == "json") return ExportFormat::Json;
  return ExportFormat::Tsv;
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + '"';
}

std::string ExportRecords(const ReportingModel& model, ExportFormat format) {
  if (format != ExportFormat::Json) {
    std::vector<Line> lines = {Line(std::begin(kRecordColumns), std::end(kRecordColumns))};
    for (const RecordRow& row : model.rows()) {
      lines.push_back(
          {row.inc, row.item, row.date, row.time, row.rate, row.extension, row.invDate});
    }
    lines.push_back({"Rate", model.rateText()});
    lines.push_back({"Total Time", model.totalTimeText()});
    lines.push_back({"Invoice Total", model.invoiceTotalText()});
    return Table(lines, format);
  }
  const int perHour = model.billing().perHour();
  const RecordStore& store = model.store();
  std::string json = "{\"device\": " + JsonString(model.deviceName()) +
                     ", \"account\": " + JsonString(model.accountName()) +
                     ", \"item\": " + JsonString(model.itemName()) + ", \"records\": [";
  int64_t included = 0;
  for (size_t at = 0; at < model.rows().size(); ++at) {
    const RecordRow& row = model.rows()[at];
    const TimeRecord& record = store.timeRecords()[row.record];
    const int64_t count = model.billing().Count(store, record.id);
    if (row.inc == "X") included += count;
    json += std::string(at > 0 ? "," : "") + "\n  {\"id\": " + std::to_string(record.id) +
            ", \"included\": " + (row.inc == "X" ? "true" : "false") +
            ", \"invoiced\": " + (record.invoiced ? "true" : "false") +
            ", \"item\": " + JsonString(row.item) + ", \"date\": " +
            IsoDate(PackedYear(record.grpdate), PackedMonth(record.grpdate),
                    PackedDay(record.grpdate)) +
            ", \"hours\": " + Hours(count, perHour) + ", \"rate\": " + JsonString(row.rate) +
            ", \"extension\": " + JsonString(row.extension) +
            ", \"invoiceDate\": " + (record.invoiced ? IsoDate(record.invoicedate) : "null") + "}";
  }
  return json + "],\n \"rate\": " + JsonString(model.rateText()) +
         ", \"totalHours\": " + Hours(included, perHour) +
         ", \"invoiceTotal\": " + JsonString(model.invoiceTotalText()) + "}\n";
}

std::string ExportDateRanges(const ReportingModel& model, ExportFormat format) {
  const std::vector<std::string>& entries = model.dateRanges().Texts();
  if (format != ExportFormat::Json) {
    std::vector<Line> lines;
    for (const std::string& entry : entries) lines.push_back({entry});
    return Table(lines, format);
  }
  std::string json = "[";
  for (size_t at = 0; at < entries.size(); ++at) {
    const DateRange* range = model.rangeList().Find(entries[at]);
    json += std::string(at > 0 ? "," : "") + "\n {\"label\": " + JsonString(entries[at]) +
            ", \"first\": " + (range ? IsoDate(range->start) : "null") +
            ", \"last\": " + (range ? IsoDate(range->end) : "null") + "}";
  }
  return json + "]\n";
}
