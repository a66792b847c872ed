// The record store on real store files: location, creation, loading, marking.
#include "store/record_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "platform/sqlite_connection.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "store/statements.h"
#include "store/table_command.h"
#include "support/store_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs body in a child process, as an unprivileged user when this test runs as
// root (root ignores file permissions); the child's exit code is returned.
int RunInChild(const std::function<int()>& body, bool unprivileged) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (unprivileged && ::geteuid() == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(90);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

size_t Count(const RecordStore& s) {
  return s.accounts().size() + s.items().size() + s.timeRecords().size() + s.timeSpans().size();
}

}  // namespace

TEST(RecordStoreLocate, PathRuleAndTemplateCopyInTheFoldersItIsGiven) {
  StoreFixture env;
  // The store takes its folders from its caller and never reads the
  // settings: the registry's DataPath names another folder here.
  WriteSetupString("DataPath", env.dir.File("elsewhere"));
  const StoreFolders folders{env.dataPath(), env.TemplateDir()};
  RecordStore store(folders);
  store.SetDeviceName("Pocket_PC");
  ASSERT_TRUE(store.Locate());
  EXPECT_EQ(store.storePath(), env.dataPath() + "/Pocket_PC.mdb");
  EXPECT_EQ(ReadAll(store.storePath()), ReadAll(env.TemplateDir() + "/HR_Template.mdb"));

  // A folder that already ends in the separator gives the same path.
  RecordStore again({env.dataPath() + "/", env.TemplateDir() + "/"});
  again.SetDeviceName("Pocket_PC");
  ASSERT_TRUE(again.Locate());
  EXPECT_EQ(again.storePath(), store.storePath());

  // An existing file is never copied over or touched.
  WriteAll(store.storePath(), "the user's own bytes");
  ASSERT_TRUE(again.Locate());
  EXPECT_EQ(ReadAll(store.storePath()), "the user's own bytes");
  EXPECT_EQ(FilesIn(env.dataPath()), std::vector<std::string>{"Pocket_PC.mdb"});
  EXPECT_TRUE(env.ui.messages.empty());

  // Without a data folder the file is relative to the current folder.
  const fs::path before = fs::current_path();
  fs::current_path(env.dir.path());
  RecordStore relative({"", env.TemplateDir()});
  relative.SetDeviceName("Pocket_PC");
  EXPECT_TRUE(relative.Locate());
  EXPECT_EQ(relative.storePath(), "Pocket_PC.mdb");
  EXPECT_TRUE(fs::exists(env.dir.File("Pocket_PC.mdb")));
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(env.dir.File("elsewhere")));

  // No name, or a name that would leave the data folder: nothing happens.
  RecordStore unnamed(folders);
  EXPECT_FALSE(unnamed.Locate());
  unnamed.SetDeviceName("../escape");
  EXPECT_FALSE(unnamed.Locate());
  EXPECT_EQ(unnamed.storePath(), "");
  EXPECT_FALSE(fs::exists(env.dir.File("escape.mdb")));
}

TEST(RecordStoreLocate, MissingTemplateIsReportedAndLeavesNothing) {
  StoreFixture env;
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("First");
  ASSERT_TRUE(store.Locate());
  const std::string firstPath = store.storePath();

  store.SetFolders({env.dataPath(), env.dir.File("nowhere")});
  store.SetDeviceName("Second");
  EXPECT_FALSE(store.Locate());
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].text, "Error creating new database, err = 2");
  EXPECT_EQ(env.ui.messages[0].caption, "Horalog");
  EXPECT_EQ(env.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(store.storePath(), firstPath);
  EXPECT_EQ(FilesIn(env.dataPath()), std::vector<std::string>{"First.mdb"});
}

TEST(RecordStoreLocate, MissingDataFolderLoadsEmptyWithoutMessage) {
  StoreFixture env;
  WriteSetupString("DataPath", env.dir.File("no/such/folder"));
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_EQ(store.storePath(), env.dir.File("no/such/folder") + "/Pocket_PC.mdb");
  EXPECT_EQ(Count(store), 0u);
  EXPECT_TRUE(env.ui.messages.empty());
  EXPECT_FALSE(fs::exists(env.dir.File("no")));
}

