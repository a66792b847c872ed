// The synchronization against a real handheld image and a real store.
#include "sync/synchronizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "emulator/docked_handheld.h"
#include "emulator/emulated_handheld.h"
#include "platform/sqlite_connection.h"
#include "store/statements.h"
#include "store/table_command.h"
#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"
#include "support/recording_sync_view.h"

namespace {

// A connected handheld and the store of "Pocket_PC". Every test runs on
// each path to the handheld: the image directly, and the RAPI library
// talking to the image served over the RAPI protocol, found through the
// connection file or through SynCE's connection manager; with the same
// expectations.
class SyncTest : public ::testing::TestWithParam<HandheldPath> {
 protected:
  void SetUp() override {
    storePath = env.CreateStore("Pocket_PC");
    dock.emplace(GetParam(), env.imagePath(), env.dir.File("dock"));
  }

  std::unique_ptr<CePlatform> Connected() {
    std::unique_ptr<CePlatform> handheld = dock->Handheld(env.dockPath());
    RapiInit init;
    EXPECT_EQ(handheld->CeRapiInitEx(&init), 0);
    EXPECT_TRUE(init.heRapiInit && init.heRapiInit->Wait(5000));
    EXPECT_EQ(init.heRapiInit->result(), 0);
    return handheld;
  }

  // One full run (clean, then synchronize); the statements it sent.
  std::vector<std::string> FullRun(RecordingSyncView* view = nullptr) {
    RecordingSyncView own;
    if (!view) view = &own;
    std::unique_ptr<CePlatform> handheld = Connected();
    Synchronizer sync(*handheld, *view, "Pocket_PC", storePath);
    sync.CleanDevice();
    sync.Synchronize();
    handheld->CeRapiUninit();
    std::vector<std::string> sent;
    for (const auto& s : sync.sent()) sent.push_back(s.statement);
    return sent;
  }

  RecordStore Loaded() {
    RecordStore store(ReadStoreFolders());
    store.SetDeviceName("Pocket_PC");
    store.Load();
    return store;
  }

  void Fill() {
    HandheldImage& hh = env.image;
    ASSERT_TRUE(hh.PutAccount(1, u"O'Brien").ok());
    ASSERT_TRUE(hh.PutAccount(2, u"A very long account name of forty chars").ok());
    ASSERT_TRUE(hh.PutItem(10, 1, u"Design").ok());
    ASSERT_TRUE(hh.PutItem(11, 2, u"Build").ok());
    ASSERT_TRUE(hh.PutRecord(100, PackDate(2003, 3, 15), 1, 10, u"fixed the \"x\" bug").ok());
    ASSERT_TRUE(hh.PutRecord(101, PackDate(2003, 3, 16), 2, 11, u"").ok());
    ASSERT_TRUE(hh.AddSpan(100, 9 * 3600, 30).ok());
    ASSERT_TRUE(hh.AddSpan(100, 10 * 3600, 15).ok());
    ASSERT_TRUE(hh.AddSpan(101, 84600, 90).ok());
  }

  HandheldFixture env;
  std::optional<PathDock> dock;
  std::string storePath;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(, SyncTest, ::testing::ValuesIn(HandheldPaths()),
                         [](const auto& info) { return PathName(info.param); });

TEST_P(SyncTest, FullSynchronizationIntoAnEmptyStore) {
  Fill();
  RecordingSyncView view;
  std::vector<std::string> sent = FullRun(&view);
  EXPECT_EQ(sent,
            (std::vector<std::string>{
                FlagDeletedStatement(), "insert into accountname values (1, 'O`Brien')",
                "insert into accountname values (2, 'A very long account name of for')",
                "insert into itemname values (10, 1, 'Design')",
                "insert into itemname values (11, 2, 'Build')", DeleteUninvoicedStatement(),
                "insert into hlgroup values (100, 131269391, 1, 10, \"fixed the 'x' bug\", 0, "
                "'01-JAN-1900', 0)",
                "insert into hlgroup values (101, 131269392, 2, 11, \"\", 0, '01-JAN-1900', 0)",
                "insert into hltime values (100, 32400, 30)",
                "insert into hltime values (100, 36000, 15)",
                "insert into hltime values (101, 84600, 90)"}));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.progress, (std::vector<int>{100, 0, 25, 50, 75, 100}));
  EXPECT_EQ(view.statuses, (std::vector<std::string>{"Invoiced items update completed",
                                                     "Synchronization completed"}));

