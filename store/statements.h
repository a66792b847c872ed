// Every statement the programs send to a local store, one function each.
//
// A statement is a value: what it does and its values. Its text is the exact
// text the programs have always sent, which names it in tests and messages;
// it runs as one fixed SQLite statement of its kind, prepared once per
// connection, with its values bound. No text is ever read back as SQL.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/table_command.h"

class StoreStatement {
 public:
  enum class Kind : uint8_t {
    MarkInvoiced,
    FlagDeleted,
    InsertAccount,
    RenameAccount,
    InsertItem,
    UpdateItem,
    DeleteSpans,
    DeleteUninvoiced,
    InsertTimeRecord,
    InsertSpan,
    DeleteTimeRecord,
    DeleteItemsOfAccount,
    DeleteAccount,
  };
  static constexpr size_t kKinds = 13;

  // numbers in the order the text gives them; text (a name, notes or a date
  // text) as the statement quotes it.
  StoreStatement(Kind kind, std::array<int32_t, 4> numbers, std::string text = {});

  Kind kind() const { return kind_; }
  // The text the programs send, e.g. "insert into hltime values (5, 84600, 90)".
  std::string Text() const;
  // Lets a statement stand where its text is expected: in the lists of sent
  // statements that tests compare.
  operator std::string() const { return Text(); }
  bool operator==(const StoreStatement& other) const {
    return kind_ == other.kind_ && numbers_ == other.numbers_ && text_ == other.text_;
  }
  bool operator!=(const StoreStatement& other) const { return !(*this == other); }

 private:
  friend class StatementRunner;
  Kind kind_;
  std::array<int32_t, 4> numbers_;
  std::string text_;
};

// Names are quoted with apostrophes in the statements, so an apostrophe in a
// name becomes a backquote; notes are quoted with double quotes, so a double
// quote in the notes becomes an apostrophe. The statement functions apply
// these themselves, and cut a text at a zero byte, as the texts always were.
std::string NameForStatement(const std::string& name);
std::string NotesForStatement(std::string notes);

// 1: record id invoiced on the day dateText ("%m/%d/%y").
StoreStatement MarkInvoicedStatement(const std::string& dateText, int32_t recordId);
// 2: invoiced records flagged as removed from the handheld.
StoreStatement FlagDeletedStatement();
// 3, 4: a new account; an account renamed.
StoreStatement InsertAccountStatement(int32_t accountId, const std::string& name);
StoreStatement RenameAccountStatement(const std::string& name, int32_t accountId);
// 5, 6: a new item; an item moved or renamed.
StoreStatement InsertItemStatement(int32_t itemId, int32_t accountId, const std::string& name);
StoreStatement UpdateItemStatement(int32_t accountId, const std::string& name, int32_t itemId);
// 7: the spans of one record.
StoreStatement DeleteSpansStatement(int32_t recordId);
// 8: every uninvoiced record.
StoreStatement DeleteUninvoicedStatement();
// 9, 10: a record and a span copied from the handheld.
StoreStatement InsertTimeRecordStatement(int32_t recordId, int32_t grpdate, int32_t accountId,
                                         int32_t itemId, const std::string& notes);
StoreStatement InsertSpanStatement(int32_t recordId, int32_t starttime, int32_t duration);
// 11, 12, 13: one record, the items of an account, the account.
StoreStatement DeleteTimeRecordStatement(int32_t recordId);
StoreStatement DeleteItemsOfAccountStatement(int32_t accountId);
StoreStatement DeleteAccountStatement(int32_t accountId);

// Runs statements on one open connection, preparing each kind's SQLite
// statement at its first use and keeping it for the next.
class StatementRunner {
 public:
  // connection must stay open as long as the runner is used.
  explicit StatementRunner(SqliteConnection& connection) : connection_(connection) {}

  // S_OK, or the failure with its DbStatus code (DB_E_INTEGRITYVIOLATION for
  // a duplicate id, DB_E_CANTCONVERTVALUE for a date text that is no date,
  // DB_E_NOTABLE for a missing table, ...) and SQLite's words. changes: rows
  // changed.
  Status Run(const StoreStatement& statement, int64_t* changes);

 private:
  SqliteConnection& connection_;
  std::array<std::unique_ptr<SqliteStatement>, StoreStatement::kKinds> prepared_;
};
