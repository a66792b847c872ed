// A series of statements on one connection to a local store, in one
// transaction: a synchronization step, or the marking of one invoice.
//
// Each statement takes effect or fails on its own, exactly as a statement on
// a connection of its own would: inside a transaction SQLite undoes a failed
// statement's own changes and keeps the rest; a failure that costs the whole
// transaction (a full disk, an I/O error) fails every later statement. The
// step as a whole becomes durable at Commit. A process that dies before
// Commit leaves the store as it was before the step: the rollback journal
// SQLite leaves behind is played back by the next connection that opens the
// file. The journal stays a rollback journal (not WAL) with synchronous EXTRA,
// so a committed step survives a power cut, and the store is still a single
// file that the maintenance program can delete and other programs can share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sqlite_connection.h"
#include "store/table_command.h"

class StatementRunner;
class StoreStatement;

class StoreSession {
 public:
  explicit StoreSession(std::string storePath);
  // Rolls back whatever was not committed.
  ~StoreSession();
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  // Runs one statement. The first call opens the store (never creating
  // it) and takes its write lock (waiting up to the busy timeout for another
  // program); a failure there is this statement's failure. Once a failure
  // has cost the transaction (disk full, I/O error), this and every later
  // statement fail with that failure and nothing more is written. A failure
  // carries SQLite's words.
  Status Execute(const StoreStatement& statement);
  // Rows changed by the last Execute.
  int64_t rowsAffected() const { return rowsAffected_; }

  // Opens the store and takes its write lock now rather than at the first
  // statement, so that what is read next (on any connection) cannot change
  // before this session's statements run. S_OK, or the failure, which every
  // later statement then returns too.
  Status Begin();

  // Makes every statement that succeeded durable. S_OK also when nothing was
  // run; otherwise the failure, and nothing of the step is kept.
  Status Commit();

 private:
  void DropStatements();

  std::string path_;
  SqliteConnection connection_;
  std::unique_ptr<StatementRunner> runner_;
  bool open_ = false;             // a transaction is running
  bool changed_ = false;          // a statement of it succeeded
  Status broken_ = Status::Ok();  // the failure that cost the transaction
  int64_t rowsAffected_ = 0;
};
