// A transaction on one connection.
#include "platform/sqlite_transaction.h"

#include <sqlite3.h>

#include "platform/sqlite_connection.h"

SqliteTransaction::SqliteTransaction(SqliteConnection& connection) : connection_(connection) {
  status_ = connection_.Exec("BEGIN IMMEDIATE");
  open_ = status_ == SQLITE_OK;
}

SqliteTransaction::~SqliteTransaction() {
  if (open_) connection_.Exec("ROLLBACK");
}

int SqliteTransaction::Commit() {
  if (!open_) return status_ == SQLITE_OK ? SQLITE_MISUSE : status_;
  int rc = connection_.Exec("COMMIT");
  if (rc == SQLITE_OK) open_ = false;
  return rc;
}
