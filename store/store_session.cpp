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

Status StoreSession::Begin() {
  if (!broken_.ok() || open_) return broken_;
  if (int rc = connection_.Open(path_, false); rc != SQLITE_OK) {
    broken_ = Status::Failure(E_FAIL, connection_.errorMessage());
    return broken_;
  }
  if (int rc = connection_.Exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
    // A file that is no database shows itself here too.
    broken_ = rc == SQLITE_NOTADB ? Status::Failure(E_FAIL, connection_.errorMessage())
                                  : StatusFromSqlite(rc, connection_.errorMessage());
    connection_.Close();
    return broken_;
  }
  open_ = true;
  runner_ = std::make_unique<StatementRunner>(connection_);
  return Status::Ok();
}

Status StoreSession::Execute(const StoreStatement& statement) {
  rowsAffected_ = 0;
  if (!broken_.ok()) return broken_;
  if (!open_ && !Begin().ok()) return broken_;
  Status status = runner_->Run(statement, &rowsAffected_);
  if (!connection_.inTransaction()) {
    // SQLite rolled the whole transaction back (a full disk, an I/O error).
    open_ = false;
    // A statement that succeeded has no words of SQLite's to give.
    broken_ = status.ok() ? Status::Failure(E_FAIL, {}) : std::move(status);
    return broken_;
  }
  changed_ |= status.ok();
  return status;
}

Status StoreSession::Commit() {
  if (!broken_.ok()) return broken_;
  if (!open_) return Status::Ok();
  DropStatements();
  if (!changed_) {
    // Nothing to keep: a commit would still write the file's first page,
    // which turns an empty file that is no store into a database.
    connection_.Exec("ROLLBACK");
    open_ = false;
    connection_.Close();
    return Status::Ok();
  }
  if (int rc = connection_.Exec("COMMIT"); rc != SQLITE_OK) {
    // COMMIT that fails (busy readers past the timeout, a full disk) leaves
    // the transaction open; give it up so nothing half-done stays.
    broken_ = StatusFromSqlite(rc, connection_.errorMessage());
    connection_.Exec("ROLLBACK");
    open_ = false;
    return broken_;
  }
  open_ = false;
  connection_.Close();
  return Status::Ok();
}