  RecordStore store = Loaded();
  ASSERT_EQ(store.accounts().size(), 2u);
  EXPECT_EQ(store.AccountName(1), "O`Brien");
  EXPECT_EQ(store.AccountName(2), "A very long account name of for");
  EXPECT_EQ(store.timeRecords().size(), 2u);
  EXPECT_EQ(store.timeRecords()[0].notes, "fixed the 'x' bug");
  EXPECT_EQ(store.RecordMinutes(100), 45);
  EXPECT_EQ(store.timeSpans().size(), 3u);

  // Unchanged, the second run sends only the replacement of open records.
  sent = FullRun();
  EXPECT_EQ(sent, (std::vector<std::string>{
                      FlagDeletedStatement(), DeleteSpansStatement(100), DeleteSpansStatement(101),
                      DeleteUninvoicedStatement(),
                      InsertTimeRecordStatement(100, 131269391, 1, 10, "fixed the 'x' bug"),
                      InsertTimeRecordStatement(101, 131269392, 2, 11, ""),
                      InsertSpanStatement(100, 32400, 30), InsertSpanStatement(100, 36000, 15),
                      InsertSpanStatement(101, 84600, 90)}));
  EXPECT_EQ(Loaded().timeSpans().size(), 3u);
}

TEST_P(SyncTest, EditsRenamesAndMovesArriveAtTheNextRun) {
  Fill();
  FullRun();
  HandheldImage& hh = env.image;
  ASSERT_TRUE(hh.PutAccount(1, u"O'Brien & Sons").ok());
  ASSERT_TRUE(hh.PutItem(10, 2, u"Design").ok());  // moved, same name
  ASSERT_TRUE(hh.PutItem(12, 2, u"Review").ok());
  ASSERT_TRUE(hh.PutRecord(101, PackDate(2003, 3, 17), 2, 12, u"moved day").ok());
  ASSERT_EQ(RemoveRecords(hh, "HLGroup", 100), 1);
  ASSERT_EQ(RemoveRecords(hh, "HLTime", 100), 2);
  std::vector<std::string> sent = FullRun();
  EXPECT_EQ(sent, (std::vector<std::string>{
                      FlagDeletedStatement(),
                      "update accountname set name = 'O`Brien & Sons' where id = 1",
                      "update itemname set parent = 2, name = 'Design' where id = 10",
                      "insert into itemname values (12, 2, 'Review')", DeleteSpansStatement(100),
                      DeleteSpansStatement(101), DeleteUninvoicedStatement(),
                      InsertTimeRecordStatement(101, PackDate(2003, 3, 17), 2, 12, "moved day"),
                      InsertSpanStatement(101, 84600, 90)}));
  RecordStore store = Loaded();
  ASSERT_EQ(store.timeRecords().size(), 1u);
  EXPECT_EQ(store.timeRecords()[0].grpdate, PackDate(2003, 3, 17));
  EXPECT_EQ(store.timeSpans().size(), 1u);
  EXPECT_EQ(store.items()[0].parent, 2);

  // The records and their spans are stored together: until the spans are
  // in, another program reads the records the store had.
  ASSERT_TRUE(hh.PutRecord(103, PackDate(2003, 3, 18), 2, 12, u"new").ok());
  ASSERT_TRUE(hh.AddSpan(103, 3600, 15).ok());
  RecordingSyncView view;
  std::unique_ptr<CePlatform> handheld = Connected();
  Synchronizer sync(*handheld, view, "Pocket_PC", storePath);
  sync.SyncTimeRecords(store);
  EXPECT_EQ(Loaded().timeRecords().size(), 1u);
  sync.SyncTimeSpans(store);
  handheld->CeRapiUninit();
  EXPECT_EQ(sync.sent().back().statement, InsertSpanStatement(103, 3600, 15));
  EXPECT_EQ(Loaded().timeRecords().size(), 2u);
  EXPECT_EQ(Loaded().RecordMinutes(103), 15);
  EXPECT_TRUE(view.messages.empty());
}

TEST_P(SyncTest, InvoicedRecordsLeaveTheHandheldAndStayLocal) {
  Fill();
  ASSERT_TRUE(env.image.PutRecord(102, PackDate(2003, 3, 18), 1, 10, u"gone already").ok());
  FullRun();
  RecordStore store = Loaded();
  ASSERT_TRUE(store.MarkInvoiced(100));
  ASSERT_TRUE(store.MarkInvoiced(102));
  // Record 102's handheld copy disappears before the next connection.
  ASSERT_EQ(RemoveRecords(env.image, "HLGroup", 102), 1);

  RecordingSyncView view;
  std::unique_ptr<CePlatform> handheld = Connected();
  Synchronizer sync(*handheld, view, "Pocket_PC", storePath);
  sync.CleanDevice();
  EXPECT_EQ(view.statuses, std::vector<std::string>{"Invoiced items update completed"});
  // Another program invoices 101 between the clean-up and the copy: the copy
  // sees it, and 101 keeps its time.
  ASSERT_TRUE(Loaded().MarkInvoiced(101));
  sync.Synchronize();
  handheld->CeRapiUninit();
  EXPECT_EQ(env.image.RecordCount("HLGroup"), 1);  // 101 only
  EXPECT_EQ(env.image.RecordCount("HLTime"), 1);

  store = Loaded();
  for (const TimeRecord& r : store.timeRecords()) {
    EXPECT_EQ(r.deleted, r.id == 100 || r.id == 102) << r.id;
  }
  // The invoiced record keeps its spans through later runs, never doubled.
  FullRun();
  FullRun();
  store = Loaded();
  EXPECT_EQ(store.SpansOf(100).size(), 2u);
  EXPECT_EQ(store.SpansOf(101).size(), 1u);
  EXPECT_EQ(store.timeRecords().size(), 3u);
}

TEST_P(SyncTest, ReusedIdOfAnInvoicedRecordIsReportedOnce) {
  Fill();
  FullRun();
  RecordStore store = Loaded();
  ASSERT_TRUE(store.MarkInvoiced(100));
  FullRun();  // removes 100 from the handheld and flags it
  // The handheld gives id 100 to new work, with a span.
  ASSERT_TRUE(env.image.PutRecord(100, PackDate(2003, 4, 1), 1, 10, u"new work").ok());
  ASSERT_TRUE(env.image.AddSpan(100, 0, 60).ok());
  RecordingSyncView view;
  FullRun(&view);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Synchronization Error: ", 0), 0u);
  EXPECT_NE(view.messages[0].find("100  4/1/03  new work"), std::string::npos) << view.messages[0];
  // The new span is not added to the old invoiced record.
  EXPECT_EQ(Loaded().SpansOf(100).size(), 2u);

  // An invoiced record still on the handheld (not yet flagged) is silent.
  store = Loaded();
  ASSERT_TRUE(store.MarkInvoiced(101));
  RecordingSyncView quiet;
  std::unique_ptr<CePlatform> handheld = Connected();
  Synchronizer sync(*handheld, quiet, "Pocket_PC", storePath);
  sync.Synchronize();  // without the clean-up, 101 is still on the handheld
  handheld->CeRapiUninit();
  ASSERT_EQ(quiet.messages.size(), 1u);  // only the reused id 100 again
  EXPECT_EQ(quiet.messages[0].find("101  "), std::string::npos);
}

TEST_P(SyncTest, NotesAtTheLimitAndBeyond) {
  Fill();
  const std::u16string e = u"\u00e9";
  std::u16string multibyte255;
  for (int i = 0; i < 255; ++i) multibyte255 += e;
  ASSERT_TRUE(
      env.image.PutRecord(200, PackDate(2003, 5, 1), 1, 10, std::u16string(255, u'n')).ok());
  ASSERT_TRUE(
      env.image.PutRecord(201, PackDate(2003, 5, 1), 1, 10, std::u16string(256, u'n')).ok());
  ASSERT_TRUE(env.image.PutRecord(202, PackDate(2003, 5, 1), 1, 10, multibyte255).ok());
  ASSERT_TRUE(env.image.PutRecord(203, PackDate(2003, 5, 1), 1, 10, multibyte255 + e).ok());
  ASSERT_TRUE(env.image.PutRecord(204, PackDate(2003, 5, 1), 1, 10, u"bad \xD800 unit").ok());
  ASSERT_TRUE(env.image.AddSpan(201, 0, 10).ok());
  ASSERT_TRUE(env.image.AddSpan(204, 0, 10).ok());
  RecordingSyncView view;
  FullRun(&view);
  EXPECT_EQ(view.messages,
            (std::vector<std::string>{"Synchronization Error: Note field too large",
                                      "Synchronization Error: Note field too large",
                                      "Synchronization Error: Unable to convert note field"}));
  RecordStore store = Loaded();
  std::vector<int32_t> ids;
  for (const TimeRecord& r : store.timeRecords()) ids.push_back(r.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int32_t>{100, 101, 200, 202}));
  // Skipped records leave no orphaned spans behind.
  EXPECT_TRUE(store.SpansOf(201).empty());
  EXPECT_TRUE(store.SpansOf(204).empty());
  EXPECT_EQ(store.timeSpans().size(), 3u);
  for (const TimeRecord& r : store.timeRecords()) {
    if (r.id == 202) {
      EXPECT_EQ(r.notes.size(), 510u);
    }
  }
}

