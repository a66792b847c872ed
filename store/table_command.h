// One table's command on one connection to a local store: walks the table's
// rows into a row buffer, or executes one statement.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "platform/status.h"

// The codes of a store's Status keep the OLE DB result codes the programs
// were written against.
using DbStatus = int32_t;
constexpr DbStatus S_OK = 0;
constexpr DbStatus DB_S_ENDOFROWSET = 0x00040EC6;
constexpr DbStatus E_FAIL = Status::kFailed;
constexpr DbStatus DB_E_ERRORSINCOMMAND = static_cast<DbStatus>(0x80040E14u);
constexpr DbStatus DB_E_INTEGRITYVIOLATION = static_cast<DbStatus>(0x80040E2Fu);
constexpr DbStatus DB_E_NOTABLE = static_cast<DbStatus>(0x80040E37u);
constexpr DbStatus DB_E_CANTCONVERTVALUE = static_cast<DbStatus>(0x80040E07u);
// The file is locked by another process beyond the busy timeout, or read-only.
constexpr DbStatus DB_E_TABLEINUSE = static_cast<DbStatus>(0x80040E40u);
constexpr DbStatus DB_SEC_E_PERMISSIONDENIED = static_cast<DbStatus>(0x80040E09u);

// The code for an SQLite failure code; message is SQLite's text for it
// (it tells a missing table from other errors).
DbStatus DbStatusFromSqlite(int sqliteCode, const std::string& message);
// The failure for an SQLite failure code, with SQLite's words.
Status StatusFromSqlite(int sqliteCode, std::string message);

class StatementRunner;
class StoreStatement;
struct sqlite3_stmt;
struct sqlite3_value;

// HlGroupFlags: the time records' ids and flags alone, what a
// synchronization compares with the handheld.
enum class StoreTable { AccountName, ItemName, HlGroup, HlTime, HlGroupFlags };

class TableCommand {
 public:
  explicit TableCommand(StoreTable table);
  ~TableCommand();

  // The table's SELECT, exactly as the programs send it.
  static const char* DefaultCommandText(StoreTable table);

  void SetPath(const std::string& path) { path_ = path; }
  // Opens the store file (never creating it). E_FAIL when it is missing or not
  // a database.
  Status OpenConnection();
  // Reads through a connection that is already open (and may hold a read
  // transaction over several tables) instead of one of its own.
  void UseConnection(SqliteConnection& connection);
  // Runs the table's SELECT. DB_E_NOTABLE when the table is missing.
  Status OpenDefaultRowset();
  // S_OK with a row in the buffer, the success DB_S_ENDOFROWSET at the end,
  // or a failure. DB_E_CANTCONVERTVALUE when a value of the row does not fit
  // its binding (a number that is no 32-bit integer); the walk may go on past
  // that row.
  Status MoveFirst();
  Status MoveNext();
  // MoveNext's code alone, without the failure's words: for walks over many
  // rows that pass over a row that does not fit and stop at any other code.
  DbStatus NextRow();

  // The row buffer, by ordinal from 1 as the SELECT lists the columns; an
  // ordinal the SELECT does not list reads 0 or "". A text points into the
  // row and is valid until the next move.
  int32_t IntField(int ordinal) const { return static_cast<int32_t>(Field(ordinal).number); }
  std::string_view TextField(int ordinal) const { return Field(ordinal).text; }
  double DateField(int ordinal) const { return Field(ordinal).real; }
  bool BoolField(int ordinal) const { return Field(ordinal).number != 0; }

  // Opens the connection when needed and runs the statement in its own
  // transaction. S_OK, or the failure with SQLite's words
  // (DB_E_INTEGRITYVIOLATION for a duplicate id, DB_E_TABLEINUSE when locked
  // or read-only).
  Status ExecuteStatement(const StoreStatement& statement);
  // Rows changed by the last ExecuteStatement.
  int64_t rowsAffected() const { return rowsAffected_; }

 private:
  Status Fetch();
  Status Fail(int sqliteCode) const;
  // The slow path of a 4-byte binding whose value is no integer in range:
  // whether it is a whole number in range all the same.
  bool FitsFourBytes(sqlite3_value* value, size_t column) const;

  StoreTable table_;
  std::string path_;
  SqliteConnection ownConnection_;
  SqliteConnection* connection_ = &ownConnection_;
  std::unique_ptr<SqliteStatement> rowset_;
  std::unique_ptr<StatementRunner> runner_;
  // One field a column: a number for integers and Yes/No, a real for dates.
  struct RowField {
    int64_t number = 0;
    double real = 0;
    std::string_view text;
  };
  static constexpr size_t kMostColumns = 8;
  const RowField& Field(int ordinal) const {
    static constexpr RowField kNone{};
    return ordinal >= 1 && static_cast<size_t>(ordinal) <= reader_.columns ? fields_[ordinal - 1]
                                                                           : kNone;
  }
  // Reads a row into the fields, each column by its binding (one letter a
  // column); the last column whose number does not fit, or the count.
  template <char... kBindings>
  size_t ReadRow(sqlite3_stmt* row);
  // One column; false when its number does not fit.
  template <char kBinding>
  bool ReadField(sqlite3_stmt* row, size_t column);
  struct RowReader {
    size_t columns = 0;
    size_t (TableCommand::*read)(sqlite3_stmt*) = nullptr;
  };
  template <char... kBindings>
  static RowReader Reader() {
    static_assert(sizeof...(kBindings) <= kMostColumns);
    return {sizeof...(kBindings), &TableCommand::ReadRow<kBindings...>};
  }
  RowReader reader_;  // the SELECT's
  std::array<RowField, kMostColumns> fields_{};
  int64_t rowsAffected_ = 0;
  int lastStep_ = 0;  // SQLite's code of the last failed step
  size_t unfit_ = 0;  // the column of the last row that did not fit
};

// One statement on its own connection: set path, execute, destroy. The rows
// it changed go to the optional output.
Status ExecuteStatement(const std::string& storePath, const StoreStatement& statement,
                        int64_t* rowsAffected = nullptr);
