// One table's command on one connection to a local store.
#include "store/table_command.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "store/jet_executor.h"

namespace {

// What each table's SELECT binds: 'i' a 4-byte integer, 's' text, 'b' a
// Yes/No, 'd' a date.
const char* Bindings(StoreTable table) {
  switch (table) {
    case StoreTable::AccountName: return "is";
    case StoreTable::ItemName: return "iis";
    case StoreTable::HlGroup: return "iiiisbdb";
    case StoreTable::HlTime: return "iii";
  }
  return "";
}

}  // namespace

TableCommand::TableCommand(StoreTable table) : table_(table) {}

const char* TableCommand::DefaultCommandText(StoreTable table) {
  switch (table) {
    case StoreTable::AccountName: return " \tSELECT \t\tid, \t\tname  \t\tFROM accountName";
    case StoreTable::ItemName: return " \tSELECT \t\tid, \t\tparent, \t\tname  \t\tFROM itemName";
    case StoreTable::HlGroup:
      return " \tSELECT \t\tid, \t\tgrpdate, \t\tacct, \t\titem, \t\tnotes, \t\tinvoiced, "
             "\t\tinvoicedate, \t\tdeleted  \t\tFROM hlgroup";
    case StoreTable::HlTime:
      return " \tSELECT \t\tparent, \t\tstarttime, \t\tduration  \t\tFROM hltime";
  }
  return "";
}

DbStatus DbStatusFromSqlite(int code, const std::string& message) {
  switch (code) {
    case SQLITE_CONSTRAINT: return DB_E_INTEGRITYVIOLATION;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return DB_E_TABLEINUSE;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return DB_SEC_E_PERMISSIONDENIED;
    case SQLITE_MISMATCH: return DB_E_CANTCONVERTVALUE;
    case SQLITE_ERROR:
      return message.rfind("no such table", 0) == 0 ? DB_E_NOTABLE : DB_E_ERRORSINCOMMAND;
    default: return E_FAIL;
  }
}

TableCommand::~TableCommand() {
  // The executor's statements go before the connection they were prepared on.
  executor_.reset();
  rowset_.reset();
}

DbStatus TableCommand::Fail(int code) {
  error_ = connection_->errorMessage();
  return DbStatusFromSqlite(code, error_);
}

void TableCommand::UseConnection(SqliteConnection& connection) {
  executor_.reset();
  rowset_.reset();
  connection_ = &connection;
}

DbStatus TableCommand::OpenConnection() {
  executor_.reset();
  rowset_.reset();
  connection_ = &ownConnection_;
  int rc = ownConnection_.Open(path_, false);
  if (rc != SQLITE_OK) {
    error_ = ownConnection_.errorMessage();
    return E_FAIL;
  }
  // Opening reads nothing; a file that is no database shows itself here.
  rc = ownConnection_.Exec("PRAGMA schema_version");
  if (rc != SQLITE_OK) {
    error_ = ownConnection_.errorMessage();
    ownConnection_.Close();
    return E_FAIL;
  }
  return S_OK;
}

DbStatus TableCommand::OpenDefaultRowset() {
  if (!connection_->isOpen()) return E_FAIL;
  auto statement = std::make_unique<SqliteStatement>();
  int rc = statement->Prepare(*connection_, DefaultCommandText(table_));
  if (rc != SQLITE_OK) return Fail(rc);
  rowset_ = std::move(statement);
  return S_OK;
}

DbStatus TableCommand::MoveFirst() {
  if (!rowset_) return E_FAIL;
  rowset_->Reset();
  return Fetch();
}

DbStatus TableCommand::MoveNext() {
  if (!rowset_) return E_FAIL;
  return Fetch();
}

DbStatus TableCommand::Fetch() {
  int rc = rowset_->Step();
  if (rc == SQLITE_DONE) return DB_S_ENDOFROWSET;
  if (rc != SQLITE_ROW) return Fail(rc);
  const std::string_view bindings = Bindings(table_);
  // Every field is written below by its binding, so the buffers are sized
  // once and reused row after row.
  if (ints_.size() != bindings.size() + 1) {
    ints_.assign(bindings.size() + 1, 0);
    texts_.assign(bindings.size() + 1, std::string());
    doubles_.assign(bindings.size() + 1, 0.0);
  }
  // Each column is taken once as a value, whose type and number are then
  // read without going through the statement again: a load reads hundreds
  // of thousands of rows.
  sqlite3_stmt* const row = rowset_->handle();
  DbStatus status = S_OK;
  for (size_t k = 0; k < bindings.size(); ++k) {
    const int column = static_cast<int>(k);
    const size_t ordinal = k + 1;
    switch (bindings[k]) {
      case 'i': {
        // A 4-byte binding takes whole numbers in range only (a text only
        // when it is one written plainly).
        sqlite3_value* value = sqlite3_column_value(row, column);
        const int type = sqlite3_value_type(value);
        const int64_t whole = sqlite3_value_int64(value);
        bool exact = type == SQLITE_INTEGER ||
                     (type == SQLITE_FLOAT &&
                      sqlite3_value_double(value) == static_cast<double>(whole)) ||
                     (type == SQLITE_TEXT &&
                      rowset_->ColumnText(column) == std::to_string(whole));
        if (!exact || whole < std::numeric_limits<int32_t>::min() ||
            whole > std::numeric_limits<int32_t>::max()) {
          status = DB_E_CANTCONVERTVALUE;
          error_ = "value of column " + std::to_string(ordinal) + " is not a 4-byte integer";
        }
        ints_[ordinal] = whole;
        break;
      }
      case 's': rowset_->ColumnText(column, &texts_[ordinal]); break;
      case 'b': ints_[ordinal] = sqlite3_value_int64(sqlite3_column_value(row, column)) != 0; break;
      case 'd': {
        sqlite3_value* value = sqlite3_column_value(row, column);
        doubles_[ordinal] =
            sqlite3_value_type(value) == SQLITE_NULL ? std::nan("") : sqlite3_value_double(value);
        break;
      }
    }
  }
  return status;
}

int32_t TableCommand::IntField(int ordinal) const {
  return static_cast<int32_t>(ints_.at(static_cast<size_t>(ordinal)));
}
const std::string& TableCommand::TextField(int ordinal) const {
  return texts_.at(static_cast<size_t>(ordinal));
}
double TableCommand::DateField(int ordinal) const {
  return doubles_.at(static_cast<size_t>(ordinal));
}
bool TableCommand::BoolField(int ordinal) const { return ints_.at(static_cast<size_t>(ordinal)) != 0; }

DbStatus TableCommand::ExecuteStatement(const std::string& jetSql) {
  rowsAffected_ = 0;
  if (!connection_->isOpen()) {
    DbStatus status = OpenConnection();
    if (status != S_OK) return status;
  }
  if (!executor_) executor_ = std::make_unique<JetExecutor>(*connection_);
  return executor_->Run(jetSql, &rowsAffected_, &error_);
}

DbStatus ExecuteStatement(const std::string& storePath, const std::string& jetSql,
                          int64_t* rowsAffected, std::string* error) {
  TableCommand command(StoreTable::HlGroup);
  command.SetPath(storePath);
  DbStatus status = command.ExecuteStatement(jetSql);
  if (rowsAffected) *rowsAffected = command.rowsAffected();
  if (error) *error = status == S_OK ? std::string() : command.errorMessage();
  return status;
}
