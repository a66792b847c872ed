// A series of statements on one connection to a local store, in one transaction.
#include "store/store_session.h"

#include <sqlite3.h>

#include "store/statements.h"

StoreSession::StoreSession(std::string storePath) : path_(std::move(storePath)) {}

StoreSession::~StoreSession() {
  DropStatements();
  if (open_) connection_.Exec("ROLLBACK");
}

void StoreSession::DropStatements() {
  // A statement still prepared keeps the connection from closing.
  runner_.reset();
}

DbStatus StoreSession::Begin() {
  if (broken_ != S_OK || open_) return broken_;
  if (int rc = connection_.Open(path_, false); rc != SQLITE_OK) {
    error_ = connection_.errorMessage();
    broken_ = E_FAIL;
    return broken_;
  }
  if (int rc = connection_.Exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
    // A file that is no database shows itself here too.
    error_ = connection_.errorMessage();
    broken_ = rc == SQLITE_NOTADB ? E_FAIL : DbStatusFromSqlite(rc, error_);
    connection_.Close();
    return broken_;
  }
  open_ = true;
  runner_ = std::make_unique<StatementRunner>(connection_);
  return S_OK;
}

DbStatus StoreSession::Execute(const StoreStatement& statement) {
  rowsAffected_ = 0;
  if (broken_ != S_OK) return broken_;
  if (!open_ && Begin() != S_OK) return broken_;
  const DbStatus status = runner_->Run(statement, &rowsAffected_, &error_);
  if (!connection_.inTransaction()) {
    // SQLite rolled the whole transaction back (a full disk, an I/O error).
    open_ = false;
    broken_ = Succeeded(status) ? E_FAIL : status;
    return broken_;
  }
  changed_ |= status == S_OK;
  return status;
}

DbStatus StoreSession::Commit() {
  if (broken_ != S_OK) return broken_;
  if (!open_) return S_OK;
  DropStatements();
  if (!changed_) {
    // Nothing to keep: a commit would still write the file's first page,
    // which turns an empty file that is no store into a database.
    connection_.Exec("ROLLBACK");
    open_ = false;
    connection_.Close();
    return S_OK;
  }
  if (int rc = connection_.Exec("COMMIT"); rc != SQLITE_OK) {
    // COMMIT that fails (busy readers past the timeout, a full disk) leaves
    // the transaction open; give it up so nothing half-done stays.
    const DbStatus status = DbStatusFromSqlite(rc, connection_.errorMessage());
    error_ = connection_.errorMessage();
    connection_.Exec("ROLLBACK");
    open_ = false;
    broken_ = status;
    return status;
  }
  open_ = false;
  connection_.Close();
  return S_OK;
}