TEST(RecordStoreLocate, FailedCopyLeavesNoTruncatedStore) {
  StoreFixture env;
  // A file size limit below the template's size makes the copy fail half
  // written, as a full disk would.
  const int code = RunInChild(
      [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        RecordStore store(ReadStoreFolders());
        store.SetDeviceName("Pocket_PC");
        if (store.Locate()) return 1;
        if (env.ui.messages.size() != 1) return 2;
        if (env.ui.messages[0].text != "Error creating new database, err = 27") return 3;  // EFBIG
        return 0;
      },
      false);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(FilesIn(env.dataPath()).empty());  // neither a store nor a temporary file

  // The next run, with room, creates a whole store.
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  ASSERT_TRUE(store.Locate());
  store.Load();
  EXPECT_EQ(ReadAll(store.storePath()), ReadAll(env.TemplateDir() + "/HR_Template.mdb"));
}

TEST(RecordStoreLoad, ListsLookupsOrderAndReload) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_EQ(Count(store), 0u);  // fresh from the template
  EXPECT_TRUE(env.ui.messages.empty());

  env.Run(path, {InsertAccountStatement(1, "Smith"), InsertAccountStatement(2, "Jones"),
                 InsertAccountStatement(3, "Smith"), InsertItemStatement(10, 1, "Design"),
                 InsertItemStatement(11, 2, "Design"), InsertItemStatement(12, 2, "All"),
                 InsertTimeRecordStatement(100, PackDate(2003, 1, 31), 1, 10, "a"),
                 InsertTimeRecordStatement(101, PackDate(2003, 2, 1), 1, 10, "b"),
                 InsertTimeRecordStatement(102, PackDate(2002, 12, 31), 2, 11, "c"),
                 InsertTimeRecordStatement(103, PackDate(2003, 1, 31), 2, 11, ""),
                 InsertTimeRecordStatement(104, PackDate(2003, 1, 31), 1, 10, "e"),
                 InsertSpanStatement(101, 84600, 90), InsertSpanStatement(100, 3600, 10),
                 InsertSpanStatement(101, 0, 5)});
  store.Load();
  store.Load();  // a reload replaces, never adds
  ASSERT_EQ(store.accounts().size(), 3u);
  ASSERT_EQ(store.items().size(), 3u);
  ASSERT_EQ(store.timeSpans().size(), 3u);
  RecordStore compared(ReadStoreFolders());  // as a synchronization loads it
  compared.SetDeviceName("Pocket_PC");
  compared.LoadToCompare();
  std::vector<int32_t> ids;
  for (const TimeRecord& r : compared.timeRecords()) {
    ids.push_back(r.id);
    EXPECT_EQ(r.notes, "");
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{100, 101, 102, 103, 104}));  // the store's order
  EXPECT_TRUE(compared.timeSpans().empty());
  std::vector<int32_t> order;
  for (const TimeRecord& r : store.timeRecords()) order.push_back(r.id);
  EXPECT_EQ(order, (std::vector<int32_t>{102, 100, 103, 104, 101}));
  EXPECT_EQ(store.timeRecords()[2].notes, "");

  EXPECT_EQ(store.AccountName(2), "Jones");
  EXPECT_EQ(store.AccountName(9), "");
  EXPECT_EQ(store.AccountIdByName("Smith"), 1);  // the first of two
  EXPECT_EQ(store.AccountIdByName("smith"), 0);  // exact letter case
  EXPECT_EQ(store.ItemIdByName("Design", 2), 11);
  EXPECT_EQ(store.ItemIdByName("Design", 1), 10);
  EXPECT_EQ(store.ItemIdByName("Design", 3), 0);
  EXPECT_EQ(store.ItemName(11), "Design");
  EXPECT_EQ(store.ItemName(99), "");

  // The span walk of record 101 finds its spans in list order, past others.
  std::vector<int32_t> starts;
  for (size_t pos = store.FirstSpanOf(101); pos != kNoPosition; pos = store.NextSpanOf(101, pos)) {
    starts.push_back(store.timeSpans()[pos].starttime);
  }
  EXPECT_EQ(starts, (std::vector<int32_t>{84600, 0}));
  EXPECT_EQ(store.RecordMinutes(101), 95);
  EXPECT_EQ(store.FirstSpanOf(102), kNoPosition);
  EXPECT_EQ(SpanEndMinutes(store.timeSpans()[0]), 60);  // 23:30 + 90 minutes ends at 01:00

  // Cursors.
  EXPECT_EQ(store.CurrentRecordNotes(), "");
  EXPECT_EQ(store.CurrentRecordDay(), 0);
  store.currentRecord = 0;
  EXPECT_EQ(store.CurrentRecordAccountName(), "Jones");
  EXPECT_EQ(store.CurrentRecordItemName(), "Design");
  EXPECT_EQ(store.CurrentRecordNotes(), "c");
  EXPECT_EQ(store.CurrentRecordDay(), PackDate(2002, 12, 31));
  store.currentItem = 2;
  EXPECT_EQ(store.CurrentItemId(), 12);
  EXPECT_EQ(store.CurrentItemName(), "All");

  // An empty name, or a name whose store cannot be made, keeps what is loaded.
  store.SetDeviceName("");
  store.Load();
  EXPECT_EQ(store.timeRecords().size(), 5u);
  store.SetFolders({env.dataPath(), env.dir.File("nowhere")});
  store.SetDeviceName("Other");
  store.Load();
  EXPECT_EQ(store.timeRecords().size(), 5u);
  EXPECT_EQ(store.storePath(), path);

  // Days a thousand years apart are put in order the same way, and ids as
  // far apart as they go (more than a load makes room for at first); then a
  // day no calendar has (day 200 of January 2003), which goes by its packed
  // value, among days far apart and among days close together.
  const int32_t noDay = PackDate(2003, 1, 31) + 169;
  const std::vector<std::pair<std::vector<StoreStatement>, std::vector<int32_t>>> stages = {
      {{InsertTimeRecordStatement(105, PackDate(2999, 1, 1), 1, 10, ""),
        InsertTimeRecordStatement(106, PackDate(1990, 1, 1), 1, 10, ""),
        InsertTimeRecordStatement(INT32_MAX, PackDate(2003, 1, 31), 1, 10, ""),
        InsertTimeRecordStatement(-INT32_MAX, PackDate(2003, 1, 31), 1, 10, "")},
       {106, 102, -INT32_MAX, 100, 103, 104, INT32_MAX, 101, 105}},
      {{InsertTimeRecordStatement(107, noDay, 1, 10, "")},
       {106, 102, -INT32_MAX, 100, 103, 104, INT32_MAX, 107, 101, 105}},
      {{DeleteTimeRecordStatement(105), DeleteTimeRecordStatement(106)},
       {102, -INT32_MAX, 100, 103, 104, INT32_MAX, 107, 101}}};
  for (const auto& [statements, expected] : stages) {
    env.Run(path, statements);
    RecordStore wide(ReadStoreFolders());
    wide.SetDeviceName("Pocket_PC");
    wide.Load();
    order.clear();
    for (const TimeRecord& r : wide.timeRecords()) order.push_back(r.id);
    EXPECT_EQ(order, expected);
  }

  // A reload writes over the memory of the last one: notes filling more than
  // one block (of 2 MB), then the same store reloaded with every note changed.
  for (const char* fill : {"x", "y"}) {
    SqliteConnection db;
    ASSERT_EQ(db.Open(path, false), 0);
    ASSERT_EQ(db.Exec("DELETE FROM hlgroup; WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT "
                      "id + 1 FROM n WHERE id < 9000) INSERT INTO hlgroup (id, grpdate, acct, "
                      "item, notes) SELECT id, " +
                      std::to_string(PackDate(2004, 1, 1)) +
                      " + id % 28, 1, 10, id || replace(hex(zeroblob(250)), '00', '" + fill +
                      "') FROM n"),
              0);
    db.Close();
    store.SetFolders(ReadStoreFolders());
    store.SetDeviceName("Pocket_PC");
    store.Load();
    ASSERT_EQ(store.timeRecords().size(), 9000u);
    for (const TimeRecord& r : store.timeRecords()) {
      ASSERT_EQ(r.notes, std::to_string(r.id) + std::string(250, *fill));
    }
  }
}

