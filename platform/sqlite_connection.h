// One connection to an SQLite file: the only place that opens or closes one.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

// Result codes are SQLite's own (SQLITE_OK, SQLITE_BUSY, ...); the message of
// the last failure is kept so callers can show the reason.
class SqliteConnection {
 public:
  // How long a connection waits for another process's lock before it fails
  // with SQLITE_BUSY.
  static constexpr int kBusyTimeoutMs = 5000;

  SqliteConnection() = default;
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;
  SqliteConnection(SqliteConnection&& other) noexcept;
  SqliteConnection& operator=(SqliteConnection&& other) noexcept;

  // Opens path. With create false a missing file is an error (SQLITE_CANTOPEN)
  // rather than a new empty database. Every connection has double-quoted
  // identifiers turned off (a double-quoted text is never taken for a column
  // name) and the busy timeout set. Returns SQLITE_OK or the failure code;
  // the connection is closed again on failure.
  int Open(const std::string& path, bool create);
  void Close();
  bool isOpen() const { return db_ != nullptr; }

  // Runs SQL text without parameters (schema, pragmas, BEGIN/COMMIT).
  int Exec(const std::string& sql);

  // Whether a transaction is open (SQLite ends one by itself after some
  // failures, such as a full disk).
  bool inTransaction() const;

  // Rows changed by the last INSERT, UPDATE or DELETE.
  int64_t changes() const;

  const std::string& errorMessage() const { return message_; }
  // Records the message of code from this connection (used by the statement).
  int Fail(int code);
  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::string message_;
};
