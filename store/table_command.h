// One table's command on one connection to a local store: walks the table's
// rows into a row buffer, or executes one statement.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cmath>
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

// HlGroupFlags: the time records' ids and flags alone, what a
// synchronization compares with the handheld.
enum class StoreTable { AccountName, ItemName, HlGroup, HlTime, HlGroupFlags };

// What each column of a table's SELECT binds, one letter a column: 'i' a
// 4-byte integer, 's' text, 'b' a Yes/No, 'd' a date.
template <char... kLetters>
struct Bindings {
  static constexpr size_t kColumns = sizeof...(kLetters);
};
template <StoreTable kTable>
struct TableBindings;
template <>
struct TableBindings<StoreTable::AccountName> : Bindings<'i', 's'> {};
template <>
struct TableBindings<StoreTable::ItemName> : Bindings<'i', 'i', 's'> {};
template <>
struct TableBindings<StoreTable::HlGroup> : Bindings<'i', 'i', 'i', 'i', 's', 'b', 'd', 'b'> {};
template <>
struct TableBindings<StoreTable::HlTime> : Bindings<'i', 'i', 'i'> {};
template <>
struct TableBindings<StoreTable::HlGroupFlags> : Bindings<'i', 'b', 'b'> {};

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
  // Hands each row of the open rowset of kTable (this command's) to add,
  // passing over rows that do not fit; returns the code that ended the walk
  // (DB_S_ENDOFROWSET at the end of the table). The table being known when
  // compiling, each row is read where the walk is.
  template <StoreTable kTable, typename AddRow>
  DbStatus WalkRows(AddRow add) {
    if (table_ != kTable || !rowset_) return E_FAIL;
    sqlite3_stmt* const row = rowset_->handle();
    DbStatus status;
    while ((status = ReadRow(row, TableBindings<kTable>{})) == S_OK ||
           status == DB_E_CANTCONVERTVALUE) {
      if (status == S_OK) add(static_cast<const TableCommand&>(*this));
    }
    return status;
  }

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
  // The fields past the SELECT's columns are never written and stay empty,
  // so the check is against the buffer alone: for an ordinal known when
  // compiling, no check is left in a walk.
  const RowField& Field(int ordinal) const {
    static constexpr RowField kNone{};
    return ordinal >= 1 && static_cast<size_t>(ordinal) <= kMostColumns ? fields_[ordinal - 1]
                                                                        : kNone;
  }
  // Steps to the next row and reads it into the fields, each column by its
  // binding. Each column is taken once as a value, whose type, number and
  // text are then read without going through the statement again: a load
  // reads hundreds of thousands of rows. The values are this connection's,
  // used on its thread only.
  template <char... kLetters>
  DbStatus ReadRow(sqlite3_stmt* row, Bindings<kLetters...>) {
    static_assert(sizeof...(kLetters) <= kMostColumns);
    if (const int rc = sqlite3_step(row); rc != SQLITE_ROW) return StepEnded(rc);
    size_t column = 0;
    bool fits = true;
    ((fits = ReadField<kLetters>(row, column++) && fits), ...);  // read in order
    return fits ? S_OK : DB_E_CANTCONVERTVALUE;
  }
  // One column; false when its number does not fit, and the column is then
  // kept as the row's last one that does not.
  template <char kLetter>
  bool ReadField(sqlite3_stmt* row, size_t column) {
    sqlite3_value* const value = sqlite3_column_value(row, static_cast<int>(column));
    RowField& field = fields_[column];
    if constexpr (kLetter == 'i') {
      field.number = sqlite3_value_int64(value);
      if (sqlite3_value_type(value) == SQLITE_INTEGER &&
          field.number == static_cast<int32_t>(field.number)) [[likely]] {
        return true;
      }
      if (FitsFourBytes(value, column)) return true;
      unfit_ = column;
      return false;
    } else if constexpr (kLetter == 's') {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      field.text = text ? std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(value)))
                        : std::string_view();
    } else if constexpr (kLetter == 'b') {
      field.number = sqlite3_value_int64(value) != 0;
    } else {
      field.real =
          sqlite3_value_type(value) == SQLITE_NULL ? std::nan("") : sqlite3_value_double(value);
    }
    return true;
  }
  // The code of a step that brought no row: the end, or the failure.
  DbStatus StepEnded(int sqliteCode);
  // Calls use with the bindings of table.
  template <typename Use>
  static auto WithBindings(StoreTable table, Use use) {
    switch (table) {
      case StoreTable::AccountName: return use(TableBindings<StoreTable::AccountName>{});
      case StoreTable::ItemName: return use(TableBindings<StoreTable::ItemName>{});
      case StoreTable::HlGroup: return use(TableBindings<StoreTable::HlGroup>{});
      case StoreTable::HlTime: return use(TableBindings<StoreTable::HlTime>{});
      case StoreTable::HlGroupFlags: break;
    }
    return use(TableBindings<StoreTable::HlGroupFlags>{});
  }
  std::array<RowField, kMostColumns> fields_{};
  int64_t rowsAffected_ = 0;
  size_t unfit_ = 0;  // the column of the last row that did not fit
};

// One statement on its own connection: set path, execute, destroy. The rows
// it changed go to the optional output.
Status ExecuteStatement(const std::string& storePath, const StoreStatement& statement,
                        int64_t* rowsAffected = nullptr);