TEST(RecordStoreLoad, InvoiceDatesInLocalTime) {
  StoreFixture env;
  ScopedTimeZone zone("America/New_York");
  const std::string path = env.CreateStore("Pocket_PC");
  env.Run(path, {InsertTimeRecordStatement(1, PackDate(2003, 3, 15), 1, 1, ""),
                 InsertTimeRecordStatement(2, PackDate(2003, 3, 15), 1, 1, ""),
                 InsertTimeRecordStatement(3, PackDate(2003, 7, 1), 1, 1, ""),
                 InsertTimeRecordStatement(4, PackDate(2003, 7, 2), 1, 1, "")});
  SqliteConnection db;
  ASSERT_EQ(db.Open(path, false), 0);
  // 15 March 2003 14:05 (winter time), 1 July 2003 09:30 (summer time), and a
  // date no calendar holds.
  ASSERT_EQ(
      db.Exec("UPDATE hlgroup SET invoiced = 1, invoicedate = 37695.0 + 845.0/1440 WHERE id = 1;"
              "UPDATE hlgroup SET invoiced = 1, invoicedate = 37803.0 + 570.0/1440 WHERE id = 3;"
              "UPDATE hlgroup SET invoiced = -1, invoicedate = 1e300 WHERE id = 4;"
              "UPDATE hlgroup SET invoicedate = 37695.5 WHERE id = 2;"),
      0);
  db.Close();
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  ASSERT_EQ(store.timeRecords().size(), 4u);
  EXPECT_TRUE(store.timeRecords()[0].invoiced);
  EXPECT_EQ(store.timeRecords()[0].invoicedate, LocalTime(2003, 3, 15, 14, 5, 0));
  EXPECT_FALSE(store.timeRecords()[1].invoiced);
  EXPECT_EQ(store.timeRecords()[1].invoicedate, 0);  // not read when not invoiced
  EXPECT_EQ(store.timeRecords()[2].invoicedate, LocalTime(2003, 7, 1, 9, 30, 0));
  EXPECT_TRUE(store.timeRecords()[3].invoiced);  // any value but 0 is Yes
  EXPECT_EQ(store.timeRecords()[3].invoicedate, NoInvoiceDate());
  EXPECT_EQ(NoInvoiceDate(), LocalTime(1900, 1, 1));
}

