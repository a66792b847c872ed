// One table's command on one connection to a local store.
#include "store/table_command.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "store/statements.h"

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
    case StoreTable::HlGroupFlags: return "SELECT id, invoiced, deleted FROM hlgroup";
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

Status StatusFromSqlite(int code, std::string message) {
  const DbStatus status = DbStatusFromSqlite(code, message);
  return Status::Failure(status, std::move(message));
}

TableCommand::~TableCommand() {
  // The runner's statements go before the connection they were prepared on.
  runner_.reset();
  rowset_.reset();
}

Status TableCommand::Fail(int code) const {
  return StatusFromSqlite(code, connection_->errorMessage());
}

void TableCommand::UseConnection(SqliteConnection& connection) {
  runner_.reset();
  rowset_.reset();
  connection_ = &connection;
}

Status TableCommand::OpenConnection() {
  runner_.reset();
  rowset_.reset();
  connection_ = &ownConnection_;
  int rc = ownConnection_.Open(path_, false);
  if (rc != SQLITE_OK) return Status::Failure(E_FAIL, ownConnection_.errorMessage());
  // Opening reads nothing; a file that is no database shows itself here.
  rc = ownConnection_.Exec("PRAGMA schema_version");
  if (rc != SQLITE_OK) {
    Status failure = Status::Failure(E_FAIL, ownConnection_.errorMessage());
    ownConnection_.Close();
    return failure;
  }
  return Status::Ok();
}

Status TableCommand::OpenDefaultRowset() {
  if (!connection_->isOpen()) return Status::Failure(E_FAIL, "the store is not open");
  auto statement = std::make_unique<SqliteStatement>();
  int rc = statement->Prepare(*connection_, DefaultCommandText(table_));
  if (rc != SQLITE_OK) return Fail(rc);
  rowset_ = std::move(statement);
  fields_.fill(RowField{});
  return Status::Ok();
}

Status TableCommand::MoveFirst() {
  if (!rowset_) return Status::Failure(E_FAIL, "no rows were asked for");
  rowset_->Reset();
  return Fetch();
}

Status TableCommand::MoveNext() {
  if (!rowset_) return Status::Failure(E_FAIL, "no rows were asked for");
  return Fetch();
}

Status TableCommand::Fetch() {
  const DbStatus code =
      WithBindings(table_, [this](auto bindings) { return ReadRow(rowset_->handle(), bindings); });
  if (code == S_OK || code == DB_S_ENDOFROWSET) return Status::Ok(code);
  if (code != DB_E_CANTCONVERTVALUE) return Status::Failure(code, connection_->errorMessage());
  return Status::Failure(DB_E_CANTCONVERTVALUE, "value of column " + std::to_string(unfit_ + 1) +
                                                    " is not a 4-byte integer");
}

DbStatus TableCommand::StepEnded(int code) {
  if (code == SQLITE_DONE) return DB_S_ENDOFROWSET;
  connection_->Fail(code);
  return DbStatusFromSqlite(code, connection_->errorMessage());
}

bool TableCommand::FitsFourBytes(sqlite3_value* value, size_t column) const {
  // A 4-byte binding takes whole numbers in range only (a text only when it
  // is one written plainly).
  const int64_t whole = fields_[column].number;
  bool exact = false;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: exact = true; break;
    case SQLITE_FLOAT: exact = sqlite3_value_double(value) == static_cast<double>(whole); break;
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      exact = std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(value))) ==
              std::to_string(whole);
      break;
    }
  }
  return exact && whole >= std::numeric_limits<int32_t>::min() &&
         whole <= std::numeric_limits<int32_t>::max();
}

Status TableCommand::ExecuteStatement(const StoreStatement& statement) {
  rowsAffected_ = 0;
  if (!connection_->isOpen()) {
    if (Status status = OpenConnection(); !status.ok()) return status;
  }
  if (!runner_) runner_ = std::make_unique<StatementRunner>(*connection_);
  return runner_->Run(statement, &rowsAffected_);
}

Status ExecuteStatement(const std::string& storePath, const StoreStatement& statement,
                        int64_t* rowsAffected) {
  TableCommand command(StoreTable::HlGroup);
  command.SetPath(storePath);
  Status status = command.ExecuteStatement(statement);
  if (rowsAffected) *rowsAffected = command.rowsAffected();
  return status;
}
