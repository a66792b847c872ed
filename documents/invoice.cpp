// The invoice of one account's marked records.
#include "documents/invoice.h"

#include <cctype>

#include "platform/clock.h"
#include "platform/locale_format.h"
#include "platform/ui_services.h"
#include "reporting/reporting_model.h"
#include "settings/registry_key_stack.h"
#include "settings/rounding.h"
#include "store/record_store.h"

namespace {

// Buffers of the address lines, in bytes with the terminating zero.
constexpr size_t kCompanyAddressCapacity = 256;
constexpr size_t kClientAddressCapacity = 64;

const char* const kAddressValues[] = {"Address1", "Address2", "Address3", "Address4"};

const TimeRecord* FindRecord(const RecordStore& store, int32_t id) {
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.id == id) return &record;
  }
  return nullptr;
}

void WriteHeading(RtfDocument& document, const std::string& account, std::time_t now) {
  if (document.setupKeyOpened()) {
    RegistryKeyStack keys;
    if (keys.OpenPath(kSetupKeyPath)) {
      for (const char* name : kAddressValues) {
        std::string line;
        if (keys.QueryString(name, &line, kCompanyAddressCapacity) && !line.empty()) {
          document.WriteLine(RtfEscape(line) + " \\par");
        }
      }
    }
    keys.CloseAll();
  }
  document.WriteLine("\\pard \\qr { \\par " + RtfEscape(FormatDate(now, DateForm::Long)) +
                     "\\par\\par }");
  document.WriteLine("\\pard \\ql ");
  document.Write("{");
  {
    RegistryKeyStack keys;
    // Reading the address creates the account key of a new account.
    const bool opened = keys.CreatePath(kAcctsKeyPath) && keys.CreateChild(account);
    for (const char* name : kAddressValues) {
      std::string line;
      if (opened && keys.QueryString(name, &line, kClientAddressCapacity) && !line.empty()) {
        document.WriteLine(RtfEscape(line) + " \\par ");
      }
    }
    keys.CloseAll();
  }
  document.WriteLine("\t\\par\\par }");
  document.WriteLine("{\\plain \\f1 \\fs30 Invoice \\par}");
}

}  // namespace

InvoiceContent GatherInvoice(ReportingModel& model) {
  InvoiceContent content;
  content.account = model.accounts().ComboText();
  content.increment = GetAccountAtom(content.account);
  content.mode = GetAccountRound(content.account);
  for (const RecordRow& row : model.rows()) {
    if (row.inc != "X") continue;
    content.billed.push_back(row.id);
    if (row.id < 0) continue;
    InvoiceItemLine* line = nullptr;
    for (InvoiceItemLine& existing : content.lines) {
      if (existing.name == row.item) {
        line = &existing;
        break;
      }
    }
    if (line == nullptr) {
      content.lines.push_back({row.item, 0});
      line = &content.lines.back();
    }
    line->count += CountIncrements(model.store(), row.id, content.increment, content.mode);
  }
  return content;
}

std::string InvoiceFileNamePart(const std::string& account) {
  std::string part = account;
  while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.pop_back();
  for (char& c : part) {
    if (c == ' ' || c == '/') c = '_';
  }
  return part;
}

std::vector<int32_t> OrderByDate(const RecordStore& store, std::vector<int32_t> ids) {
  std::vector<int32_t> dates;
  dates.reserve(ids.size());
  for (int32_t id : ids) {
    const TimeRecord* record = FindRecord(store, id);
    dates.push_back(record != nullptr ? record->grpdate : 0);
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    size_t earliest = i;
    int64_t earliestDate = 650000000;  // beyond every packed date
    for (size_t k = i + 1; k < ids.size(); ++k) {
      if (dates[k] < earliestDate) {
        earliestDate = dates[k];
        earliest = k;
      }
    }
    if (earliest != i && earliestDate < dates[i]) {
      std::swap(ids[i], ids[earliest]);
      std::swap(dates[i], dates[earliest]);
    }
  }
  return ids;
}

std::string SpanHoursCell(const RecordStore& store, int32_t id, int increment, RoundMode mode) {
  const int perHour = IncrementsPerHour(increment);
  std::string cell;
  bool first = true;
  for (size_t position : store.SpansOf(id)) {
    const int64_t count = SpanIncrements(store.timeSpans()[position].duration, increment, mode);
    cell += "{\\plain ";
    if (!first) cell += " \\par ";
    cell += FormatHours(count, perHour) + " }";
    first = false;
  }
  return cell;
}

