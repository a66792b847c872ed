// Every statement the programs send to a local store.
#include "store/statements.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/clock.h"
#include "store/ole_date.h"

namespace {

using Kind = StoreStatement::Kind;

// The text as the statements always took it (printf's %s: up to a zero
// byte), with from replaced by to throughout.
std::string Quotable(const std::string& text, char from, char to) {
  std::string result(text.c_str());
  std::replace(result.begin(), result.end(), from, to);
  return result;
}

// The catalogue text of each kind, split where its values go: a number
// where "#" stands, the kind's text where "$" stands.
constexpr const char* kPatterns[StoreStatement::kKinds] = {
    "update hlgroup set invoiced = Yes, invoicedate = '$' where id = #",
    "update hlgroup set deleted = Yes where invoiced = Yes and deleted = No",
    "insert into accountname values (#, '$')",
    "update accountname set name = '$' where id = #",
    "insert into itemname values (#, #, '$')",
    "update itemname set parent = #, name = '$' where id = #",
    "delete from hltime where parent = #",
    "delete from hlgroup where invoiced = No",
    "insert into hlgroup values (#, #, #, #, \"$\", 0, '01-JAN-1900', 0)",
    "insert into hltime values (#, #, #)",
    "delete from hlgroup where id = #",
    "delete from itemname where parent = #",
    "delete from accountname where id = #",
};

// What each kind runs: the numbers bound as ?1.. in the order the text gives
// them and the text after them. Yes and No are the 1 and 0 the Yes/No
// columns hold; '01-JAN-1900' is the OLE date 2.0.
constexpr const char* kSql[StoreStatement::kKinds] = {
    "UPDATE hlgroup SET invoiced = 1, invoicedate = ?2 WHERE id = ?1",
    "UPDATE hlgroup SET deleted = 1 WHERE invoiced = 1 AND deleted = 0",
    "INSERT INTO accountname VALUES (?1, ?2)",
    "UPDATE accountname SET name = ?2 WHERE id = ?1",
    "INSERT INTO itemname VALUES (?1, ?2, ?3)",
    "UPDATE itemname SET parent = ?1, name = ?3 WHERE id = ?2",
    "DELETE FROM hltime WHERE parent = ?1",
    "DELETE FROM hlgroup WHERE invoiced = 0",
    "INSERT INTO hlgroup VALUES (?1, ?2, ?3, ?4, ?5, 0, 2.0, 0)",
    "INSERT INTO hltime VALUES (?1, ?2, ?3)",
    "DELETE FROM hlgroup WHERE id = ?1",
    "DELETE FROM itemname WHERE parent = ?1",
    "DELETE FROM accountname WHERE id = ?1",
};

// How many numbers each kind's text has, and whether it has a text: what
// is bound, counted once from the patterns.
struct Shape {
  size_t numbers = 0;
  bool text = false;
};
constexpr Shape ShapeOf(const char* pattern) {
  Shape shape;
  for (const char* p = pattern; *p != '\0'; ++p) {
    shape.numbers += *p == '#';
    shape.text = shape.text || *p == '$';
  }
  return shape;
}
constexpr Shape kShapes[StoreStatement::kKinds] = {
    ShapeOf(kPatterns[0]),  ShapeOf(kPatterns[1]), ShapeOf(kPatterns[2]),  ShapeOf(kPatterns[3]),
    ShapeOf(kPatterns[4]),  ShapeOf(kPatterns[5]), ShapeOf(kPatterns[6]),  ShapeOf(kPatterns[7]),
    ShapeOf(kPatterns[8]),  ShapeOf(kPatterns[9]), ShapeOf(kPatterns[10]), ShapeOf(kPatterns[11]),
    ShapeOf(kPatterns[12]),
};

}  // namespace

StoreStatement::StoreStatement(Kind kind, std::array<int32_t, 4> numbers, std::string text)
    : kind_(kind), numbers_(numbers), text_(std::move(text)) {}

