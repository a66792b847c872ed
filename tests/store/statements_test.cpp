// The statement catalogue: exact texts, and what each does to a real store.
#include "store/statements.h"

#include <gtest/gtest.h>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/table_command.h"
#include "support/store_fixture.h"

namespace {

// Counts rows of a store through SQLite directly, beside the code under test.
int64_t Count(const std::string& path, const std::string& sql) {
  SqliteConnection db;
  EXPECT_EQ(db.Open(path, false), 0);
  SqliteStatement st;
  EXPECT_EQ(st.Prepare(db, sql), 0) << db.errorMessage();
  EXPECT_EQ(st.Step(), 100);  // SQLITE_ROW
  return st.ColumnInt64(0);
}

}  // namespace

TEST(Statements, TextsAreTheCatalogueTexts) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {MarkInvoicedStatement("03/15/03", 12),
       "update hlgroup set invoiced = Yes, invoicedate = '03/15/03' where id = 12"},
      {FlagDeletedStatement(), "update hlgroup set deleted = Yes where invoiced = Yes and deleted = No"},
      {InsertAccountStatement(7, "O'Brien"), "insert into accountname values (7, 'O`Brien')"},
      {RenameAccountStatement("Smith & Co", -3), "update accountname set name = 'Smith & Co' where id = -3"},
      {InsertItemStatement(21, 7, "Design"), "insert into itemname values (21, 7, 'Design')"},
      {UpdateItemStatement(8, "It's", 21), "update itemname set parent = 8, name = 'It`s' where id = 21"},
      {DeleteSpansStatement(5), "delete from hltime where parent = 5"},
      {DeleteUninvoicedStatement(), "delete from hlgroup where invoiced = No"},
      {InsertTimeRecordStatement(5, 131843, 7, 21, "fixed the \"big\" bug"),
       "insert into hlgroup values (5, 131843, 7, 21, \"fixed the 'big' bug\", 0, '01-JAN-1900', 0)"},
      {InsertSpanStatement(5, 84600, 90), "insert into hltime values (5, 84600, 90)"},
      {DeleteTimeRecordStatement(5), "delete from hlgroup where id = 5"},
      {DeleteItemsOfAccountStatement(7), "delete from itemname where parent = 7"},
      {DeleteAccountStatement(7), "delete from accountname where id = 7"},
      // A name with a percent sign is inserted as it stands.
      {InsertAccountStatement(2147483647, "100% %d"),
       "insert into accountname values (2147483647, '100% %d')"},
      // A zero byte ends a text; the smallest id keeps its sign.
      {InsertItemStatement(-2147483647 - 1, 1, std::string("A\0B", 3)),
       "insert into itemname values (-2147483648, 1, 'A')"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, c.expected);
}

TEST(Statements, EachChangesARealStoreAsItSays) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  env.Run(path, {InsertAccountStatement(1, "O'Brien"), InsertAccountStatement(2, "Smith"),
                 InsertItemStatement(10, 1, "Design"), InsertItemStatement(11, 2, "Build"),
                 InsertTimeRecordStatement(100, PackDate(2003, 3, 15), 1, 10, "say \"hi\""),
                 InsertTimeRecordStatement(101, PackDate(2003, 3, 16), 2, 11, ""),
                 InsertSpanStatement(100, 32400, 30), InsertSpanStatement(100, 36000, 15),
                 InsertSpanStatement(101, 3600, 60)});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM accountName WHERE name = 'O`Brien'"), 1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup WHERE notes = 'say ''hi''' AND invoiced = 0 "
                        "AND deleted = 0 AND invoicedate = 2.0"),
            1);

  // An id that exists is refused, and nothing changes.
  EXPECT_EQ(ExecuteStatement(path, InsertAccountStatement(1, "Again")).code(), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(ExecuteStatement(path, InsertItemStatement(10, 2, "Again")).code(), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(ExecuteStatement(path, InsertTimeRecordStatement(100, 1, 1, 1, "")).code(),
            DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM accountName"), 2);

  env.Run(path, {RenameAccountStatement("Smith & Sons", 2), UpdateItemStatement(1, "Review", 11)});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM accountName WHERE id = 2 AND name = 'Smith & Sons'"), 1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM itemName WHERE id = 11 AND parent = 1 AND name = 'Review'"),
            1);

  // Invoicing, then flagging the invoiced ones removed from the handheld.
  int64_t rows = 0;
  EXPECT_EQ(ExecuteStatement(path, MarkInvoicedStatement("03/15/03", 100), &rows).code(), S_OK);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup WHERE id = 100 AND invoiced = 1 AND "
                        "invoicedate = 37695.0"),
            1);
  env.Run(path, {FlagDeletedStatement()});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup WHERE deleted = 1"), 1);

  // A synchronization's clean-up keeps the invoiced record.
  env.Run(path, {DeleteSpansStatement(101), DeleteUninvoicedStatement()});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup"), 1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hltime"), 2);

  // The maintenance program's account delete touches that account only.
  env.Run(path, {DeleteSpansStatement(100), DeleteTimeRecordStatement(100),
                 DeleteItemsOfAccountStatement(1), DeleteAccountStatement(1)});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hltime"), 0);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup"), 0);
  // Item 11 moved to account 1 above, so it goes too; account 2 stays.
  EXPECT_EQ(Count(path, "SELECT count(*) FROM itemName"), 0);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM accountName WHERE id = 2"), 1);
}

TEST(Statements, HostileTextStaysAValue) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  // Notes and names that would end their quotes and run SQL of their own.
  const std::string notes = "x\", 0, 0, 0); drop table hltime; --";
  const std::string name = "a'); drop table hlgroup; --";
  env.Run(path, {InsertTimeRecordStatement(1, PackDate(2003, 1, 1), 1, 1, notes),
                 InsertAccountStatement(1, name)});
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hlgroup WHERE notes = 'x'', 0, 0, 0); drop table "
                        "hltime; --'"),
            1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM accountName WHERE name = 'a`); drop table hlgroup; --'"),
            1);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM hltime"), 0);  // the table is still there
}
