// Reads the four tables of a Windows store through mdbtools' C library.
#include "store/windows_store_reader.h"

// mdbtools.h uses glib's types without including it, and only in C linkage.
#include <fcntl.h>
#include <glib.h>
#include <mdbtools.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unicode/ucnv.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "platform/utf16.h"
#include "platform/utf8.h"
#include "store/ole_date.h"
#include "store/statements.h"

namespace {

enum class Kind { Integer, Text, YesNo, Date };

struct ColumnLayout {
  const char* name;
  Kind kind;
};

struct TableLayout {
  const char* name;
  std::vector<ColumnLayout> columns;
};

const TableLayout kAccounts{"accountName", {{"id", Kind::Integer}, {"name", Kind::Text}}};
const TableLayout kItems{"itemName",
                         {{"id", Kind::Integer}, {"parent", Kind::Integer}, {"name", Kind::Text}}};
const TableLayout kRecords{"hlgroup",
                           {{"id", Kind::Integer},
                            {"grpdate", Kind::Integer},
                            {"acct", Kind::Integer},
                            {"item", Kind::Integer},
                            {"notes", Kind::Text},
                            {"invoiced", Kind::YesNo},
                            {"invoicedate", Kind::Date},
                            {"deleted", Kind::YesNo}}};
const TableLayout kSpans{
    "hltime",
    {{"parent", Kind::Integer}, {"starttime", Kind::Integer}, {"duration", Kind::Integer}}};

// The longest span: a year of minutes. More is a damaged value, not work.
constexpr int32_t kLongestSpan = 366 * 1440;

struct Value {
  bool null = true;
  int32_t integer = 0;
  std::string text;
  bool yes = false;
  double date = 0;
};

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Integer: return "a Long Integer";
    case Kind::Text: return "a Text";
    case Kind::YesNo: return "a Yes/No";
    case Kind::Date: return "a Date/Time";
  }
  return "";
}

bool Accepts(Kind kind, int type) {
  switch (kind) {
    case Kind::Integer: return type == MDB_LONGINT || type == MDB_INT || type == MDB_BYTE;
    case Kind::Text: return type == MDB_TEXT || type == MDB_MEMO;
    case Kind::YesNo: return type == MDB_BOOL;
    case Kind::Date: return type == MDB_DATETIME;
  }
  return false;
}

std::string FormatName(unsigned version) {
  switch (version) {
    case MDB_VER_JET3: return "Jet 3";
    case MDB_VER_JET4: return "Jet 4";
    case MDB_VER_ACCDB_2007: return "ACE 12 (Access 2007)";
    case MDB_VER_ACCDB_2010: return "ACE 14 (Access 2010)";
    case MDB_VER_ACCDB_2013: return "ACE 15 (Access 2013)";
    default: return "ACE (Access 2016 or later)";
  }
}

// An open file, a table and a converter, each freed on every way out.
using OpenMdb = std::unique_ptr<MdbHandle, decltype(&mdb_close)>;
using OpenTable = std::unique_ptr<MdbTableDef, decltype(&mdb_free_tabledef)>;
using Converter = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

class TableReader {
 public:
  TableReader(MdbHandle* mdb, UConverter* codePage) : mdb_(mdb), codePage_(codePage) {}

