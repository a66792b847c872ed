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
    EXPECT_EQ(session.Execute(InsertAccountStatement(1, "Acme")), S_OK);
    EXPECT_EQ(session.rowsAffected(), 1);
    // A duplicate id fails alone; the statements around it stay.
    EXPECT_EQ(session.Execute(InsertAccountStatement(1, "Other")), DB_E_INTEGRITYVIOLATION);
    EXPECT_FALSE(session.errorMessage().empty());
    EXPECT_EQ(session.Execute("insert into nowhere values (1)"), DB_E_NOTABLE);
    EXPECT_EQ(session.Execute(InsertAccountStatement(2, "O'Brien")), S_OK);
    // Another program reads the store as it was until the commit.
    EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 0);
    EXPECT_EQ(session.Commit(), S_OK);
  }
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 2);
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName WHERE name = 'O`Brien'"), 1);

  // Ended without a commit: nothing of it is kept.
  {
    StoreSession session(path);
    EXPECT_EQ(session.Execute(DeleteAccountStatement(1)), S_OK);
    EXPECT_EQ(session.Execute(InsertAccountStatement(3, "Gone")), S_OK);
  }
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName"), 2);
  EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM accountName WHERE id = 1"), 1);

  // A store that is missing fails every statement and the commit alike,
  // and is not created.
  StoreSession missing(env.dataPath() + "/Missing.mdb");
  EXPECT_EQ(missing.Execute(InsertAccountStatement(1, "Acme")), E_FAIL);
  EXPECT_EQ(missing.Execute(InsertAccountStatement(2, "Beta")), E_FAIL);
  EXPECT_EQ(missing.Commit(), E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(env.dataPath() + "/Missing.mdb"));
}
