// A series of statements in one transaction, on a real store file: each
// statement takes effect or fails on its own, nothing is kept before the
// commit, and a second program waits for the commit.
#include "store/store_session.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/statements.h"
#include "support/store_fixture.h"

namespace {

int64_t Count(const std::string& path, const std::string& sql) {
  SqliteConnection db;
  if (db.Open(path, false) != SQLITE_OK) return -1;
  SqliteStatement statement;
  if (statement.Prepare(db, sql) != SQLITE_OK || statement.Step() != SQLITE_ROW) return -1;
  return statement.ColumnInt64(0);
}

}  // namespace

TEST(StoreSession, StatementsStandAloneInsideOneTransaction) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  {
    StoreSession session(path);
    EXPECT_EQ(session.Execute(InsertAccountStatement(1, "Acme")).code(), S_OK);
    EXPECT_EQ(session.rowsAffected(), 1);
    // A duplicate id fails alone; the statements around it stay.
    const Status duplicate = session.Execute(InsertAccountStatement(1, "Other"));
    EXPECT_EQ(duplicate.code(), DB_E_INTEGRITYVIOLATION);
    EXPECT_FALSE(duplicate.message().empty());
    EXPECT_EQ(session.Execute(InsertAccountStatement(2, "O'Brien")).code(), S_OK);
    // Another program reads the store as it was until the commit.
    EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 0);
    EXPECT_EQ(session.Commit().code(), S_OK);
  }
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 2);
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName WHERE name = 'O`Brien'"), 1);

  // Ended without a commit: nothing of it is kept.
  {
    StoreSession session(path);
    EXPECT_EQ(session.Execute(DeleteAccountStatement(1)).code(), S_OK);
    EXPECT_EQ(session.Execute(InsertAccountStatement(3, "Gone")).code(), S_OK);
  }
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 2);
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName WHERE id = 1"), 1);

  // A store that is missing fails every statement and the commit alike,
  // and is not created.
  StoreSession missing(env.dataPath() + "/Missing.mdb");
  EXPECT_EQ(missing.Execute(InsertAccountStatement(1, "Acme")).code(), E_FAIL);
  EXPECT_EQ(missing.Execute(InsertAccountStatement(2, "Beta")).code(), E_FAIL);
  EXPECT_EQ(missing.Commit().code(), E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(env.dataPath() + "/Missing.mdb"));
}

// Statements of one kind on one session share their prepared statement;
// each still gets its own values, and a value that cannot be converted fails
// alone.
TEST(StoreSession, StatementsOfOneKindKeepTheirOwnValues) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  struct Case {
    StoreStatement statement;
    DbStatus status;
    std::string row;  // id|invoiced|invoicedate|notes afterwards, "" for none
  };
  const auto insert = [](int id, const std::string& notes) {
    return InsertTimeRecordStatement(id, 1, 1, 1, notes);
  };
  const Case cases[] = {
      {insert(1, "first"), S_OK, "1|0|2.0|first"},
      {insert(2, "it's \"quoted\""), S_OK, "2|0|2.0|it's 'quoted'"},
      {insert(3, "# -- /* ? ?1 :a"), S_OK, "3|0|2.0|# -- /* ? ?1 :a"},
      {MarkInvoicedStatement("03/15/03", 1), S_OK, "1|1|37695.0|first"},
      {MarkInvoicedStatement("not a date", 2), DB_E_CANTCONVERTVALUE, "2|0|2.0|it's 'quoted'"},
      {MarkInvoicedStatement("12/31/99", 3), S_OK, "3|1|36525.0|# -- /* ? ?1 :a"},
      {MarkInvoicedStatement("01-JAN-1900", 4), S_OK, ""},
      {MarkInvoicedStatement("1/2/2003", 2), S_OK, "2|1|37623.0|it's 'quoted'"},
  };
  // The values are read the same under a locale with a decimal comma.
  ScopedCLocale locale("de_DE.UTF-8", "en_US.UTF-8");
  if (!locale.error().empty()) GTEST_SKIP() << locale.error();
  StoreSession session(path);
  for (const Case& c : cases) {
    EXPECT_EQ(session.Execute(c.statement).code(), c.status) << c.statement.Text();
  }
  ASSERT_EQ(session.Commit().code(), S_OK);
  SqliteConnection db;
  ASSERT_EQ(db.Open(path, false), SQLITE_OK);
  for (const Case& c : cases) {
    if (c.row.empty()) continue;
    const std::string id = c.row.substr(0, c.row.find('|'));
    SqliteStatement row;
    ASSERT_EQ(row.Prepare(db,
                          "SELECT id || '|' || invoiced || '|' || printf('%.1f', invoicedate) "
                          "|| '|' || notes FROM hlgroup WHERE id = " +
                              id),
              SQLITE_OK);
    ASSERT_EQ(row.Step(), SQLITE_ROW);
    // Later cases on the same id change it again: only the last one holds.
    bool last = true;
    for (const Case& later : cases) {
      if (&later > &c && later.status == S_OK && later.row.rfind(id + "|", 0) == 0) last = false;
    }
    if (last) {
      EXPECT_EQ(row.ColumnText(0), c.row) << c.statement.Text();
    }
  }
}