TEST_P(SyncTest, HandheldFaultsStopWhereTheyShould) {
  Fill();
  FullRun();
  const size_t spansBefore = Loaded().timeSpans().size();
  struct Case {
    HandheldFault fault;
    const char* database;
    int64_t n;
    std::vector<std::string> messages;
    size_t records;  // local time records afterwards
    size_t spans;
  };
  const Case cases[] = {
      // HLGroup cannot be opened: nothing local is removed.
      {HandheldFault::Open, "HLGroup", 0, {}, 2, spansBefore},
      {HandheldFault::Count,
       "HLGroup",
       0,
       {"Synchronization Error: Error in remote group DB info"},
       2,
       spansBefore},
      // The second record's seek fails: the first stays, with its spans.
      {HandheldFault::Seek,
       "HLGroup",
       1,
       {"Synchronization Error: Error in remote group DB move"},
       1,
       2},
      {HandheldFault::Read,
       "HLGroup",
       1,
       {"Synchronization Error: Error in remote group DB read"},
       1,
       2},
      {HandheldFault::Short,
       "HLGroup",
       0,
       {"Synchronization Error: Error in remote group DB read"},
       0,
       0},
      // A span step that fails keeps the records and spans the store had.
      {HandheldFault::Count,
       "HLTime",
       0,
       {"Synchronization Error: Error in remote time DB info"},
       2,
       spansBefore},
      {HandheldFault::Seek,
       "HLTime",
       2,
       {"Synchronization Error: Error in remote time DB move"},
       2,
       spansBefore},
      {HandheldFault::Read,
       "HLTime",
       0,
       {"Synchronization Error: Error in remote time DB read"},
       2,
       spansBefore},
      {HandheldFault::Short,
       "HLTime",
       1,
       {"Synchronization Error: Error in remote time DB read"},
       2,
       spansBefore},
      // Accounts and items skip a record they cannot read, silently.
      {HandheldFault::Read, "HLAccountName", 0, {}, 2, spansBefore},
      {HandheldFault::Short, "HLItemName", 0, {}, 2, spansBefore},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(env.image.SetFault(c.fault, c.database, c.n).ok());
    RecordingSyncView view;
    FullRun(&view);
    EXPECT_EQ(view.messages, c.messages) << c.database << " " << static_cast<int>(c.fault);
    RecordStore store = Loaded();
    EXPECT_EQ(store.timeRecords().size(), c.records)
        << c.database << " " << static_cast<int>(c.fault);
    EXPECT_EQ(store.timeSpans().size(), c.spans) << c.database << " " << static_cast<int>(c.fault);
    ASSERT_TRUE(env.image.ClearFaults().ok());
    FullRun();  // a clean run restores everything
    EXPECT_EQ(Loaded().timeSpans().size(), spansBefore);
  }
  // A handheld whose HLGroup is empty removes every open record locally.
  ASSERT_EQ(RemoveRecords(env.image, "HLGroup", 100), 1);
  ASSERT_EQ(RemoveRecords(env.image, "HLGroup", 101), 1);
  FullRun();
  EXPECT_TRUE(Loaded().timeRecords().empty());
  EXPECT_TRUE(Loaded().timeSpans().empty());
}

