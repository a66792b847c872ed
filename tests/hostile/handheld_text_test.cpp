// Text from the handheld that looks like SQL, RTF or file names, notes at
// the length limit in multibyte text, and UTF-16 that cannot be converted:
// through a real synchronization into a real store, and on into documents.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "documents/rtf_document.h"
#include "hostile/hostile_support.h"
#include "platform/utf8.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "store/record_store.h"
#include "support/run_tool.h"

namespace {

using namespace hostile;

constexpr const char* kSyncError = "Synchronization Error: ";

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::u16string Repeat16(const std::u16string& text, int times) {
  std::u16string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Every row of the four tables, ordered, as one text per row.
std::vector<std::string> AllRows(const std::string& store) {
  std::vector<std::string> rows;
  for (const char* sql :
       {"SELECT 'a', id, name FROM accountname ORDER BY id",
        "SELECT 'i', id, parent, name FROM itemname ORDER BY id",
        "SELECT 'g', id, grpdate, acct, item, notes, invoiced, invoicedate, deleted FROM hlgroup "
        "ORDER BY id",
        "SELECT 't', parent, starttime, duration FROM hltime ORDER BY parent, starttime"}) {
    for (const auto& row : Rows(store, sql)) {
      std::string text;
      for (const std::string& column : row) text += column + "|";
      rows.push_back(text);
    }
  }
  return rows;
}

// The last line horalog printed: the document's path.
std::string LastLine(const std::string& out) {
  std::string last;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) last = line;
  return last;
}

}  // namespace