  // Reads every row of the layout's table, handing its values to row (numbered
  // from 1). The first fault ends the read.
  Status Read(const TableLayout& layout,
              const std::function<bool(size_t, const std::vector<Value>&, std::string*)>& row) {
    OpenTable table(mdb_read_table_by_name(mdb_, const_cast<gchar*>(layout.name), MDB_TABLE),
                    &mdb_free_tabledef);
    if (!table) return Status::Failure(NotAStore() + "it has no table " + layout.name);
    GPtrArray* columns = mdb_read_columns(table.get());
    if (columns == nullptr) {
      return Status::Failure(std::string("the columns of table ") + layout.name +
                             " cannot be read");
    }
    std::vector<MdbColumn*> found;
    // Memo texts arrive through a bound buffer (their bytes are on pages of
    // their own); every other value is read from the row's page directly.
    std::vector<std::vector<char>> bound(layout.columns.size());
    for (size_t c = 0; c < layout.columns.size(); ++c) {
      MdbColumn* column = nullptr;
      for (guint i = 0; i < columns->len; ++i) {
        auto* candidate = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
        if (g_ascii_strcasecmp(candidate->name, layout.columns[c].name) == 0) {
          column = candidate;
          if (candidate->col_type == MDB_MEMO) {
            bound[c].assign(mdb_->bind_size + 1, '\0');
            mdb_bind_column(table.get(), static_cast<int>(i + 1), bound[c].data(), nullptr);
          }
        }
      }
      if (column == nullptr) {
        return Status::Failure(NotAStore() + "table " + layout.name + " has no column " +
                               layout.columns[c].name);
      }
      if (!Accepts(layout.columns[c].kind, column->col_type)) {
        return Status::Failure(NotAStore() + "column " + layout.name + "." +
                               layout.columns[c].name + " is not " +
                               KindName(layout.columns[c].kind) + " column");
      }
      found.push_back(column);
    }
    mdb_rewind_table(table.get());
    std::vector<Value> values(layout.columns.size());
    size_t number = 0;
    while (mdb_fetch_row(table.get())) {
      ++number;
      for (size_t c = 0; c < found.size(); ++c) {
        std::string fault;
        if (!Take(layout.columns[c].kind, found[c], bound[c], &values[c], &fault)) {
          return Status::Failure(Where(layout, number) + ": " + layout.columns[c].name + " " +
                                 fault);
        }
      }
      std::string fault;
      if (!row(number, values, &fault))
        return Status::Failure(Where(layout, number) + ": " + fault);
    }
    // A damaged page ends the walk early without a word from mdbtools.
    if (number != table->num_rows) {
      return Status::Failure(std::string("table ") + layout.name + " lists " +
                             std::to_string(table->num_rows) + " rows but only " +
                             std::to_string(number) + " can be read: the file is damaged");
    }
    return Status::Ok();
  }

  static std::string Where(const TableLayout& layout, size_t number) {
    return std::string("table ") + layout.name + ", row " + std::to_string(number);
  }

 private:
  std::string NotAStore() const {
    return "it is a " + FormatName(mdb_->f->jet_version) +
           " database, but not a Horalog store from Windows: ";
  }

  bool Take(Kind kind, const MdbColumn* column, const std::vector<char>& bound, Value* value,
            std::string* fault) {
    const int start = column->cur_value_start;
    const int length = column->cur_value_len;
    value->null = false;
    value->text.clear();  // the value is reused from row to row
    if (kind == Kind::YesNo) {
      // A Yes/No lives in the row's null mask; mdbtools leaves no position.
      value->yes = column->cur_value_len == 0;
      return true;
    }
    if (kind == Kind::Text && column->col_type == MDB_MEMO) {
      value->text.assign(bound.data());
      value->null = value->text.empty();
      return CheckText(value->text, fault);
    }
    if (length == 0) {
      value->null = true;
      return true;
    }
    if (start < 0 || length < 0 || start + length > mdb_->fmt->pg_size) {
      *fault = "lies outside its page: the file is damaged";
      return false;
    }
    const unsigned char* bytes = mdb_->pg_buf + start;
    switch (kind) {
      case Kind::Integer: {
        const int expected = column->col_type == MDB_LONGINT ? 4
                             : column->col_type == MDB_INT   ? 2
                                                             : 1;
        if (length != expected) {
          *fault =
              "has " + std::to_string(length) + " bytes instead of " + std::to_string(expected);
          return false;
        }
        if (expected == 4)
          value->integer = static_cast<int32_t>(mdb_get_int32(mdb_->pg_buf, start));
        if (expected == 2)
          value->integer = static_cast<int16_t>(mdb_get_int16(mdb_->pg_buf, start));
        if (expected == 1) value->integer = bytes[0];
        return true;
      }
      case Kind::Date:
        if (length != 8) {
          *fault = "has " + std::to_string(length) + " bytes instead of 8";
          return false;
        }
        // The exact double: a formatted date loses the fraction of a second.
        value->date = mdb_get_double(mdb_->pg_buf, start);
        return true;
      case Kind::Text: return Decode(bytes, static_cast<size_t>(length), &value->text, fault);
      case Kind::YesNo: break;
    }
    return true;
  }

