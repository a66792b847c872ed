// One prepared SQLite statement with checked binds and typed column reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3_stmt;
class SqliteConnection;

class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Returns SQLITE_OK or the failure code (message kept on the connection).
  int Prepare(SqliteConnection& connection, const std::string& sql);
  bool isPrepared() const { return stmt_ != nullptr; }
  // Lets go of the statement (before its connection closes).
  void Finalize();

  // Parameters are numbered from 1. Each returns SQLITE_OK or the failure.
  int BindInt64(int index, int64_t value);
  int BindDouble(int index, double value);
  int BindText(int index, const std::string& value);
  int BindBlob(int index, const std::vector<uint8_t>& value);
  int BindNull(int index);
  int parameterCount() const;

  // SQLITE_ROW, SQLITE_DONE or a failure code.
  int Step();
  int Reset();

  // Columns are numbered from 0.
  int columnCount() const;
  enum class Type { Integer, Real, Text, Blob, Null };
  Type ColumnType(int column) const;
  bool IsNull(int column) const;
  int64_t ColumnInt64(int column) const;
  double ColumnDouble(int column) const;
  std::string ColumnText(int column) const;
  std::vector<uint8_t> ColumnBlob(int column) const;
  // SQLite's own statement, for a reader that walks many rows and reads
  // their columns as sqlite3_value without a call through here for each.
  sqlite3_stmt* handle() const { return stmt_; }
  // The same into a string or vector the caller keeps, whose room is reused
  // from row to row.
  void ColumnText(int column, std::string* out) const;
  void ColumnBlob(int column, std::vector<uint8_t>* out) const;

 private:
  int Check(int rc);
  SqliteConnection* connection_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};