// Names built to break out of a quoted SQL literal, an RTF group or a file
// name arrive exactly as typed (an apostrophe as a backquote), change no
// other row, and reach the time report and the invoice escaped.
TEST(HostileHandheldText, SqlAndRtfLookingNamesAreStoredAsTextAndEscapedInDocuments) {
  HandheldFixture env;
  HandheldImage& hh = env.image;
  // A record billed earlier: it must survive every later run unchanged.
  ASSERT_TRUE(hh.PutAccount(1, u"Plain").ok());
  ASSERT_TRUE(hh.PutItem(10, 1, u"Work").ok());
  ASSERT_TRUE(hh.PutRecord(100, PackDate(2026, 11, 2), 1, 10, u"billed").ok());
  ASSERT_TRUE(hh.AddSpan(100, 9 * 3600, 60).ok());
  SyncRun first;
  RunSync(env, &first);
  ASSERT_EQ(first.outcome, SyncProcedure::Outcome::Finished);
  const std::string store = first.storePath;
  {
    RecordStore loaded(ReadStoreFolders());
    loaded.SetDeviceName("Pocket_PC");
    loaded.Load();
    ASSERT_TRUE(loaded.MarkInvoiced(100));
  }
  const std::vector<std::string> billed = AllRows(store);

  struct Name {
    std::u16string typed;
    std::string stored;
  };
  const std::vector<Name> accounts = {
      {u"x'); DROP TABLE hlgroup; --", "x`); DROP TABLE hlgroup; --"},
      {u"\"; DELETE FROM hltime; --", "\"; DELETE FROM hltime; --"},
      {u"a\\b {\\rtf1 \\par} c", "a\\b {\\rtf1 \\par} c"},
      {u"' OR 1=1; UPDATE hlgroup SET", "` OR 1=1; UPDATE hlgroup SET"},
      {u"../../etc/passwd", "../../etc/passwd"},
      {u"semi;colon \"both' {}", "semi;colon \"both` {}"},
  };
  for (size_t i = 0; i < accounts.size(); ++i) {
    const auto id = static_cast<int32_t>(2 + i);
    ASSERT_TRUE(hh.PutAccount(id, accounts[i].typed).ok());
    ASSERT_TRUE(hh.PutItem(20 + id, id, accounts[i].typed).ok());
    // Double quotes in notes become apostrophes, by design.
    ASSERT_TRUE(hh.PutRecord(200 + id, PackDate(2026, 11, 3), id, 20 + id,
                             u"\"); DELETE FROM accountname WHERE (\"1\"=\"1")
                    .ok());
    ASSERT_TRUE(hh.AddSpan(200 + id, 10 * 3600, 30).ok());
  }
  SyncRun second;
  RunSync(env, &second);
  EXPECT_EQ(second.outcome, SyncProcedure::Outcome::Finished);
  EXPECT_EQ(second.view.messages, std::vector<std::string>{});

  RecordStore loaded(ReadStoreFolders());
  loaded.SetDeviceName("Pocket_PC");
  loaded.Load();
  ASSERT_EQ(loaded.accounts().size(), 1 + accounts.size());
  for (size_t i = 0; i < accounts.size(); ++i) {
    const auto id = static_cast<int32_t>(2 + i);
    EXPECT_EQ(loaded.AccountName(id), accounts[i].stored);
    EXPECT_EQ(loaded.ItemName(20 + id), accounts[i].stored);
  }
  ASSERT_EQ(loaded.timeRecords().size(), 1 + accounts.size());
  for (const TimeRecord& r : loaded.timeRecords()) {
    if (r.id == 100) continue;
    EXPECT_EQ(r.notes, "'); DELETE FROM accountname WHERE ('1'='1");
    EXPECT_EQ(loaded.RecordMinutes(r.id), 30);
  }
  // The billed record, its account, item and span are as before; the record
  // is now flagged as removed from the handheld.
  const std::vector<std::string> now = AllRows(store);
  for (std::string row : billed) {
    if (row.rfind("g|100|", 0) == 0) {
      ASSERT_EQ(row.substr(row.size() - 3), "|0|");
      row.replace(row.size() - 3, 3, "|1|");
    }
    EXPECT_NE(std::find(now.begin(), now.end(), row), now.end()) << row;
  }
  EXPECT_EQ(Value(store, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), "4");
  EXPECT_EQ(Value(store, "PRAGMA integrity_check"), "ok");

  // A rename to another hostile name changes that one row only.
  ASSERT_TRUE(hh.PutAccount(2, u"'; UPDATE accountname SET name='owned").ok());
  const std::vector<std::string> beforeRename = AllRows(store);
  SyncRun third;
  RunSync(env, &third);
  EXPECT_EQ(third.view.messages, std::vector<std::string>{});
  const std::vector<std::string> afterRename = AllRows(store);
  ASSERT_EQ(afterRename.size(), beforeRename.size());
  int changed = 0;
  for (size_t i = 0; i < afterRename.size(); ++i) {
    if (afterRename[i] != beforeRename[i]) {
      ++changed;
      // Cut to 31 characters, as every name.
      EXPECT_EQ(afterRename[i], "a|2|`; UPDATE accountname SET name=|");
    }
  }
  EXPECT_EQ(changed, 1);

  // The documents: written inside ReportPath, every RTF group closed, each
  // name present only in its escaped form.
  const std::string reports = env.dir.File("reports");
  std::filesystem::create_directories(reports);
  WriteSetupString("ReportPath", reports);
  const std::string invoiced = "a\\b {\\rtf1 \\par} c";
  ToolRun invoice = RunTool("horalog", {"invoice", "Pocket_PC", invoiced, "--no-open"});
  ASSERT_EQ(invoice.status, 0) << invoice.err;
  const std::string invoicePath = LastLine(invoice.out);
  EXPECT_EQ(std::filesystem::path(invoicePath).parent_path(), reports);
  const std::string invoiceText = ReadFile(invoicePath);
  EXPECT_EQ(RtfGroupDepth(invoiceText), (RtfDepth{0, 0}));
  EXPECT_NE(invoiceText.find(RtfEscape(invoiced)), std::string::npos);
  EXPECT_EQ(invoiceText.find(invoiced), std::string::npos);
  EXPECT_EQ(invoiceText.find("{\\rtf1 \\par}"), std::string::npos);

  // An account named like a path still gets its invoice in ReportPath.
  invoice = RunTool("horalog", {"invoice", "Pocket_PC", "../../etc/passwd", "--no-open"});
  ASSERT_EQ(invoice.status, 0) << invoice.err;
  EXPECT_EQ(std::filesystem::path(LastLine(invoice.out)).parent_path(), reports);
  EXPECT_EQ(std::filesystem::path(LastLine(invoice.out))
                .filename()
                .string()
                .rfind("HLRep.._.._etc_passwd", 0),
            0u);

  ToolRun report = RunTool("horalog", {"report", "Pocket_PC", "--period", "One Month", "--range",
                                       "11/1/26 - 11/30/26", "--no-open"});
  ASSERT_EQ(report.status, 0) << report.err;
  const std::string reportText = ReadFile(LastLine(report.out));
  EXPECT_EQ(std::filesystem::path(LastLine(report.out)).parent_path(), reports);
  // The report's groups nest as in the reviewed sample (which closes one
  // group more than it opens, at its very end): names added no brace.
  EXPECT_EQ(RtfGroupDepth(reportText), RtfGroupDepth(ReadFile(std::string(HORALOG_SOURCE_DIR) +
                                                              "/tests/data/time_report.rtf")));
  for (const Name& name : accounts) {
    if (name.stored == invoiced) continue;  // invoiced above: no longer reported open
    EXPECT_NE(reportText.find(RtfEscape(name.stored)), std::string::npos) << name.stored;
  }
  EXPECT_EQ(reportText.find("{\\rtf1 \\par}"), std::string::npos);
  // The store is still whole after the documents marked their records.
  EXPECT_EQ(Value(store, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Value(store, "SELECT count(*) FROM hlgroup"), std::to_string(1 + accounts.size()));
}

// Notes at the limit in two- and three-byte characters: 255 characters are
// copied whole, 256 are refused with a message, the other records still come.
TEST(HostileHandheldText, NotesAtTheLimitInMultibyteText) {
  HandheldFixture env;
  HandheldImage& hh = env.image;
  ASSERT_TRUE(hh.PutAccount(1, u"Acme").ok());
  ASSERT_TRUE(hh.PutItem(10, 1, u"Work").ok());
  const std::u16string e255 = Repeat16(u"\u00e9", 255);
  const std::u16string e256 = Repeat16(u"\u00e9", 256);
  const std::u16string cjk255 = Repeat16(u"\u65e5\u672c", 127) + u"\u65e5";
  const std::u16string cjk256 = Repeat16(u"\u65e5\u672c", 128);
  // A character beyond U+FFFF is two UTF-16 units but one character.
  const std::u16string emoji255 = Repeat16(u"\U0001F600", 255);
  const std::u16string emoji256 = Repeat16(u"\U0001F600", 256);
  const int32_t day = PackDate(2026, 12, 1);
  ASSERT_TRUE(hh.PutRecord(1, day, 1, 10, e255).ok());
  ASSERT_TRUE(hh.PutRecord(2, day, 1, 10, e256).ok());
  ASSERT_TRUE(hh.PutRecord(3, day, 1, 10, cjk255).ok());
  ASSERT_TRUE(hh.PutRecord(4, day, 1, 10, cjk256).ok());
  ASSERT_TRUE(hh.PutRecord(5, day, 1, 10, emoji255).ok());
  ASSERT_TRUE(hh.PutRecord(6, day, 1, 10, emoji256).ok());
  ASSERT_TRUE(hh.PutRecord(7, day, 1, 10, u"plain").ok());
  for (int32_t id = 1; id <= 7; ++id) ASSERT_TRUE(hh.AddSpan(id, 3600 * id, 10).ok());

  SyncRun run;
  RunSync(env, &run);
  EXPECT_EQ(run.outcome, SyncProcedure::Outcome::Finished);
  EXPECT_EQ(run.view.messages,
            std::vector<std::string>(3, std::string(kSyncError) + "Note field too large"));
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  std::map<int32_t, std::string> notes;
  for (const TimeRecord& r : store.timeRecords()) notes[r.id] = r.notes;
  EXPECT_EQ(notes, (std::map<int32_t, std::string>{
                       {1, Repeat("\xC3\xA9", 255)},
                       {3, Repeat("\xE6\x97\xA5\xE6\x9C\xAC", 127) + "\xE6\x97\xA5"},
                       {5, Repeat("\xF0\x9F\x98\x80", 255)},
                       {7, "plain"}}));
  for (const auto& [id, text] : notes) EXPECT_EQ(CountCharacters(text), id == 7 ? 5u : 255u);
  // Spans come only for the records copied.
  EXPECT_EQ(Value(run.storePath,
                  "SELECT group_concat(parent) FROM (SELECT parent FROM hltime "
                  "ORDER BY parent)"),
            "1,3,5,7");
}

// Lone surrogates: a name keeps its place with "?" for the unit, a note that
// cannot be converted is refused with a message, and the rest still comes.
TEST(HostileHandheldText, LoneSurrogatesInNamesAndNotes) {
  HandheldFixture env;
  HandheldImage& hh = env.image;
  const std::u16string high(1, char16_t(0xD800));
  const std::u16string low(1, char16_t(0xDC00));
  ASSERT_TRUE(hh.PutAccount(1, u"Bad" + high + u"name").ok());
  ASSERT_TRUE(hh.PutAccount(2, low + u"start").ok());
  ASSERT_TRUE(hh.PutAccount(3, u"end" + high).ok());
  ASSERT_TRUE(hh.PutAccount(4, low + high).ok());  // reversed pair: two lone units
  ASSERT_TRUE(hh.PutItem(10, 1, u"Item" + low).ok());
  const int32_t day = PackDate(2026, 12, 2);
  ASSERT_TRUE(hh.PutRecord(20, day, 1, 10, u"note" + high).ok());
  ASSERT_TRUE(hh.PutRecord(21, day, 1, 10, low + u"note").ok());
  ASSERT_TRUE(hh.PutRecord(22, day, 1, 10, u"good \U0001F600").ok());
  for (int32_t id = 20; id <= 22; ++id) ASSERT_TRUE(hh.AddSpan(id, 3600, 5).ok());

  SyncRun run;
  RunSync(env, &run);
  EXPECT_EQ(run.outcome, SyncProcedure::Outcome::Finished);
  EXPECT_EQ(run.view.messages,
            std::vector<std::string>(2, std::string(kSyncError) + "Unable to convert note field"));
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_EQ(store.AccountName(1), "Bad?name");
  EXPECT_EQ(store.AccountName(2), "?start");
  EXPECT_EQ(store.AccountName(3), "end?");
  EXPECT_EQ(store.AccountName(4), "??");
  EXPECT_EQ(store.ItemName(10), "Item?");
  ASSERT_EQ(store.timeRecords().size(), 1u);
  EXPECT_EQ(store.timeRecords()[0].id, 22);
  EXPECT_EQ(store.timeRecords()[0].notes, "good \xF0\x9F\x98\x80");
  EXPECT_EQ(store.timeSpans().size(), 1u);
  // Every stored text is valid UTF-8.
  for (const auto& row : Rows(run.storePath,
                              "SELECT name FROM accountname UNION ALL SELECT name "
                              "FROM itemname UNION ALL SELECT notes FROM hlgroup")) {
    EXPECT_TRUE(IsUtf8(row[0])) << row[0];
  }
}