  // Jet 4 and ACE keep UTF-16LE, or the "compressed" form (FF FE, then runs
  // of one byte a character, each 00 switching between the two). mdbtools
  // converts as UCS-2 and turns characters beyond the Basic Multilingual
  // Plane into "??", so the bytes are decoded here. Jet 3 keeps the ANSI
  // code page.
  bool Decode(const unsigned char* bytes, size_t length, std::string* out, std::string* fault) {
    out->clear();
    if (mdb_->f->jet_version == MDB_VER_JET3) {
      UErrorCode status = U_ZERO_ERROR;
      std::u16string wide(length * 2 + 1, u'\0');
      const int32_t n = ucnv_toUChars(codePage_, wide.data(), static_cast<int32_t>(wide.size()),
                                      reinterpret_cast<const char*>(bytes),
                                      static_cast<int32_t>(length), &status);
      if (U_FAILURE(status)) {
        *fault = "cannot be read in the code page";
        return false;
      }
      wide.resize(static_cast<size_t>(n));
      return ToUtf8(wide, out, fault);
    }
    std::u16string wide;
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
      bool compressed = true;
      for (size_t i = 2; i < length;) {
        if (bytes[i] == 0) {
          compressed = !compressed;
          ++i;
        } else if (compressed) {
          wide.push_back(bytes[i++]);
        } else if (i + 1 < length) {
          wide.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
          i += 2;
        } else {
          break;
        }
      }
    } else {
      if (length % 2 != 0) {
        *fault = "has an odd number of bytes: the file is damaged";
        return false;
      }
      for (size_t i = 0; i + 1 < length; i += 2) {
        wide.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
      }
    }
    return ToUtf8(wide, out, fault);
  }

  static bool ToUtf8(const std::u16string& wide, std::string* out, std::string* fault) {
    if (!Utf16ToUtf8(wide, out)) {
      *fault = "holds a lone UTF-16 surrogate: the file is damaged";
      return false;
    }
    return CheckText(*out, fault);
  }

  static bool CheckText(const std::string& text, std::string* fault) {
    if (text.find('\0') != std::string::npos || !IsUtf8(text)) {
      *fault = "holds bytes that are no text: the file is damaged";
      return false;
    }
    return true;
  }

  MdbHandle* mdb_;
  UConverter* codePage_;
};

bool ValidDay(int32_t grpdate) {
  const int year = PackedYear(grpdate), month = PackedMonth(grpdate), day = PackedDay(grpdate);
  if (grpdate <= 0 || year < 100 || year > 9999) return false;
  if (PackDate(year, month, day) != grpdate) return false;
  int y = 0, m = 0, d = 0;
  CivilFromDays(DaysFromCivil(year, month, day), &y, &m, &d);
  return y == year && m == month && d == day;
}

bool PositiveId(const char* what, int32_t id, std::string* fault) {
  if (id > 0) return true;
  *fault = std::string(what) + " " + std::to_string(id) + " is not a valid id (ids are 1 or more)";
  return false;
}

bool Required(const char* what, const std::vector<Value>& values,
              std::initializer_list<size_t> columns, std::string* fault) {
  for (size_t c : columns) {
    if (values[c].null) {
      *fault = std::string(what) + " has no value in a column that needs one";
      return false;
    }
  }
  return true;
}

