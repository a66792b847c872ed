// Runs Jet statements on one connection to a local store.
#include "store/jet_executor.h"

#include <sqlite3.h>

#include "platform/clock.h"
#include "store/jet_statement.h"

std::vector<std::pair<std::string, std::string>> JetExecutor::Columns(const std::string& table) {
  auto known = columns_.find(table);
  if (known != columns_.end()) return known->second;
  std::vector<std::pair<std::string, std::string>> result;
  SqliteStatement info;
  if (info.Prepare(connection_, "SELECT name, type FROM pragma_table_info(?)") != SQLITE_OK) {
    return result;
  }
  info.BindText(1, table);
  while (info.Step() == SQLITE_ROW) result.emplace_back(info.ColumnText(0), info.ColumnText(1));
  // An unknown table is looked up again next time: its statement fails anyway.
  if (!result.empty()) columns_[table] = result;
  return result;
}

DbStatus JetExecutor::Run(const std::string& jetSql, int64_t* changes, std::string* error) {
  *changes = 0;
  error->clear();
  JetStatement jet;
  if (!jet.Translate(jetSql, [this](const std::string& table) { return Columns(table); }, Now())) {
    *error = jet.error();
    return jet.conversionFailed() ? DB_E_CANTCONVERTVALUE : DB_E_ERRORSINCOMMAND;
  }
  auto fail = [this, error](int rc) {
    *error = connection_.errorMessage();
    return DbStatusFromSqlite(rc, *error);
  };
  std::unique_ptr<SqliteStatement>& statement = prepared_[jet.sql()];
  if (!statement) {
    auto fresh = std::make_unique<SqliteStatement>();
    if (int rc = fresh->Prepare(connection_, jet.sql()); rc != SQLITE_OK) {
      prepared_.erase(jet.sql());
      return fail(rc);
    }
    statement = std::move(fresh);
  }
  // A statement left unreset by a failure must not keep its lock or rows.
  statement->Reset();
  int index = 1;
  for (const SqlParameter& p : jet.parameters()) {
    int rc = SQLITE_OK;
    switch (p.kind) {
      case SqlParameter::Kind::Integer: rc = statement->BindInt64(index, p.integer); break;
      case SqlParameter::Kind::Real: rc = statement->BindDouble(index, p.real); break;
      case SqlParameter::Kind::Text: rc = statement->BindText(index, p.text); break;
    }
    if (rc != SQLITE_OK) return fail(rc);
    ++index;
  }
  int rc = statement->Step();
  while (rc == SQLITE_ROW) rc = statement->Step();  // a SELECT sent as a statement
  if (rc != SQLITE_DONE) {
    const DbStatus status = fail(rc);
    statement->Reset();
    return status;
  }
  statement->Reset();
  *changes = connection_.changes();
  return S_OK;
}
