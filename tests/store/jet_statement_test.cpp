// The Jet statement adapter: literals bound, dates converted, nothing spliced.
#include "store/jet_statement.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <tuple>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/ole_date.h"
#include "support/test_env.h"

namespace {

std::vector<std::pair<std::string, std::string>> StoreColumns(const std::string& table) {
  if (table == "hlgroup") {
    return {{"id", "INTEGER"},           {"grpdate", "INTEGER"}, {"acct", "INTEGER"},
            {"item", "INTEGER"},         {"notes", "TEXT"},      {"invoiced", "YESNO"},
            {"invoicedate", "DATETIME"}, {"deleted", "YESNO"}};
  }
  return {};
}

}  // namespace

TEST(JetStatement, LiteralsBecomeParameters) {
  ScopedTimeZone zone("UTC");
  JetStatement jet;
  ASSERT_TRUE(jet.Translate(
      "insert into hlgroup values (5, 131843, 7, -21, \"it's \"\"x\"\"\", 0, '01-JAN-1900', 0)",
      StoreColumns, LocalTime(2026, 12, 7)));
  EXPECT_EQ(jet.sql(), "insert into hlgroup values (?, ?, ?, -?, ?, ?, ?, ?)");
  const auto& p = jet.parameters();
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0].integer, 5);
  EXPECT_EQ(p[3].integer, 21);
  EXPECT_EQ(p[4].kind, SqlParameter::Kind::Text);
  EXPECT_EQ(p[4].text, "it's \"x\"");
  EXPECT_EQ(p[6].kind, SqlParameter::Kind::Real);
  EXPECT_DOUBLE_EQ(p[6].real, 2.0);  // 1 January 1900

  ASSERT_TRUE(
      jet.Translate("update hlgroup set invoiced = Yes, invoicedate = '03/15/03' where id = 12",
                    StoreColumns, LocalTime(2026, 12, 7)));
  EXPECT_EQ(jet.sql(), "update hlgroup set invoiced = ?, invoicedate = ? where id = ?");
  EXPECT_EQ(jet.parameters()[0].integer, 1);
  EXPECT_DOUBLE_EQ(jet.parameters()[1].real, 37695.0);  // 15 March 2003

  ASSERT_TRUE(jet.Translate("delete from hlgroup where invoiced = No and notes = '03/15/03'",
                            StoreColumns, 0));
  EXPECT_EQ(jet.parameters()[0].integer, 0);
  // A date-like text for a text column stays text.
  EXPECT_EQ(jet.parameters()[1].kind, SqlParameter::Kind::Text);

  // Numbers are read the same under a locale with a decimal comma.
  for (const char* numeric : {"C", "de_DE.UTF-8"}) {
    ScopedCLocale locale(numeric, "en_US.UTF-8");
    if (!locale.error().empty()) GTEST_SKIP() << locale.error();
    ASSERT_TRUE(
        jet.Translate("update hltime set duration = 1.5e1 where parent = 2.25", StoreColumns, 0));
    EXPECT_DOUBLE_EQ(jet.parameters()[0].real, 15.0) << numeric;
    EXPECT_DOUBLE_EQ(jet.parameters()[1].real, 2.25) << numeric;
  }

  // The default SELECTs pass unchanged.
  const std::string select = " \tSELECT \t\tid, \t\tname  \t\tFROM accountName";
  ASSERT_TRUE(jet.Translate(select, StoreColumns, 0));
  EXPECT_EQ(jet.sql(), select);
}

TEST(JetStatement, RefusesWhatItCannotRead) {
  JetStatement jet;
  EXPECT_FALSE(jet.Translate("insert into accountname values (1, 'open", StoreColumns, 0));
  EXPECT_FALSE(jet.Translate("delete from hltime; drop table hlgroup", StoreColumns, 0));
  EXPECT_TRUE(jet.Translate("delete from hltime;  ", StoreColumns, 0));
  EXPECT_FALSE(
      jet.Translate("update hlgroup set invoicedate = '02/30/03' where id = 1", StoreColumns, 0));
  EXPECT_TRUE(jet.conversionFailed());
}

