// A transaction on one connection that rolls back unless committed.
#pragma once

class SqliteConnection;

class SqliteTransaction {
 public:
  // BEGIN IMMEDIATE takes the write lock at once (waiting up to the busy
  // timeout), so a read-then-write never fails halfway on another writer.
  explicit SqliteTransaction(SqliteConnection& connection);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  // SQLITE_OK when BEGIN succeeded.
  int status() const { return status_; }
  // SQLITE_OK or the failure code of COMMIT (or of BEGIN).
  int Commit();

 private:
  SqliteConnection& connection_;
  int status_;
  bool open_ = false;
};