TEST(RecordStoreLoad, OverlongTextIsCutAndLoadingGoesOn) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket_PC");
  // 30 ASCII letters then "éé": the cut after 31 characters keeps one é whole.
  const std::string name = std::string(30, 'a') + "\xC3\xA9\xC3\xA9";
  const std::string notes = std::string(254, 'n') + "\xE2\x82\xAC\xE2\x82\xAC tail";
  SqliteConnection db;
  ASSERT_EQ(db.Open(path, false), 0);
  ASSERT_EQ(
      db.Exec("INSERT INTO accountName VALUES (1, '" + name +
              "');"
              "INSERT INTO accountName VALUES (2, 'after');"
              "INSERT INTO hlgroup VALUES (1, 131843, 1, 1, '" +
              notes +
              "', 0, 2.0, 0);"
              "INSERT INTO hlgroup (id, grpdate, acct, item, notes) VALUES (2, 131843, 1, 1, '');"
              // Rows no 4-byte field can hold are passed over.
              "INSERT INTO hltime VALUES (1, 4294967296, 5);"
              "INSERT INTO hltime VALUES ('x', 0, 5);"
              "INSERT INTO hltime VALUES (1, 0.5, 5);"
              "INSERT INTO hltime VALUES ('y', 2.5, 5);"
              "INSERT INTO hltime VALUES (1, '60', 7);"
              "INSERT INTO hltime VALUES (1, 120, 9);"),
      0);
  db.Close();
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  ASSERT_EQ(store.accounts().size(), 2u);
  EXPECT_EQ(store.accounts()[0].name, std::string(30, 'a') + "\xC3\xA9");
  EXPECT_EQ(store.accounts()[1].name, "after");
  ASSERT_EQ(store.timeRecords().size(), 2u);
  EXPECT_EQ(store.timeRecords()[0].notes, std::string(254, 'n') + "\xE2\x82\xAC");
  ASSERT_EQ(store.timeSpans().size(), 2u);
  EXPECT_EQ(store.timeSpans()[0].starttime, 60);
  EXPECT_EQ(store.timeSpans()[1].duration, 9);
  // A walk by MoveNext names each passed-over row's column (the last one,
  // when two do not fit).
  TableCommand spans(StoreTable::HlTime);
  spans.SetPath(path);
  ASSERT_TRUE(spans.OpenConnection().ok());
  ASSERT_TRUE(spans.OpenDefaultRowset().ok());
  std::vector<std::string> walked;
  for (Status row = spans.MoveFirst(); row.code() != DB_S_ENDOFROWSET && walked.size() < 9;
       row = spans.MoveNext()) {
    walked.push_back(row.ok() ? std::to_string(spans.IntField(2)) : row.message());
  }
  EXPECT_EQ(walked,
            (std::vector<std::string>{"value of column 2 is not a 4-byte integer",
                                      "value of column 1 is not a 4-byte integer",
                                      "value of column 2 is not a 4-byte integer",
                                      "value of column 2 is not a 4-byte integer", "60", "120"}));

  // Notes of full length over several of the store's notes blocks, each
  // whole after the load and after a reload.
  auto longNotes = [](int id) { return std::to_string(id) + std::string(250, 'x'); };
  std::vector<StoreStatement> statements;
  for (int id = 3; id < 700; ++id) {
    statements.push_back(InsertTimeRecordStatement(id, 131843, 1, 1, longNotes(id)));
  }
  env.Run(path, statements);
  for (int load = 0; load < 2; ++load) {
    store.Load();
    ASSERT_EQ(store.timeRecords().size(), 699u);
    for (const TimeRecord& r : store.timeRecords()) {
      if (r.id >= 3) {
        ASSERT_EQ(r.notes, longNotes(r.id).substr(0, 255)) << r.id;
      }
    }
  }
}