TEST(DateText, TwoDigitYearsTakeTheNearestCentury) {
  ScopedTimeZone zone("UTC");
  struct Case {
    std::string text;
    std::time_t today;
    CivilTime expected;
  };
  const Case cases[] = {
      {"03/15/03", LocalTime(2003, 3, 15), {2003, 3, 15, 0, 0, 0}},
      {"01/02/31", LocalTime(2031, 1, 2), {2031, 1, 2, 0, 0, 0}},  // not 1931
      {"12/31/99", LocalTime(2026, 12, 7), {1999, 12, 31, 0, 0, 0}},
      {"01/01/70", LocalTime(2026, 12, 7), {2070, 1, 1, 0, 0, 0}},
      {"01/01/80", LocalTime(2026, 12, 7), {1980, 1, 1, 0, 0, 0}},
      {"02/29/00", LocalTime(2026, 12, 7), {2000, 2, 29, 0, 0, 0}},
      {"01/05/01", LocalTime(2099, 12, 30), {2101, 1, 5, 0, 0, 0}},
      {"01-JAN-1900", 0, {1900, 1, 1, 0, 0, 0}},
      {"15-mar-03", LocalTime(2003, 1, 1), {2003, 3, 15, 0, 0, 0}},
      {"2003-03-15 14:05", 0, {2003, 3, 15, 14, 5, 0}},
      {"3/15/2003 2:05:09 PM", 0, {2003, 3, 15, 14, 5, 9}},
      {"3/15/2003 12:00 AM", 0, {2003, 3, 15, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    CivilTime t;
    ASSERT_TRUE(ParseDateText(c.text, c.today, &t)) << c.text;
    EXPECT_EQ(t.year, c.expected.year) << c.text;
    EXPECT_EQ(t.month, c.expected.month) << c.text;
    EXPECT_EQ(t.day, c.expected.day) << c.text;
    EXPECT_EQ(t.hour, c.expected.hour) << c.text;
    EXPECT_EQ(t.minute, c.expected.minute) << c.text;
    EXPECT_EQ(t.second, c.expected.second) << c.text;
  }
  CivilTime t;
  for (const char* bad : {"02/29/2003", "13/01/03", "00/10/03", "31-APR-2003", "tomorrow",
                          "03/15/03 25:00", "03/15/03 13:00 PM", ""}) {
    EXPECT_FALSE(ParseDateText(bad, 0, &t)) << bad;
  }
}

TEST(OleDate, RoundTripsAndRefusesNonsense) {
  const CivilTime samples[] = {{1899, 12, 30, 0, 0, 0}, {1900, 1, 1, 0, 0, 0},
                               {2003, 3, 15, 14, 5, 0}, {1899, 12, 29, 6, 0, 0},
                               {2038, 1, 19, 3, 14, 8}, {2100, 2, 28, 23, 59, 59}};
  for (const CivilTime& s : samples) {
    CivilTime back;
    ASSERT_TRUE(CivilFromOleDate(OleDateFromCivil(s), &back));
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
              std::tie(s.year, s.month, s.day, s.hour, s.minute, s.second));
  }
  EXPECT_DOUBLE_EQ(OleDateFromCivil({1899, 12, 29, 6, 0, 0}), -1.25);
  EXPECT_DOUBLE_EQ(OleDateFromCivil({2003, 3, 15, 14, 5, 0}), 37695.0 + (14 * 60 + 5) / 1440.0);
  CivilTime t;
  EXPECT_FALSE(CivilFromOleDate(std::nan(""), &t));
  EXPECT_FALSE(CivilFromOleDate(1e300, &t));
  EXPECT_FALSE(CivilFromOleDate(-1e7, &t));
}

namespace {

// How many parameters SQLite finds in sql, prepared against an empty store;
// -1 when SQLite cannot prepare it.
int SqliteParameterCount(const std::string& sql) {
  std::ifstream in(std::string(HORALOG_SOURCE_DIR) + "/store/schema.sql");
  const std::string schema((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  SqliteConnection store;
  if (schema.empty() || store.Open(":memory:", true) != SQLITE_OK ||
      store.Exec(schema) != SQLITE_OK) {
    return -1;
  }
  SqliteStatement statement;
  if (statement.Prepare(store, sql) != SQLITE_OK) return -1;
  return statement.parameterCount();
}

}  // namespace

TEST(JetStatement, ZeroByteNoLongerDropsTheRestOfTheStatement) {
  using namespace std::string_literals;
  JetStatement jet;
  // SQLite would stop at the zero and delete every record.
  EXPECT_FALSE(jet.Translate("delete from hlgroup\0 where id = 5"s, StoreColumns, 0));
  EXPECT_NE(jet.error().find("zero byte"), std::string::npos) << jet.error();
  EXPECT_FALSE(jet.Translate("select [no\0tes] from hlgroup"s, StoreColumns, 0));
  // Inside a literal it is only a character of a bound value.
  ASSERT_TRUE(jet.Translate("update hlgroup set notes = 'a\0b' where id = 1"s, StoreColumns, 0));
  ASSERT_EQ(jet.parameters().size(), 2u);
  EXPECT_EQ(jet.parameters()[0].text, "a\0b"s);
  EXPECT_EQ(SqliteParameterCount(jet.sql()), 2);
}

TEST(JetStatement, ParameterMarkersOutsideLiteralsAreRefused) {
  JetStatement jet;
  // The "?" took the place of the third value, and every literal after it
  // would have been bound one place too far.
  EXPECT_FALSE(
      jet.Translate("insert into hlgroup values (5, 131843, ?, -21, \"it's\", 0, '01-JAN-1900', 0)",
                    StoreColumns, 0));
  EXPECT_NE(jet.error().find("parameter marker"), std::string::npos) << jet.error();
  for (const char* marker : {":n", "@n", "$n", "?1"}) {
    EXPECT_FALSE(jet.Translate(
        std::string("select * from hlgroup where notes = 'x' or id = ") + marker, StoreColumns, 0))
        << marker;
  }
  // Inside a literal they are text.
  ASSERT_TRUE(jet.Translate("update accountname set name = 'what? a:b @c $d' where id = 1",
                            StoreColumns, 0));
  EXPECT_EQ(jet.parameters()[0].text, "what? a:b @c $d");
  EXPECT_EQ(SqliteParameterCount(jet.sql()), 2);
}

TEST(JetStatement, DoubleMinusAndSlashStarAreNoComments) {
  JetStatement jet;
  // SQLite read "--" as a comment: the "x" was never compared, and bound to
  // the next place instead.
  ASSERT_TRUE(jet.Translate("delete from hlgroup where id = 1--'x'", StoreColumns, 0));
  EXPECT_EQ(jet.sql(), "delete from hlgroup where id = ?- -?");
  EXPECT_EQ(jet.parameters().size(), 2u);
  EXPECT_EQ(SqliteParameterCount(jet.sql()), 2);
  ASSERT_TRUE(jet.Translate("select id from hlgroup where acct = 9/*'x'*/2", StoreColumns, 0));
  EXPECT_EQ(jet.sql(), "select id from hlgroup where acct = ?/ *?*/?");
  EXPECT_EQ(jet.parameters().size(), 3u);
  ASSERT_TRUE(jet.Translate("update hlgroup set acct = acct - -1 where id = 3", StoreColumns, 0));
  EXPECT_EQ(jet.sql(), "update hlgroup set acct = acct - -? where id = ?");
}

TEST(JetStatement, BackQuotedNameIsNoLiteral) {
  JetStatement jet;
  // The quote inside the name was read as a literal that SQLite never saw.
  ASSERT_TRUE(jet.Translate("select id as `a'x'b` from hlgroup where id = 4", StoreColumns, 0));
  EXPECT_EQ(jet.sql(), "select id as `a'x'b` from hlgroup where id = ?");
  ASSERT_EQ(jet.parameters().size(), 1u);
  EXPECT_EQ(jet.parameters()[0].integer, 4);
  EXPECT_EQ(SqliteParameterCount(jet.sql()), 1);
  EXPECT_FALSE(jet.Translate("select id as `open from hlgroup", StoreColumns, 0));
}