TEST_P(SyncTest, StoreFailuresAreReportedNotSwallowed) {
  Fill();
  FullRun();
  SqliteConnection db;
  ASSERT_EQ(db.Open(storePath, false), 0);
  // Runtime errors of the store (as a full disk would give) on chosen rows.
  ASSERT_EQ(db.Exec("CREATE TRIGGER fail_record BEFORE INSERT ON hlgroup WHEN NEW.id = 101 "
                    "BEGIN SELECT abs(-9223372036854775807 - 1); END;"
                    "CREATE TRIGGER fail_span BEFORE INSERT ON hltime WHEN NEW.duration = 15 "
                    "BEGIN SELECT abs(-9223372036854775807 - 1); END;"),
            0);
  RecordingSyncView view;
  FullRun(&view);
  EXPECT_EQ(view.messages, (std::vector<std::string>{
                               "Synchronization Error: Unable to add group entry to database",
                               "Synchronization Error: Unable to add time entry to database"}));
  ASSERT_EQ(db.Exec("DROP TRIGGER fail_record; DROP TRIGGER fail_span;"
                    "CREATE TRIGGER fail_delete BEFORE DELETE ON hltime "
                    "BEGIN SELECT abs(-9223372036854775807 - 1); END;"),
            0);
  RecordingSyncView removal;
  FullRun(&removal);
  EXPECT_EQ(removal.messages, std::vector<std::string>{
                                  "Synchronization Error: Error removing local uninvoiced data"});
  EXPECT_EQ(Loaded().timeRecords().size(), 1u);  // nothing was removed or added
  ASSERT_EQ(db.Exec("DROP TRIGGER fail_delete"), 0);

  // A store whose rows cannot be read fails the clean-up with its message.
  ASSERT_EQ(db.Exec("DROP TABLE hlgroup"), 0);
  db.Close();
  RecordingSyncView clean;
  std::unique_ptr<CePlatform> handheld = Connected();
  Synchronizer sync(*handheld, clean, "Pocket_PC", storePath);
  sync.CleanDevice();
  handheld->CeRapiUninit();
  EXPECT_EQ(clean.messages, std::vector<std::string>{
                                "Database Error: Error opening local database for data removal"});
  EXPECT_TRUE(clean.statuses.empty());
}

