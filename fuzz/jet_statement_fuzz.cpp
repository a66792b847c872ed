// Fuzzes the Jet statement adapter with the store's own tables. SQLite itself
// is the judge of the result: every "?" it finds in the translated text must
// be one of the bound literals, and no other parameter may appear.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include "fuzz/fuzz_check.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/jet_statement.h"

namespace {

using Columns = std::vector<std::pair<std::string, std::string>>;

// The tables of store/schema.sql, as pragma_table_info gives them.
Columns StoreColumns(const std::string& table) {
  if (table == "accountname") return {{"id", "INTEGER"}, {"name", "TEXT"}};
  if (table == "itemname") return {{"id", "INTEGER"}, {"parent", "INTEGER"}, {"name", "TEXT"}};
  if (table == "hlgroup") {
    return {{"id", "INTEGER"},    {"grpdate", "INTEGER"},       {"acct", "INTEGER"},
            {"item", "INTEGER"},  {"notes", "TEXT"},            {"invoiced", "YESNO"},
            {"invoicedate", "DATETIME"}, {"deleted", "YESNO"}};
  }
  if (table == "hltime") return {{"parent", "INTEGER"}, {"starttime", "INTEGER"}, {"duration", "INTEGER"}};
  return {};
}

// An empty store in memory, made from the schema the build makes the template from.
SqliteConnection& Store() {
  static SqliteConnection* store = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    std::ifstream in(HORALOG_SCHEMA);
    const std::string schema((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FUZZ_CHECK(!schema.empty());
    auto* connection = new SqliteConnection;
    FUZZ_CHECK(connection->Open(":memory:", true) == SQLITE_OK);
    FUZZ_CHECK(connection->Exec(schema) == SQLITE_OK);
    return connection;
  }();
  return *store;
}

// 7 December 2026, noon UTC.
constexpr std::time_t kToday = 1796644800;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SqliteConnection& store = Store();
  const std::string text(reinterpret_cast<const char*>(data), size);
  JetStatement jet;
  const bool translated = jet.Translate(text, StoreColumns, kToday);

  // The same text gives the same result every time.
  JetStatement again;
  FUZZ_CHECK(again.Translate(text, StoreColumns, kToday) == translated);
  if (!translated) {
    FUZZ_CHECK(!jet.error().empty());
    FUZZ_CHECK(again.error() == jet.error());
    return 0;
  }
  FUZZ_CHECK(jet.error().empty());
  FUZZ_CHECK(again.sql() == jet.sql());
  FUZZ_CHECK(again.parameters().size() == jet.parameters().size());

  // No quote of the statement reaches SQLite: outside names every quoted
  // text went into a parameter.
  const std::string& sql = jet.sql();
  FUZZ_CHECK(sql.find('\0') == std::string::npos);
  for (size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] == '[' || sql[i] == '`') {
      const size_t end = sql.find(sql[i] == '[' ? ']' : '`', i + 1);
      FUZZ_CHECK(end != std::string::npos);
      i = end;
      continue;
    }
    FUZZ_CHECK(sql[i] != '\'' && sql[i] != '"');
  }

  SqliteStatement statement;
  if (statement.Prepare(store, jet.sql()) != SQLITE_OK) return 0;  // not SQL SQLite knows: refused later
  FUZZ_CHECK(static_cast<size_t>(statement.parameterCount()) == jet.parameters().size());
  return 0;
}