// The store's rules for a name: at most 31 characters, an apostrophe kept
// as a backquote (the statements quote names with apostrophes).
std::string StoreName(const std::string& text, const std::string& where,
                      std::vector<std::string>* warnings) {
  if (CountCharacters(text) > kMaxNameChars) {
    warnings->push_back(where + ": name cut to " + std::to_string(kMaxNameChars) + " characters");
  }
  return NameForStatement(CutToCharacters(text, kMaxNameChars));
}

// The checks of each table's rows, and the rows they let in; the spans are
// checked against the records let in before them.
class RowChecks {
 public:
  explicit RowChecks(WindowsStoreRows* rows) : rows_(rows) {}

  bool Account(size_t n, const std::vector<Value>& v, std::string* fault) {
    if (!Required("the account", v, {0}, fault) || !PositiveId("id", v[0].integer, fault) ||
        Duplicate(accountIds_, v[0].integer, fault)) {
      return false;
    }
    rows_->accounts.push_back(
        {v[0].integer, StoreName(v[1].text, TableReader::Where(kAccounts, n), &rows_->warnings)});
    return true;
  }

  bool Item(size_t n, const std::vector<Value>& v, std::string* fault) {
    if (!Required("the item", v, {0, 1}, fault) || !PositiveId("id", v[0].integer, fault) ||
        !PositiveId("parent", v[1].integer, fault) || Duplicate(itemIds_, v[0].integer, fault)) {
      return false;
    }
    rows_->items.push_back({v[0].integer, v[1].integer,
                            StoreName(v[2].text, TableReader::Where(kItems, n), &rows_->warnings)});
    return true;
  }

  bool Record(size_t n, const std::vector<Value>& v, std::string* fault) {
    if (!Required("the time record", v, {0, 1, 2, 3}, fault) ||
        !PositiveId("id", v[0].integer, fault) || !PositiveId("acct", v[2].integer, fault) ||
        !PositiveId("item", v[3].integer, fault) || Duplicate(recordIds_, v[0].integer, fault)) {
      return false;
    }
    if (!ValidDay(v[1].integer)) {
      *fault = "grpdate " + std::to_string(v[1].integer) + " is no day";
      return false;
    }
    const double date = v[6].null ? 2.0 : v[6].date;
    if (!std::isfinite(date) || date < kOldestJetDate || date > kNewestJetDate) {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", date);
      *fault = std::string("invoicedate ") + text + " is outside Jet's dates";
      return false;
    }
    std::string notes = v[4].text;
    if (CountCharacters(notes) > kMaxNotesChars) {
      rows_->warnings.push_back(TableReader::Where(kRecords, n) + ": notes cut to 255 characters");
      notes = CutToCharacters(notes, kMaxNotesChars);
    }
    rows_->records.push_back({v[0].integer, v[1].integer, v[2].integer, v[3].integer,
                              NotesForStatement(std::move(notes)), v[5].yes, date, v[7].yes});
    return true;
  }

  bool Span(size_t, const std::vector<Value>& v, std::string* fault) {
    if (!Required("the time span", v, {0, 1, 2}, fault)) return false;
    if (recordIds_.count(v[0].integer) == 0) {
      *fault = "its record " + std::to_string(v[0].integer) + " does not exist";
      return false;
    }
    if (v[1].integer < 0 || v[1].integer >= 86400) {
      *fault =
          "starttime " + std::to_string(v[1].integer) + " is not a second of a day (0 to 86399)";
      return false;
    }
    if (v[2].integer < 0 || v[2].integer > kLongestSpan) {
      *fault = "duration " + std::to_string(v[2].integer) +
               " is not a number of minutes from 0 to a year";
      return false;
    }
    rows_->spans.push_back({v[0].integer, v[1].integer, v[2].integer});
    return true;
  }

 private:
  static bool Duplicate(std::set<int32_t>& ids, int32_t id, std::string* fault) {
    if (ids.insert(id).second) return false;
    *fault = "id " + std::to_string(id) + " is there twice";
    return true;
  }

