// One connection to an SQLite file.
#include "platform/sqlite_connection.h"

#include <sqlite3.h>

#include <utility>

SqliteConnection::~SqliteConnection() { Close(); }

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), message_(std::move(other.message_)) {}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    message_ = std::move(other.message_);
  }
  return *this;
}

int SqliteConnection::Open(const std::string& path, bool create) {
  Close();
  message_.clear();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (create) flags |= SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    message_ = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    Close();
    return rc;
  }
  sqlite3_extended_result_codes(db_, 0);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // A commit ends by deleting the rollback journal. At FULL the folder is not
  // synced after that, so a power cut can bring the journal back, and the
  // next program to open the file rolls the committed transaction back.
  // EXTRA syncs the folder too: what was committed stays committed.
  sqlite3_exec(db_, "PRAGMA synchronous = EXTRA", nullptr, nullptr, nullptr);
  return SQLITE_OK;
}

void SqliteConnection::Close() {
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

int SqliteConnection::Exec(const std::string& sql) {
  if (!db_) return SQLITE_MISUSE;
  char* err = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    message_ = err ? err : sqlite3_errstr(rc);
  }
  sqlite3_free(err);
  return rc;
}

bool SqliteConnection::inTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

int64_t SqliteConnection::changes() const { return db_ ? sqlite3_changes64(db_) : 0; }

int SqliteConnection::Fail(int code) {
  message_ = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  return code;
}
