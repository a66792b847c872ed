// Store files that are not what their name says: empty, cut in half, random
// bytes, text, an Access (Jet) file; and stores that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "hostile/hostile_support.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "store/store_file_kind.h"
#include "store/table_command.h"

namespace {

using namespace hostile;
namespace fs = std::filesystem;

// The bytes of a real store holding many records, for cutting in half.
std::string FilledStoreBytes(StoreFixture& env) {
  const std::string path = env.CreateStore("Full");
  std::vector<StoreStatement> statements = {InsertAccountStatement(1, "Acme"),
                                            InsertItemStatement(10, 1, "Work")};
  for (int32_t id = 1; id <= 400; ++id) {
    statements.push_back(InsertTimeRecordStatement(id, PackDate(2026, 11, 1 + id % 28), 1, 10,
                                                   std::string(200, 'n')));
  }
  env.Run(path, statements);
  std::string bytes = ReadFile(path);
  fs::remove(path);
  return bytes;
}

struct BadFile {
  const char* what;
  std::string bytes;
  bool windows = false;  // a Jet file: a store written on Windows, never written here
};

std::vector<BadFile> BadFiles(StoreFixture& env) {
  std::mt19937 random(7);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  jet.resize(4096, '\x5a');
  const std::string full = FilledStoreBytes(env);
  return {
      {"half of a store", full.substr(0, full.size() / 2)},
      {"random bytes", noise},
      {"text", "This is not a database.\nJust some notes someone saved as .mdb\n"},
      {"Jet", jet, true},
  };
}

// A handheld holding one account, item and record with a span.
void FillHandheld(HandheldImage& hh) {
  ASSERT_TRUE(hh.PutAccount(1, u"Acme").ok());
  ASSERT_TRUE(hh.PutItem(10, 1, u"Work").ok());
  ASSERT_TRUE(hh.PutRecord(100, PackDate(2026, 12, 1), 1, 10, u"kept on the handheld").ok());
  ASSERT_TRUE(hh.AddSpan(100, 9 * 3600, 30).ok());
}

// Whether chattr can make a file immutable here (it needs root and a file
// system that supports the flag).
bool MakeImmutable(const std::string& path, bool on) {
  const std::string command =
      std::string("chattr ") + (on ? "+i" : "-i") + " '" + path + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

// Loading such a file gives empty lists; synchronizing into it says the
// store cannot be used; the file keeps every byte, and the handheld keeps
// its records.
TEST(HostileStoreFile, UnreadableStoreIsReportedAndLeftAsItWas) {
  HandheldFixture env;
  FillHandheld(env.image);
  for (const BadFile& bad : BadFiles(env)) {
    SCOPED_TRACE(bad.what);
    const std::string path = env.dataPath() + "/Pocket_PC.mdb";
    WriteFile(path, bad.bytes);

    RecordStore store(ReadStoreFolders());
    store.SetDeviceName("Pocket_PC");
    store.Load();
    EXPECT_TRUE(store.accounts().empty());
    EXPECT_TRUE(store.items().empty());
    EXPECT_TRUE(store.timeRecords().empty());
    EXPECT_TRUE(store.timeSpans().empty());
    EXPECT_FALSE(store.MarkInvoiced(100));
    EXPECT_TRUE(env.ui.messages.empty());
    EXPECT_TRUE(ReadFile(path) == bad.bytes);

    SyncRun run;
    RunSync(env, &run);
    if (bad.windows) {
      // Named for what it is, and left for the import.
      EXPECT_EQ(run.outcome, SyncProcedure::Outcome::StoreNotCreated);
      EXPECT_EQ(run.view.messages,
                std::vector<std::string>{"Horalog: " + WindowsStoreMessage("Pocket_PC", path)});
    } else {
      EXPECT_EQ(run.outcome, SyncProcedure::Outcome::Finished);
      // What was tried, each once: the account and item inserts and the
      // removal of the open records fail; no span insert is tried, since no
      // record was copied. Nothing copied is said to be.
      EXPECT_EQ(run.view.messages,
                (std::vector<std::string>{
                    "Database Error: Error opening local database for data removal",
                    "Synchronization Error: Unable to add account to database",
                    "Synchronization Error: Unable to add item to database",
                    "Synchronization Error: Error removing local uninvoiced data"}));
    }
    EXPECT_TRUE(ReadFile(path) == bad.bytes) << "now " << fs::file_size(path) << " bytes";
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_FALSE(fs::exists(path + "-wal"));
    EXPECT_EQ(env.image.RecordCount("HLGroup"), 1);
    EXPECT_EQ(env.image.RecordCount("HLTime"), 1);
  }
}

// An empty file (as a full disk or an interrupted copy leaves one) is a
// store without tables: it loads as empty lists and is not touched.
TEST(HostileStoreFile, EmptyStoreFileLoadsAsEmptyLists) {
  StoreFixture env;
  const std::string path = env.dataPath() + "/Pocket_PC.mdb";
  WriteFile(path, "");
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_TRUE(store.accounts().empty());
  EXPECT_TRUE(store.timeRecords().empty());
  EXPECT_TRUE(env.ui.messages.empty());
  EXPECT_EQ(fs::file_size(path), 0u);
}

// Marking invoiced and synchronizing wrote a fresh, table-less database
// over an empty store file: the write transaction they open on it, committed
// although every statement had failed, made SQLite write the first page of
// a new database.
TEST(HostileStoreFile, EmptyStoreFileIsNotWrittenByMarkingOrSynchronizing) {
  HandheldFixture env;
  FillHandheld(env.image);
  const std::string path = env.dataPath() + "/Pocket_PC.mdb";
  WriteFile(path, "");
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_FALSE(store.MarkInvoiced(100));
  EXPECT_EQ(fs::file_size(path), 0u);
  SyncRun run;
  RunSync(env, &run);
  ASSERT_FALSE(run.view.messages.empty());
  EXPECT_EQ(run.view.messages[0], "Database Error: Error opening local database for data removal");
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(env.image.RecordCount("HLGroup"), 1);
}

// A store that cannot be written: loading works, marking invoiced fails
// without marking in memory, synchronizing says so, and the file is unchanged.
TEST(HostileStoreFile, ReadOnlyStoreFile) {
  HandheldFixture env;
  FillHandheld(env.image);
  SyncRun first;
  RunSync(env, &first);
  ASSERT_EQ(first.outcome, SyncProcedure::Outcome::Finished);
  const std::string path = first.storePath;
  ASSERT_TRUE(env.image.PutRecord(101, PackDate(2026, 12, 2), 1, 10, u"new").ok());
  const std::string bytes = ReadFile(path);

  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  bool immutable = false;
  if (RunningAsRoot()) {
    // Root writes through any mode; an immutable file stops it as well.
    immutable = MakeImmutable(path, true);
    if (!immutable) GTEST_SKIP() << "running as root and chattr +i is not available here";
  }
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  ASSERT_EQ(store.timeRecords().size(), 1u);
  EXPECT_FALSE(store.MarkInvoiced(100));
  EXPECT_FALSE(store.timeRecords()[0].invoiced);

  SyncRun run;
  RunSync(env, &run);
  EXPECT_FALSE(run.view.messages.empty());
  if (!run.view.messages.empty()) {
    EXPECT_EQ(run.view.messages[0],
              "Database Error: Error opening local database for data removal");
  }
  if (immutable) MakeImmutable(path, false);
  EXPECT_EQ(ReadFile(path), bytes);
  store.Load();
  EXPECT_EQ(store.timeRecords().size(), 1u);
}

// A data folder that cannot be written: a new handheld's store cannot be
// made and says so; an existing store in it is still read and written.
TEST(HostileStoreFile, ReadOnlyDataFolder) {
  HandheldFixture env;
  FillHandheld(env.image);
  const std::string folder = env.dataPath();
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  bool immutable = false;
  if (RunningAsRoot()) {
    immutable = MakeImmutable(folder, true);
    if (!immutable) GTEST_SKIP() << "running as root and chattr +i is not available here";
  }
  SyncRun run;
  RunSync(env, &run);
  EXPECT_EQ(run.outcome, SyncProcedure::Outcome::StoreNotCreated);
  EXPECT_EQ(run.view.messages,
            std::vector<std::string>{"Horalog: Error creating new database, err = " +
                                     std::to_string(immutable ? EPERM : EACCES)});
  EXPECT_EQ(FilesBelow(folder), std::set<std::string>{});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  EXPECT_FALSE(store.Locate());
  ASSERT_EQ(env.ui.messages.size(), 1u);
  EXPECT_EQ(env.ui.messages[0].text, run.view.messages[0].substr(9));
  if (immutable) MakeImmutable(folder, false);
}