TEST(ConvertText, NamesAndNotes) {
  EXPECT_EQ(ConvertName(u"O'Brien"), "O`Brien");
  EXPECT_EQ(ConvertName(std::u16string(40, u'x')), std::string(31, 'x'));
  // Thirty ASCII letters and two two-byte letters: the cut keeps whole letters.
  EXPECT_EQ(ConvertName(std::u16string(30, u'a') + u"\u00e9\u00e9"),
            std::string(30, 'a') + "\xC3\xA9");
  EXPECT_EQ(ConvertName(u"a\xDC00"
                        u"b"),
            "a?b");
  EXPECT_EQ(ConvertName(u"\U0001F600"), "\xF0\x9F\x98\x80");
  std::string out;
  EXPECT_EQ(ConvertNotes(u"say \"hi\"", &out), NotesConversion::Ok);
  EXPECT_EQ(out, "say 'hi'");
  EXPECT_EQ(ConvertNotes(std::u16string(255, u'\u20ac'), &out), NotesConversion::Ok);
  EXPECT_EQ(ConvertNotes(std::u16string(256, u'\u20ac'), &out), NotesConversion::TooLarge);
  // A character beyond the first 65,536 takes two UTF-16 units and counts once.
  std::u16string faces;
  for (int k = 0; k < 255; ++k) faces += u"\U0001F600";
  EXPECT_EQ(ConvertNotes(faces, &out), NotesConversion::Ok);
  EXPECT_EQ(ConvertNotes(faces + u"\U0001F600", &out), NotesConversion::TooLarge);
  EXPECT_EQ(ConvertNotes(u"\xD83D", &out), NotesConversion::Unconvertible);
}

TEST_P(SyncTest, NamesStoredEmptyAreRenamedByTheirId) {
  HandheldImage& hh = env.image;
  ASSERT_TRUE(hh.PutAccount(1, u"").ok());
  ASSERT_TRUE(hh.PutItem(10, 1, u"").ok());
  FullRun();
  ASSERT_EQ(Loaded().accounts().size(), 1u);
  ASSERT_TRUE(hh.PutAccount(1, u"Acme").ok());
  ASSERT_TRUE(hh.PutItem(10, 1, u"Design").ok());
  const std::vector<std::string> sent = FullRun();
  EXPECT_EQ(sent, (std::vector<std::string>{
                      FlagDeletedStatement(), "update accountname set name = 'Acme' where id = 1",
                      "update itemname set parent = 1, name = 'Design' where id = 10",
                      DeleteUninvoicedStatement()}));
  const RecordStore store = Loaded();
  EXPECT_EQ(store.AccountName(1), "Acme");
  EXPECT_EQ(store.ItemName(10), "Design");
  // Renamed back to nothing, and known still.
  ASSERT_TRUE(hh.PutAccount(1, u"").ok());
  EXPECT_EQ(FullRun()[1], "update accountname set name = '' where id = 1");
  EXPECT_EQ(Loaded().AccountName(1), "");
}