std::string StoreStatement::Text() const {
  const char* pattern = kPatterns[static_cast<size_t>(kind_)];
  std::string out;
  out.reserve(std::strlen(pattern) + text_.size() + 4 * 11);
  size_t number = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p == '#') {
      char digits[16];
      const auto end = std::to_chars(digits, digits + sizeof digits, numbers_[number++]).ptr;
      out.append(digits, end);
    } else if (*p == '$') {
      out.append(text_);
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

std::string NameForStatement(const std::string& name) {
  std::string result = name;
  std::replace(result.begin(), result.end(), '\'', '`');
  return result;
}

std::string NotesForStatement(std::string notes) {
  std::replace(notes.begin(), notes.end(), '"', '\'');
  return notes;
}

StoreStatement MarkInvoicedStatement(const std::string& dateText, int32_t recordId) {
  return {Kind::MarkInvoiced, {recordId}, std::string(dateText.c_str())};
}

StoreStatement FlagDeletedStatement() { return {Kind::FlagDeleted, {}}; }

StoreStatement InsertAccountStatement(int32_t accountId, const std::string& name) {
  return {Kind::InsertAccount, {accountId}, Quotable(name, '\'', '`')};
}

StoreStatement RenameAccountStatement(const std::string& name, int32_t accountId) {
  return {Kind::RenameAccount, {accountId}, Quotable(name, '\'', '`')};
}

StoreStatement InsertItemStatement(int32_t itemId, int32_t accountId, const std::string& name) {
  return {Kind::InsertItem, {itemId, accountId}, Quotable(name, '\'', '`')};
}

StoreStatement UpdateItemStatement(int32_t accountId, const std::string& name, int32_t itemId) {
  return {Kind::UpdateItem, {accountId, itemId}, Quotable(name, '\'', '`')};
}

StoreStatement DeleteSpansStatement(int32_t recordId) { return {Kind::DeleteSpans, {recordId}}; }

StoreStatement DeleteUninvoicedStatement() { return {Kind::DeleteUninvoiced, {}}; }

StoreStatement InsertTimeRecordStatement(int32_t recordId, int32_t grpdate, int32_t accountId,
                                         int32_t itemId, const std::string& notes) {
  return {
      Kind::InsertTimeRecord, {recordId, grpdate, accountId, itemId}, Quotable(notes, '"', '\'')};
}

StoreStatement InsertSpanStatement(int32_t recordId, int32_t starttime, int32_t duration) {
  return {Kind::InsertSpan, {recordId, starttime, duration}};
}

StoreStatement DeleteTimeRecordStatement(int32_t recordId) {
  return {Kind::DeleteTimeRecord, {recordId}};
}

StoreStatement DeleteItemsOfAccountStatement(int32_t accountId) {
  return {Kind::DeleteItemsOfAccount, {accountId}};
}

StoreStatement DeleteAccountStatement(int32_t accountId) {
  return {Kind::DeleteAccount, {accountId}};
}

Status StatementRunner::Run(const StoreStatement& statement, int64_t* changes) {
  *changes = 0;
  auto fail = [this](int rc) { return StatusFromSqlite(rc, connection_.errorMessage()); };
  const auto kind = static_cast<size_t>(statement.kind_);
  std::unique_ptr<SqliteStatement>& prepared = prepared_[kind];
  if (!prepared) {
    auto fresh = std::make_unique<SqliteStatement>();
    if (int rc = fresh->Prepare(connection_, kSql[kind]); rc != SQLITE_OK) return fail(rc);
    prepared = std::move(fresh);
  }
  // Every run leaves its statement reset, so that it keeps no lock or rows,
  // and its bindings cleared: binding needs no reset first, and the text,
  // which outlives the step, need not be copied.
  sqlite3_stmt* handle = prepared->handle();
  const Shape& shape = kShapes[kind];
  int index = 1;
  for (size_t i = 0; i < shape.numbers; ++i) {
    sqlite3_bind_int(handle, index++, statement.numbers_[i]);
  }
  if (statement.kind_ == Kind::MarkInvoiced) {
    CivilTime civil;
    if (!ParseDateText(statement.text_, Now(), &civil)) {
      return Status::Failure(DB_E_CANTCONVERTVALUE,
                             "Data type mismatch: '" + statement.text_ + "' is not a date");
    }
    sqlite3_bind_double(handle, index, OleDateFromCivil(civil));
  } else if (shape.text) {
    sqlite3_bind_text(handle, index, statement.text_.data(),
                      static_cast<int>(statement.text_.size()), SQLITE_STATIC);
  }
  const int rc = prepared->Step();
  if (rc != SQLITE_DONE) {
    Status failure = fail(rc);
    prepared->Reset();
    return failure;
  }
  prepared->Reset();
  *changes = connection_.changes();
  return Status::Ok();
}
