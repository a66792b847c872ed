// The invoice of one account's marked records.
#include "documents/invoice.h"

#include <cctype>

#include "billing/rounding.h"
#include "documents/rtf_writer.h"
#include "platform/clock.h"
#include "platform/locale_format.h"
#include "platform/ui_services.h"
#include "reporting/reporting_model.h"
#include "settings/registry_key_stack.h"
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

Paragraph Lines(ParagraphRole role, std::vector<std::string> lines, TextAlign align, int halfPoints,
                bool bold = false) {
  Paragraph paragraph;
  paragraph.role = role;
  paragraph.lines = std::move(lines);
  paragraph.align = align;
  paragraph.halfPoints = halfPoints;
  paragraph.bold = bold;
  return paragraph;
}

void AddHeading(Document& document, bool setupKeyOpened, const std::string& account,
                std::time_t now) {
  std::vector<std::string> company;
  if (setupKeyOpened) {
    RegistryKeyStack keys;
    if (keys.OpenPath(kSetupKeyPath)) {
      for (const char* name : kAddressValues) {
        std::string line;
        if (keys.QueryString(name, &line, kCompanyAddressCapacity) && !line.empty()) {
          company.push_back(line);
        }
      }
    }
    keys.CloseAll();
  }
  if (!company.empty()) {
    document.blocks.push_back(
        Lines(ParagraphRole::Letterhead, std::move(company), TextAlign::Center, 30));
  }
  document.blocks.push_back(
      Lines(ParagraphRole::DateLine, {FormatDate(now, DateForm::Long)}, TextAlign::Right, 24));
  std::vector<std::string> client;
  {
    RegistryKeyStack keys;
    // Reading the address creates the account key of a new account.
    const bool opened = keys.CreatePath(kAcctsKeyPath) && keys.CreateChild(account);
    for (const char* name : kAddressValues) {
      std::string line;
      if (opened && keys.QueryString(name, &line, kClientAddressCapacity) && !line.empty()) {
        client.push_back(line);
      }
    }
    keys.CloseAll();
  }
  document.blocks.push_back(
      Lines(ParagraphRole::ClientAddress, std::move(client), TextAlign::Left, 24));
  document.blocks.push_back(Lines(ParagraphRole::InvoiceTitle, {"Invoice"}, TextAlign::Left, 30));
}

Table StartTable(std::initializer_list<int> widths, std::initializer_list<const char*> headings) {
  Table table;
  table.widths = widths;
  for (const char* heading : headings) table.heading.cells.push_back(Cell(heading, true));
  return table;
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

std::vector<std::string> SpanHourLines(const RecordStore& store, int32_t id, int increment,
                                       RoundMode mode) {
  const int perHour = IncrementsPerHour(increment);
  std::vector<std::string> lines;
  for (size_t position : store.SpansOf(id)) {
    lines.push_back(FormatHours(
        SpanIncrements(store.timeSpans()[position].duration, increment, mode), perHour));
  }
  return lines;
}

std::string SpanHoursCell(const RecordStore& store, int32_t id, int increment, RoundMode mode) {
  TableCell cell;
  cell.lines = SpanHourLines(store, id, increment, mode);
  cell.plainGroups = true;
  return RtfCellText(cell);
}

InvoiceDocument BuildInvoice(const RecordStore& store, const InvoiceContent& content,
                             std::time_t now, bool setupKeyOpened,
                             const std::string& currencySymbol) {
  const int perHour = IncrementsPerHour(content.increment);
  InvoiceDocument built;
  Document& document = built.document;
  document.kind = DocumentKind::Invoice;
  document.title = "Invoice";
  AddHeading(document, setupKeyOpened, content.account, now);

  Table items = StartTable({60, 15, 15, 20}, {"Item", "Hours", "Rate", "Extension"});
  double total = 0.0;
  for (const InvoiceItemLine& line : content.lines) {
    const int rate = GetAccountRate(content.account, line.name);
    const double extension = Extension(line.count, rate, perHour);
    items.rows.push_back(
        {{Cell(line.name), Cell(FormatInvoiceHours(line.count, perHour), false, TextAlign::Decimal),
          Cell(FormatAmount(rate * 0.01), false, TextAlign::Decimal),
          Cell(FormatAmount(extension), false, TextAlign::Decimal)}});
    total += extension;
  }
  items.rows.push_back({{Cell("Total"), Cell(""), Cell(""),
                         Cell(currencySymbol + FormatAmount(total), false, TextAlign::Decimal)}});
  document.blocks.push_back(std::move(items));

  Paragraph details = Lines(ParagraphRole::PageHeading, {"Details"}, TextAlign::Left, 28, true);
  details.newPage = true;
  document.blocks.push_back(std::move(details));
  Table rows = StartTable({20, 25, 70, 15}, {"Date", "Item", "Notes", "Hours"});
  built.ordered = OrderByDate(store, content.billed);
  for (int32_t id : built.ordered) {
    const TimeRecord* record = FindRecord(store, id);
    TableCell hours;
    hours.align = TextAlign::Right;
    hours.plainGroups = true;
    if (record == nullptr) {
      rows.rows.push_back({{Cell(""), Cell(""), Cell(""), std::move(hours)}});
      continue;
    }
    hours.lines = SpanHourLines(store, record->id, content.increment, content.mode);
    rows.rows.push_back(
        {{Cell(FormatPackedDate(record->grpdate, DateForm::Short)),
          Cell(store.ItemName(record->item)), Cell(std::string(record->notes)), std::move(hours)}});
  }
  document.blocks.push_back(std::move(rows));
  return built;
}

DocumentOutcome CreateInvoice(ReportingModel& model, const DocumentOptions& options) {
  DocumentOutcome outcome;
  if (model.items().count() == 0) {
    outcome.error = "No account is selected.";
    return outcome;
  }
  const InvoiceContent content = GatherInvoice(model);
  const std::time_t now = Now();
  const bool pdf = WantsPdf(options);
  RtfDocument document(content.account, content.increment, content.mode);
  if (!document.OpenFile(
          "HLRep" + InvoiceFileNamePart(content.account) + FileDateStamp(now, "%m%d%y"), pdf)) {
    outcome.error = document.error();
    Ui().ShowMessage(outcome.error + "\n\nNothing was marked invoiced.", "Horalog",
                     MessageButtons::Ok);
    return outcome;
  }
  const InvoiceDocument built = BuildInvoice(model.store(), content, now, document.setupKeyOpened(),
                                             document.currencySymbol());
  WriteRtf(document, built.document);
  if (!document.Close()) {
    outcome.error = document.error();
    Ui().ShowMessage(outcome.error + "\n\nNothing was marked invoiced.", "Horalog",
                     MessageButtons::Ok);
    return outcome;
  }
  outcome.path = document.filePath();
  if (pdf) SaveDocumentPdf(built.document, &outcome);
  OpenInEditor(document, options, &outcome);
  MarkBilledRecords(model.store(), built.ordered, options, &outcome);
  model.RefreshRecordList(false);
  return outcome;
}