TEST(RecordStoreLoad, FilesThatAreNoStoreLoadEmpty) {
  StoreFixture env;
  const std::string jet =
      std::string("\x00\x01\x00\x00Standard Jet DB\x00", 20) + std::string(4076, '\0');
  const std::pair<std::string, std::string> files[] = {
      {"Garbage", "this is not a database at all, just some text that goes on"},
      {"Jet", jet},
      {"Empty", ""},
  };
  for (const auto& [name, bytes] : files) {
    WriteAll(env.dataPath() + "/" + name + ".mdb", bytes);
    RecordStore store(ReadStoreFolders());
    store.SetDeviceName(name);
    store.Load();
    EXPECT_EQ(Count(store), 0u) << name;
    EXPECT_EQ(store.storePath(), env.dataPath() + "/" + name + ".mdb");
    EXPECT_FALSE(store.MarkInvoiced(1)) << name;
    const Status status = ExecuteStatement(store.storePath(), InsertAccountStatement(1, "x"));
    EXPECT_LT(status.code(), 0);
    if (name != "Empty") {
      EXPECT_FALSE(status.message().empty()) << name;
      EXPECT_EQ(ReadAll(store.storePath()), bytes) << name;  // never overwritten
    }
  }
  EXPECT_TRUE(env.ui.messages.empty());
  // A store without one of its tables loads the others.
  const std::string path = env.CreateStore("Partial");
  env.Run(path, {InsertAccountStatement(1, "Smith"), InsertSpanStatement(1, 0, 5)});
  SqliteConnection db;
  ASSERT_EQ(db.Open(path, false), 0);
  ASSERT_EQ(db.Exec("DROP TABLE itemName"), 0);
  db.Close();
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Partial");
  store.Load();
  EXPECT_EQ(store.accounts().size(), 1u);
  EXPECT_EQ(store.items().size(), 0u);
  EXPECT_EQ(store.timeSpans().size(), 1u);
  EXPECT_EQ(ExecuteStatement(path, InsertItemStatement(1, 1, "x")).code(), DB_E_NOTABLE);
}

TEST(RecordStoreMarkInvoiced, MarksStoreAndMemoryTogether) {
  StoreFixture env;
  ScopedTimeZone zone("Australia/Sydney");
  const std::string path = env.CreateStore("Pocket_PC");
  env.Run(path, {InsertTimeRecordStatement(12, PackDate(2003, 3, 1), 1, 1, ""),
                 InsertTimeRecordStatement(13, PackDate(2003, 3, 2), 1, 1, "")});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();

  const std::time_t now = LocalTime(2003, 3, 15, 14, 5, 0);
  {
    ScopedNow clock(now);
    EXPECT_TRUE(store.MarkInvoiced(12));
  }
  EXPECT_TRUE(store.timeRecords()[0].invoiced);
  EXPECT_EQ(store.timeRecords()[0].invoicedate, now);
  EXPECT_FALSE(store.timeRecords()[1].invoiced);

  // An id without a record changes nothing.
  EXPECT_FALSE(store.MarkInvoiced(99));

  // The store keeps the day only: reloaded, the date is that midnight.
  store.Load();
  EXPECT_TRUE(store.timeRecords()[0].invoiced);
  EXPECT_EQ(store.timeRecords()[0].invoicedate, LocalTime(2003, 3, 15));

  // Marking again replaces the date.
  {
    ScopedNow clock(LocalTime(2031, 1, 2, 9, 0, 0));
    EXPECT_TRUE(store.MarkInvoiced(12));
  }
  store.Load();
  EXPECT_EQ(store.timeRecords()[0].invoicedate, LocalTime(2031, 1, 2));  // not 1931

  // A store that refuses the change: the record stays unmarked in memory too.
  ::chmod(path.c_str(), 0444);
  ::chmod(env.dataPath().c_str(), 0555);
  ::chmod(env.dir.path().c_str(), 0755);
  const int code = RunInChild(
      [&] {
        if (store.MarkInvoiced(13)) return 1;
        if (store.timeRecords()[1].invoiced) return 2;
        return 0;
      },
      true);
  EXPECT_EQ(code, 0);
  ::chmod(env.dataPath().c_str(), 0755);
  ::chmod(path.c_str(), 0644);
  store.Load();
  EXPECT_FALSE(store.timeRecords()[1].invoiced);
}