std::vector<int32_t> WriteInvoice(RtfDocument& document, const RecordStore& store,
                                  const InvoiceContent& content, std::time_t now) {
  const int perHour = IncrementsPerHour(content.increment);
  document.WritePrologue(DocumentKind::Invoice);
  WriteHeading(document, content.account, now);

  document.ResetColumns();
  for (int width : {60, 15, 15, 20}) document.AddColumn(width);
  document.WriteHeaderRowFormat();
  for (const char* heading : {"Item", "Hours", "Rate", "Extension"}) {
    document.WriteCell(heading, true, false);
  }
  document.WriteBodyRowFormat();
  for (const InvoiceItemLine& line : content.lines) {
    const int rate = GetAccountRate(content.account, line.name);
    const double extension = Extension(line.count, rate, perHour);
    document.WriteCell(RtfEscape(line.name), false, false);
    document.WriteCell(FormatInvoiceHours(line.count, perHour), false, true);
    document.WriteCell(FormatAmount(rate * 0.01), false, true);
    document.WriteCell(FormatAmount(extension), false, true);
    document.runningTotal += extension;
  }
  document.WriteClosingRowFormat();
  document.WriteCell("Total", false, false);
  document.WriteCell("", false, false);
  document.WriteCell("", false, false);
  document.WriteCell(RtfEscape(document.currencySymbol()) + FormatAmount(document.runningTotal),
                     false, true);
  document.EndTable();

  document.WriteLine("\\page \\pard {\\fs28 \\b Details \\b0}");
  document.WriteLine("\\pard { \\par}");
  document.ResetColumns();
  for (int width : {20, 25, 70, 15}) document.AddColumn(width);
  document.WriteHeaderRowFormat();
  for (const char* heading : {"Date", "Item", "Notes", "Hours"}) {
    document.WriteCell(heading, true, false);
  }
  document.WriteBodyRowFormat();
  const std::vector<int32_t> ordered = OrderByDate(store, content.billed);
  for (size_t k = 0; k < ordered.size(); ++k) {
    const TimeRecord* record = FindRecord(store, ordered[k]);
    if (k + 1 == ordered.size()) document.WriteClosingRowFormat();
    if (record == nullptr) {
      for (int cell = 0; cell < 3; ++cell) document.WriteCell("", false, false);
      document.WriteCell("", false, true);
      continue;
    }
    document.WriteCell(RtfEscape(FormatPackedDate(record->grpdate, DateForm::Short)), false, false);
    document.WriteCell(RtfEscape(store.ItemName(record->item)), false, false);
    document.WriteCell(RtfEscape(record->notes), false, false);
    document.WriteCell(SpanHoursCell(store, record->id, content.increment, content.mode), false,
                       true);
  }
  document.EndTable();
  return ordered;
}

DocumentOutcome CreateInvoice(ReportingModel& model, const DocumentOptions& options) {
  DocumentOutcome outcome;
  if (model.items().count() == 0) {
    outcome.error = "No account is selected.";
    return outcome;
  }
  const InvoiceContent content = GatherInvoice(model);
  const std::time_t now = Now();
  RtfDocument document(content.account, content.increment, content.mode);
  if (!document.OpenFile("HLRep" + InvoiceFileNamePart(content.account) +
                         FileDateStamp(now, "%m%d%y"))) {
    outcome.error = document.error();
    Ui().ShowMessage(outcome.error + "\n\nNothing was marked invoiced.", "Horalog",
                     MessageButtons::Ok);
    return outcome;
  }
  const std::vector<int32_t> ordered = WriteInvoice(document, model.store(), content, now);
  if (!document.Close()) {
    outcome.error = document.error();
    Ui().ShowMessage(outcome.error + "\n\nNothing was marked invoiced.", "Horalog",
                     MessageButtons::Ok);
    return outcome;
  }
  outcome.path = document.filePath();
  if (options.openEditor) {
    outcome.editorStarted = document.ShowInEditor();
    if (!outcome.editorStarted) {
      Ui().ShowMessage(document.editorError(), "Horalog", MessageButtons::Ok);
    }
  }
  MarkBilledRecords(model.store(), ordered, options, &outcome);
  model.RefreshRecordList(false);
  return outcome;
}
