// One prepared SQLite statement.
#include "platform/sqlite_statement.h"

#include <sqlite3.h>

#include "platform/sqlite_connection.h"

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

int SqliteStatement::Check(int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE && connection_) {
    connection_->Fail(rc);
  }
  return rc;
}

int SqliteStatement::Prepare(SqliteConnection& connection, const std::string& sql) {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  connection_ = &connection;
  if (!connection.isOpen()) return SQLITE_MISUSE;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(connection.handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt_,
                              &tail);
  if (rc == SQLITE_OK && stmt_ == nullptr) rc = SQLITE_MISUSE;  // nothing but blanks
  return Check(rc);
}

int SqliteStatement::BindInt64(int index, int64_t value) {
  return Check(sqlite3_bind_int64(stmt_, index, value));
}
int SqliteStatement::BindDouble(int index, double value) {
  return Check(sqlite3_bind_double(stmt_, index, value));
}
int SqliteStatement::BindText(int index, const std::string& value) {
  return Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                                 SQLITE_TRANSIENT));
}
int SqliteStatement::BindBlob(int index, const std::vector<uint8_t>& value) {
  // An empty blob must still be a blob, not NULL.
  static const uint8_t kEmpty = 0;
  return Check(sqlite3_bind_blob(stmt_, index, value.empty() ? &kEmpty : value.data(),
                                 static_cast<int>(value.size()), SQLITE_TRANSIENT));
}
int SqliteStatement::BindNull(int index) { return Check(sqlite3_bind_null(stmt_, index)); }
int SqliteStatement::parameterCount() const { return sqlite3_bind_parameter_count(stmt_); }

void SqliteStatement::Finalize() {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

int SqliteStatement::Step() {
  if (!stmt_) return SQLITE_MISUSE;
  return Check(sqlite3_step(stmt_));
}
int SqliteStatement::Reset() {
  sqlite3_clear_bindings(stmt_);
  return Check(sqlite3_reset(stmt_));
}

int SqliteStatement::columnCount() const { return sqlite3_column_count(stmt_); }
SqliteStatement::Type SqliteStatement::ColumnType(int column) const {
  switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER: return Type::Integer;
    case SQLITE_FLOAT: return Type::Real;
    case SQLITE_TEXT: return Type::Text;
    case SQLITE_BLOB: return Type::Blob;
    default: return Type::Null;
  }
}
bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
int64_t SqliteStatement::ColumnInt64(int column) const {
  return sqlite3_column_int64(stmt_, column);
}
double SqliteStatement::ColumnDouble(int column) const {
  return sqlite3_column_double(stmt_, column);
}
std::string SqliteStatement::ColumnText(int column) const {
  std::string out;
  ColumnText(column, &out);
  return out;
}
std::vector<uint8_t> SqliteStatement::ColumnBlob(int column) const {
  std::vector<uint8_t> out;
  ColumnBlob(column, &out);
  return out;
}
void SqliteStatement::ColumnText(int column, std::string* out) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) {
    out->clear();
    return;
  }
  out->assign(reinterpret_cast<const char*>(text),
              static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}
void SqliteStatement::ColumnBlob(int column, std::vector<uint8_t>* out) const {
  const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  if (!data || size <= 0) {
    out->clear();
    return;
  }
  out->assign(data, data + size);
}
