// Runs statements in the programs' Jet dialect on one open connection to a
// local store, keeping what it learns (the tables' columns, the prepared
// statements) for the next statement on the same connection.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/jet_statement.h"
#include "store/table_command.h"

class JetExecutor {
 public:
  // connection must stay open as long as the executor is used.
  explicit JetExecutor(SqliteConnection& connection);
  ~JetExecutor();

  // Translates and runs one statement. S_OK, or the failure as a DbStatus
  // (DB_E_INTEGRITYVIOLATION for a duplicate id, DB_E_ERRORSINCOMMAND for text
  // that is no statement, DB_E_CANTCONVERTVALUE for a bad date, ...), with
  // SQLite's or the translator's words in error. changes: rows changed.
  DbStatus Run(const std::string& jetSql, int64_t* changes, std::string* error);

 private:
  std::vector<std::pair<std::string, std::string>> Columns(const std::string& table);

  SqliteConnection& connection_;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> columns_;
  // Statements that differ only in their literals share one translated text,
  // so a synchronization prepares a handful of statements, not one per row.
  std::map<std::string, std::unique_ptr<SqliteStatement>> prepared_;

  // What a statement's shape (its text with the literals' values taken out)
  // translates to: the prepared statement, and what each literal becomes.
  // A shape seen before is not translated again; only its literals are read.
  struct Plan {
    enum class Slot { Text, Date, Number, Constant };
    SqliteStatement* statement = nullptr;
    std::vector<Slot> slots;
    std::vector<int64_t> constants;  // the value of each Constant slot, in order
  };
  std::unordered_map<std::string, Plan> plans_;
  // The last statement's pattern and plan: the next statement of the same
  // pattern is read without Split and without looking its shape up.
  void Remember(const std::string& jetSql, size_t count, const Plan* plan);
  std::unique_ptr<struct JetPattern> lastPattern_;
  const Plan* lastPlan_ = nullptr;
  // Kept from one statement to the next, so reading one allocates nothing.
  std::string shape_;
  std::vector<struct JetLiteral> literals_;
  std::vector<SqlParameter> parameters_;
};