  WindowsStoreRows* rows_;
  std::set<int32_t> accountIds_, itemIds_, recordIds_;
};

Status ReadAll(MdbHandle* mdb, UConverter* codePage, WindowsStoreRows* rows) {
  TableReader reader(mdb, codePage);
  RowChecks checks(rows);
  using Check = bool (RowChecks::*)(size_t, const std::vector<Value>&, std::string*);
  const std::pair<const TableLayout*, Check> tables[] = {{&kAccounts, &RowChecks::Account},
                                                         {&kItems, &RowChecks::Item},
                                                         {&kRecords, &RowChecks::Record},
                                                         {&kSpans, &RowChecks::Span}};
  for (const auto& [layout, check] : tables) {
    Status status =
        reader.Read(*layout, [&checks, check = check](size_t n, const auto& v, std::string* fault) {
          return (checks.*check)(n, v, fault);
        });
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

// The rows as the reader's child process hands them back: numbers in the
// machine's own order (the same program reads them), texts with their
// lengths.
class Wire {
 public:
  void Put(int64_t value) { out_.append(reinterpret_cast<const char*>(&value), sizeof value); }
  void Put(double value) { out_.append(reinterpret_cast<const char*>(&value), sizeof value); }
  void Put(const std::string& text) {
    Put(static_cast<int64_t>(text.size()));
    out_ += text;
  }
  const std::string& out() const { return out_; }

  explicit Wire(const std::string* in = nullptr) : in_(in) {}
  bool Get(int64_t* value) { return Take(value, sizeof *value); }
  bool Get(double* value) { return Take(value, sizeof *value); }
  bool Get(int32_t* value) {
    int64_t wide = 0;
    if (!Get(&wide)) return false;
    *value = static_cast<int32_t>(wide);
    return true;
  }
  bool Get(bool* value) {
    int64_t wide = 0;
    if (!Get(&wide)) return false;
    *value = wide != 0;
    return true;
  }
  bool Get(std::string* text) {
    int64_t size = 0;
    if (!Get(&size) || size < 0 || static_cast<uint64_t>(size) > in_->size() - at_) return false;
    text->assign(*in_, at_, static_cast<size_t>(size));
    at_ += static_cast<size_t>(size);
    return true;
  }
  // A count of entries still to come, each of at least min bytes.
  bool Count(size_t* count, size_t min) {
    int64_t n = 0;
    if (!Get(&n) || n < 0 || static_cast<uint64_t>(n) > (in_->size() - at_) / min) return false;
    *count = static_cast<size_t>(n);
    return true;
  }
  bool AtEnd() const { return at_ == in_->size(); }

 private:
  bool Take(void* value, size_t size) {
    if (in_->size() - at_ < size) return false;
    std::memcpy(value, in_->data() + at_, size);
    at_ += size;
    return true;
  }
  std::string out_;
  const std::string* in_;
  size_t at_ = 0;
};

std::string Serialize(const Status& status, const WindowsStoreRows& rows) {
  Wire wire;
  wire.Put(int64_t{status.ok()});
  wire.Put(status.message());
  wire.Put(rows.format);
  wire.Put(int64_t{rows.codePage});
  wire.Put(static_cast<int64_t>(rows.warnings.size()));
  for (const std::string& warning : rows.warnings) wire.Put(warning);
  wire.Put(static_cast<int64_t>(rows.accounts.size()));
  for (const AccountEntry& a : rows.accounts) {
    wire.Put(int64_t{a.id});
    wire.Put(a.name);
  }
  wire.Put(static_cast<int64_t>(rows.items.size()));
  for (const ItemEntry& i : rows.items) {
    wire.Put(int64_t{i.id});
    wire.Put(int64_t{i.parent});
    wire.Put(i.name);
  }
  wire.Put(static_cast<int64_t>(rows.records.size()));
  for (const WindowsTimeRecord& r : rows.records) {
    for (int64_t value : {int64_t{r.id}, int64_t{r.grpdate}, int64_t{r.acct}, int64_t{r.item}}) {
      wire.Put(value);
    }
    wire.Put(r.notes);
    wire.Put(int64_t{r.invoiced});
    wire.Put(r.invoicedate);
    wire.Put(int64_t{r.deleted});
  }
  wire.Put(static_cast<int64_t>(rows.spans.size()));
  for (const TimeSpan& s : rows.spans) {
    for (int64_t value : {int64_t{s.parent}, int64_t{s.starttime}, int64_t{s.duration}}) {
      wire.Put(value);
    }
  }
  return wire.out();
}

bool Deserialize(const std::string& in, Status* status, WindowsStoreRows* rows) {
  Wire wire(&in);
  bool ok = false;
  std::string error;
  int64_t codePage = 0;
  size_t n = 0;
  if (!wire.Get(&ok) || !wire.Get(&error) || !wire.Get(&rows->format) || !wire.Get(&codePage) ||
      !wire.Count(&n, 8)) {
    return false;
  }
  *status = ok ? Status::Ok() : Status::Failure(std::move(error));
  rows->codePage = static_cast<int>(codePage);
  rows->warnings.resize(n);
  for (std::string& warning : rows->warnings) {
    if (!wire.Get(&warning)) return false;
  }
  if (!wire.Count(&n, 16)) return false;
  rows->accounts.resize(n);
  for (AccountEntry& a : rows->accounts) {
    if (!wire.Get(&a.id) || !wire.Get(&a.name)) return false;
  }
  if (!wire.Count(&n, 24)) return false;
  rows->items.resize(n);
  for (ItemEntry& i : rows->items) {
    if (!wire.Get(&i.id) || !wire.Get(&i.parent) || !wire.Get(&i.name)) return false;
  }
  if (!wire.Count(&n, 64)) return false;
  rows->records.resize(n);
  for (WindowsTimeRecord& r : rows->records) {
    if (!wire.Get(&r.id) || !wire.Get(&r.grpdate) || !wire.Get(&r.acct) || !wire.Get(&r.item) ||
        !wire.Get(&r.notes) || !wire.Get(&r.invoiced) || !wire.Get(&r.invoicedate) ||
        !wire.Get(&r.deleted)) {
      return false;
    }
  }
  if (!wire.Count(&n, 24)) return false;
  rows->spans.resize(n);
  for (TimeSpan& s : rows->spans) {
    if (!wire.Get(&s.parent) || !wire.Get(&s.starttime) || !wire.Get(&s.duration)) return false;
  }
  return wire.AtEnd();
}

}  // namespace

Status WindowsStoreReader::Check(const std::string& head, uint64_t size) {
  if (size == 0) return Status::Failure("the file is empty");
  const bool jet = head.size() >= 20 && (head.compare(4, 15, "Standard Jet DB") == 0 ||
                                         head.compare(4, 15, "Standard ACE DB") == 0);
  if (!jet) {
    return Status::Failure(head.compare(0, 15, "SQLite format 3") == 0
                               ? "it is already a Linux store (SQLite), not a Windows store"
                               : "it is not a Windows store: no Jet or Access database");
  }
  // Offset 0x14 holds the version: 0 is Jet 3, with pages of 2 KB.
  const uint64_t page = static_cast<unsigned char>(head[0x14]) == 0 ? 2048 : 4096;
  if (size % page != 0 || size < 2 * page) {
    return Status::Failure("the file is cut short: " + std::to_string(size) +
                           " bytes is not a whole number of " + std::to_string(page) +
                           "-byte pages");
  }
  return Status::Ok();
}

Status WindowsStoreReader::Read(const std::string& path, WindowsStoreRows* rows) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return Status::Failure("it cannot be read: " + std::string(std::strerror(errno)));
  }
  std::ifstream file(path, std::ios::binary);
  if (!S_ISREG(info.st_mode) || !file) {
    return Status::Failure(S_ISREG(info.st_mode) ? "it cannot be opened for reading"
                                                 : "it is not a file");
  }
  std::string head(32, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  if (Status status = Check(head, static_cast<uint64_t>(info.st_size)); !status.ok()) {
    return status;
  }
  std::string bytes(static_cast<size_t>(info.st_size), '\0');
  file.seekg(0);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (file.gcount() != static_cast<std::streamsize>(bytes.size())) {
    return Status::Failure("it cannot be read whole");
  }
  return ReadBytes(bytes, rows);
}

