// One table's command on one connection to a local store.
#include "store/table_command.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>

#include "platform/clock.h"
#include "store/jet_statement.h"

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

DbStatus TableCommand::Fail(int code) {
  error_ = connection_.errorMessage();
  switch (code) {
    case SQLITE_CONSTRAINT: return DB_E_INTEGRITYVIOLATION;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return DB_E_TABLEINUSE;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return DB_SEC_E_PERMISSIONDENIED;
    case SQLITE_MISMATCH: return DB_E_CANTCONVERTVALUE;
    case SQLITE_ERROR:
      return error_.rfind("no such table", 0) == 0 ? DB_E_NOTABLE : DB_E_ERRORSINCOMMAND;
    default: return E_FAIL;
  }
}

DbStatus TableCommand::OpenConnection() {
  rowset_.reset();
  int rc = connection_.Open(path_, false);
  if (rc != SQLITE_OK) {
    error_ = connection_.errorMessage();
    return E_FAIL;
  }
  // Opening reads nothing; a file that is no database shows itself here.
  rc = connection_.Exec("PRAGMA schema_version");
  if (rc != SQLITE_OK) {
    error_ = connection_.errorMessage();
    connection_.Close();
    return E_FAIL;
  }
  return S_OK;
}

DbStatus TableCommand::OpenDefaultRowset() {
  if (!connection_.isOpen()) return E_FAIL;
  auto statement = std::make_unique<SqliteStatement>();
  int rc = statement->Prepare(connection_, DefaultCommandText(table_));
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
  const std::string bindings = Bindings(table_);
  ints_.assign(bindings.size() + 1, 0);
  texts_.assign(bindings.size() + 1, std::string());
  doubles_.assign(bindings.size() + 1, 0.0);
  DbStatus status = S_OK;
  for (size_t k = 0; k < bindings.size(); ++k) {
    const int column = static_cast<int>(k);
    const size_t ordinal = k + 1;
    switch (bindings[k]) {
      case 'i': {
        // A 4-byte binding takes whole numbers in range only (a text only
        // when it is one written plainly).
        const auto type = rowset_->ColumnType(column);
        const int64_t whole = rowset_->ColumnInt64(column);
        bool exact = type == SqliteStatement::Type::Integer ||
                     (type == SqliteStatement::Type::Real &&
                      rowset_->ColumnDouble(column) == static_cast<double>(whole)) ||
                     (type == SqliteStatement::Type::Text &&
                      rowset_->ColumnText(column) == std::to_string(whole));
        if (!exact || whole < std::numeric_limits<int32_t>::min() ||
            whole > std::numeric_limits<int32_t>::max()) {
          status = DB_E_CANTCONVERTVALUE;
          error_ = "value of column " + std::to_string(ordinal) + " is not a 4-byte integer";
        }
        ints_[ordinal] = whole;
        break;
      }
      case 's': texts_[ordinal] = rowset_->ColumnText(column); break;
      case 'b': ints_[ordinal] = rowset_->ColumnInt64(column) != 0; break;
      case 'd':
        doubles_[ordinal] = rowset_->IsNull(column) ? std::nan("") : rowset_->ColumnDouble(column);
        break;
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
  if (!connection_.isOpen()) {
    DbStatus status = OpenConnection();
    if (status != S_OK) return status;
  }
  auto columns = [this](const std::string& table) {
    std::vector<std::pair<std::string, std::string>> result;
    SqliteStatement info;
    if (info.Prepare(connection_, "SELECT name, type FROM pragma_table_info(?)") != SQLITE_OK) {
      return result;
    }
    info.BindText(1, table);
    while (info.Step() == SQLITE_ROW) result.emplace_back(info.ColumnText(0), info.ColumnText(1));
    return result;
  };
  JetStatement jet;
  if (!jet.Translate(jetSql, columns, Now())) {
    error_ = jet.error();
    return jet.conversionFailed() ? DB_E_CANTCONVERTVALUE : DB_E_ERRORSINCOMMAND;
  }
  SqliteStatement statement;
  int rc = statement.Prepare(connection_, jet.sql());
  if (rc != SQLITE_OK) return Fail(rc);
  int index = 1;
  for (const SqlParameter& p : jet.parameters()) {
    switch (p.kind) {
      case SqlParameter::Kind::Integer: rc = statement.BindInt64(index, p.integer); break;
      case SqlParameter::Kind::Real: rc = statement.BindDouble(index, p.real); break;
      case SqlParameter::Kind::Text: rc = statement.BindText(index, p.text); break;
    }
    if (rc != SQLITE_OK) return Fail(rc);
    ++index;
  }
  rc = statement.Step();
  while (rc == SQLITE_ROW) rc = statement.Step();  // a SELECT sent as a statement
  if (rc != SQLITE_DONE) return Fail(rc);
  rowsAffected_ = connection_.changes();
  return S_OK;
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
