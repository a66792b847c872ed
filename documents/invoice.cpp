// The invoice of one account's marked records.
#include "documents/invoice.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <vector>

#include "billing/rounding.h"
#include "documents/rtf_writer.h"
#include "platform/clock.h"
#include "platform/locale_format.h"
#include "reporting/reporting_model.h"
#include "store/record_store.h"

namespace {

// The record of each of ids in store (the first in the list with that id),
// or null: one walk through the list, not one for each id (an invoice of a
// few thousand rows would take a few million steps).
std::vector<const TimeRecord*> RecordsOf(const RecordStore& store,
                                         const std::vector<int32_t>& ids) {
  std::unordered_map<int32_t, const TimeRecord*> wanted;
  wanted.reserve(ids.size());
  for (int32_t id : ids) wanted.emplace(id, nullptr);
  size_t left = wanted.size();
  for (const TimeRecord& record : store.timeRecords()) {
    if (left == 0) break;
    if (auto found = wanted.find(record.id); found != wanted.end() && found->second == nullptr) {
      found->second = &record;
      --left;
    }
  }
  std::vector<const TimeRecord*> records;
  records.reserve(ids.size());
  for (int32_t id : ids) records.push_back(wanted.find(id)->second);
  return records;
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

void AddHeading(Document& document, const DocumentSetup& setup,
                const std::vector<std::string>& client, std::time_t now) {
  std::vector<std::string> company;
  if (setup.found) {
    for (const std::string& line : setup.address) {
      if (!line.empty()) company.push_back(line);
    }
  }
  if (!company.empty()) {
    AddBlock(document, Lines(ParagraphRole::Letterhead, std::move(company), TextAlign::Center, 30));
  }
  AddBlock(document,
           Lines(ParagraphRole::DateLine, {FormatDate(now, DateForm::Long)}, TextAlign::Right, 24));
  AddBlock(document, Lines(ParagraphRole::ClientAddress, client, TextAlign::Left, 24));
  AddBlock(document, Lines(ParagraphRole::InvoiceTitle, {"Invoice"}, TextAlign::Left, 30));
}

Table StartTable(std::initializer_list<int> widths, std::initializer_list<const char*> headings) {
  Table table;
  table.widths = widths;
  for (const char* heading : headings) table.heading.cells.push_back(Cell(heading, true));
  return table;
}

}  // namespace

InvoiceSelection SelectionOf(const ReportingModel& model) {
  InvoiceSelection selection;
  selection.account = model.accounts().ComboText();
  for (const RecordRow& row : model.rows()) {
    if (row.inc == "X") selection.rows.push_back({row.id, row.item});
  }
  return selection;
}

InvoiceContent GatherInvoice(const RecordStore& store, const InvoiceSelection& selection,
                             const AccountBilling& billing) {
  InvoiceContent content;
  content.account = selection.account;
  for (const InvoiceRow& row : selection.rows) {
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
    line->count += billing.Count(store, row.id);
  }
  return content;
}

std::vector<std::string> LineItems(const InvoiceContent& content) {
  std::vector<std::string> items;
  for (const InvoiceItemLine& line : content.lines) items.push_back(line.name);
  return items;
}

std::string InvoiceFileNamePart(const std::string& account) {
  std::string part = account;
  while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.pop_back();
  for (char& c : part) {
    if (c == ' ' || c == '/') c = '_';
  }
  return part;
}

namespace {

// ids put in date order as OrderByDate says, and the record of each (null
// for an id the store lacks) beside it, in the same order.
std::vector<const TimeRecord*> PutInDateOrder(const RecordStore& store, std::vector<int32_t>& ids) {
  const size_t n = ids.size();
  std::vector<const TimeRecord*> records = RecordsOf(store, ids);
  std::vector<int32_t> dates;
  dates.reserve(n);
  for (const TimeRecord* record : records) dates.push_back(record != nullptr ? record->grpdate : 0);
  // For each position, the earliest date after it (the first position among
  // equal ones) comes from a tree of the positions' minimums instead of a
  // walk through the rest: the same order, in n log n steps instead of n².
  // A leaf holds a position; a node, the one of its two with the earlier
  // date, the lower position between equals.
  size_t leaves = 1;
  while (leaves < n) leaves *= 2;
  std::vector<size_t> tree(2 * leaves, n);  // n: no position
  const auto earlier = [&](size_t a, size_t b) {
    if (a == n || b == n) return a == n ? b : a;
    if (dates[a] != dates[b]) return dates[b] < dates[a] ? b : a;
    return std::min(a, b);
  };
  // The nodes above position again, after its date changed.
  const auto update = [&](size_t position) {
    for (size_t node = (leaves + position) / 2; node >= 1; node /= 2) {
      tree[node] = earlier(tree[2 * node], tree[2 * node + 1]);
    }
  };
  for (size_t position = 0; position < n; ++position) tree[leaves + position] = position;
  for (size_t node = leaves - 1; node >= 1; --node) {
    tree[node] = earlier(tree[2 * node], tree[2 * node + 1]);
  }
  // The earliest of the positions from, from + 1, ... n - 1.
  const auto earliestFrom = [&](size_t from) {
    size_t best = n;
    for (size_t low = from + leaves, high = n + leaves; low < high; low /= 2, high /= 2) {
      if (low & 1) best = earlier(best, tree[low++]);
      if (high & 1) best = earlier(best, tree[--high]);
    }
    return best;
  };
  for (size_t i = 0; i + 1 < n; ++i) {
    const size_t earliest = earliestFrom(i + 1);
    // A date beyond every packed one (650,000,000) is never taken as earlier.
    if (dates[earliest] < 650000000 && dates[earliest] < dates[i]) {
      std::swap(ids[i], ids[earliest]);
      std::swap(records[i], records[earliest]);
      std::swap(dates[i], dates[earliest]);
      update(earliest);  // position i is never looked at again
    }
  }
  return records;
}

}  // namespace

std::vector<int32_t> OrderByDate(const RecordStore& store, std::vector<int32_t> ids) {
  PutInDateOrder(store, ids);
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
                             const AccountBilling& billing, const DocumentSetup& setup,
                             const std::vector<std::string>& clientAddress, std::time_t now) {
  const int perHour = billing.perHour();
  InvoiceDocument built;
  Document& document = built.document;
  document.kind = DocumentKind::Invoice;
  document.title = "Invoice";
  AddHeading(document, setup, clientAddress, now);

  Table items = StartTable({60, 15, 15, 20}, {"Item", "Hours", "Rate", "Extension"});
  double total = 0.0;
  for (const InvoiceItemLine& line : content.lines) {
    const int rate = billing.Rate(line.name);
    const double extension = Extension(line.count, rate, perHour);
    items.rows.push_back(
        {{Cell(line.name), Cell(FormatInvoiceHours(line.count, perHour), false, TextAlign::Decimal),
          Cell(FormatAmount(rate * 0.01), false, TextAlign::Decimal),
          Cell(FormatAmount(extension), false, TextAlign::Decimal)}});
    total += extension;
  }
  items.rows.push_back(
      {{Cell("Total"), Cell(""), Cell(""),
        Cell(setup.currencySymbol + FormatAmount(total), false, TextAlign::Decimal)}});
  AddBlock(document, std::move(items));

  Paragraph details = Lines(ParagraphRole::PageHeading, {"Details"}, TextAlign::Left, 28, true);
  details.newPage = true;
  AddBlock(document, std::move(details));
  Table rows = StartTable({20, 25, 70, 15}, {"Date", "Item", "Notes", "Hours"});
  built.ordered = content.billed;
  for (const TimeRecord* record : PutInDateOrder(store, built.ordered)) {
    TableCell hours;
    hours.align = TextAlign::Right;
    hours.plainGroups = true;
    if (record == nullptr) {
      rows.rows.push_back({{Cell(""), Cell(""), Cell(""), std::move(hours)}});
      continue;
    }
    hours.lines = SpanHourLines(store, record->id, billing.increment, billing.mode);
    rows.rows.push_back(
        {{Cell(FormatPackedDate(record->grpdate, DateForm::Short)),
          Cell(store.ItemName(record->item)), Cell(std::string(record->notes)), std::move(hours)}});
  }
  AddBlock(document, std::move(rows));
  return built;
}

DocumentOutcome CreateInvoice(const InvoiceSelection& selection, RecordStore& store,
                              const DocumentOptions& options) {
  DocumentOutcome outcome;
  AccountBilling billing = ReadAccountBilling(selection.account);
  const InvoiceContent content = GatherInvoice(store, selection, billing);
  const std::time_t now = Now();
  DocumentRun run;
  run.baseName = "HLRep" + InvoiceFileNamePart(content.account) + FileDateStamp(now, "%m%d%y");
  run.pdf = WantsPdf(options);
  run.openFailureNote = run.writeFailureNote = kNothingMarkedNote;
  const DocumentSetup setup = ReadDocumentSetup();
  RtfDocument file;
  if (!OpenDocumentFile(file, setup, run, &outcome)) return outcome;
  ReadItemRates(content.account, LineItems(content), &billing);
  const InvoiceDocument built =
      BuildInvoice(store, content, billing, setup, ReadClientAddress(content.account), now);
  WriteFinishedDocument(file, built.document, run, store, &built.ordered, options, &outcome);
  return outcome;
}

DocumentOutcome CreateInvoice(ReportingModel& model, const DocumentOptions& options) {
  if (model.items().count() == 0) {
    DocumentOutcome outcome;
    outcome.error = "No account is selected.";
    return outcome;
  }
  DocumentOutcome outcome = CreateInvoice(SelectionOf(model), model.store(), options);
  if (outcome.status != DocumentOutcome::Status::NotWritten) model.RefreshRecordList(false);
  return outcome;
}