Status WindowsStoreReader::ReadHere(const std::string& bytes, UConverter* codePage,
                                    WindowsStoreRows* rows) {
  // mdbtools reads the bytes in memory (opened read-only), never the file:
  // the file was opened for reading once and closed before any value is read.
  OpenMdb mdb(mdb_open_buffer(const_cast<char*>(bytes.data()), bytes.size(), MDB_NOFLAGS),
              &mdb_close);
  if (!mdb) return Status::Failure("it is not a database mdbtools can open");
  rows->format = FormatName(mdb->f->jet_version);
  rows->codePage = mdb->f->code_page;
  mdb_set_bind_size(mdb.get(), 65536);
  return ReadAll(mdb.get(), codePage, rows);
}

Status WindowsStoreReader::ReadBytes(const std::string& bytes, WindowsStoreRows* rows) {
  *rows = WindowsStoreRows{};
  if (Status status = Check(bytes.substr(0, 32), bytes.size()); !status.ok()) return status;
  // Opened here, before the fork: ICU takes a lock of its own to open one,
  // which another thread of the program may hold at the moment of the fork.
  UErrorCode status = U_ZERO_ERROR;
  Converter codePage(ucnv_open(encoding_.c_str(), &status), &ucnv_close);
  if (U_FAILURE(status)) return Status::Failure("the code page " + encoding_ + " is not known");
  ucnv_setToUCallBack(codePage.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  // mdbtools trusts the pages it reads: a damaged file can make it follow a
  // null pointer (the fuzzer found one in mdb_map_find_next) or loop. It
  // therefore reads in a child process of its own, which hands the rows
  // back through a pipe; a child that dies or takes too long is a damaged
  // file, not a crashed program.
  // Closed on exec: a program another thread starts meanwhile (the editor)
  // must not hold the pipe open after the child is gone.
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return Status::Failure(std::string("no pipe for the reader: ") + std::strerror(errno));
  }
  const pid_t child = ::fork();
  if (child < 0) {
    Status failure =
        Status::Failure(std::string("no process for the reader: ") + std::strerror(errno));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return failure;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    // A crash ends the child and nothing else: no handler inherited from the
    // program (a crash reporter, a sanitizer's) may take it for its own.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) ::signal(sig, SIG_DFL);
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_UNBLOCK, &all, nullptr);  // the alarm must reach it
    ::alarm(kReadSeconds);
    // mdbtools' own notes on a damaged page ("offset ... is beyond EOF") say
    // nothing to a user; the reason comes back as the error.
    if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, 2);
    WindowsStoreRows read;
    const Status outcome = ReadHere(bytes, codePage.get(), &read);
    const std::string out = Serialize(outcome, read);
    for (size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(pipeFds[1], out.data() + done, out.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ::_exit(3);
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string in;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    in.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int ended = 0;
  while (::waitpid(child, &ended, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(ended)) {
    return Status::Failure(WTERMSIG(ended) == SIGALRM
                               ? "mdbtools took over " + std::to_string(kReadSeconds) +
                                     " seconds on it: the file is damaged"
                               : "mdbtools failed on it (signal " +
                                     std::to_string(WTERMSIG(ended)) + "): the file is damaged");
  }
  Status read = Status::Ok();
  if (!WIFEXITED(ended) || WEXITSTATUS(ended) != 0 || !Deserialize(in, &read, rows)) {
    *rows = WindowsStoreRows{};
    return Status::Failure("the reader of Windows stores failed");
  }
  return read;
}
