// Handheld names that try to leave the data folder: through the handheld's
// own registry, through RecordStore::Locate, and on horalog's command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "emulator/emulated_handheld.h"
#include "hostile/hostile_support.h"
#include "store/record_store.h"
#include "support/handheld_fixture.h"
#include "support/recording_sync_view.h"
#include "support/run_tool.h"
#include "sync/sync_procedure.h"

namespace {

using namespace hostile;
namespace fs = std::filesystem;

// The handheld's \Ident\Name set to raw UTF-16 units (a NUL included).
void SetHandheldName(HandheldImage& image, const std::u16string& name) {
  std::vector<uint8_t> data;
  for (char16_t c : name) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  const Status set =
      image.SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_SZ, data);
  ASSERT_TRUE(set.ok()) << set.message();
}

}  // namespace

// The handheld names its own store: whatever it says, the store is a file
// directly in the data folder or there is none, and nothing appears outside.
TEST(HostileHandheldName, SynchronizationKeepsTheStoreInTheDataFolder) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Acme").ok());
  const std::string nul("\0", 1);
  struct Case {
    std::u16string name;
    SyncProcedure::Outcome outcome;
    std::string deviceName;  // "" when no store may be made
  };
  const std::vector<Case> cases = {
      {u"../../escaped", SyncProcedure::Outcome::Finished, ".._.._escaped"},
      {u"/etc/passwd", SyncProcedure::Outcome::Finished, "_etc_passwd"},
      {u"..", SyncProcedure::Outcome::NameUnreadable, ""},
      {u".", SyncProcedure::Outcome::NameUnreadable, ""},
      {u"...", SyncProcedure::Outcome::NameUnreadable, ""},
      {u"", SyncProcedure::Outcome::NameUnreadable, ""},
      // The name ends at the NUL, as on the handheld: "../x" never reaches a path.
      {std::u16string(u"nul\0/../../x", 12), SyncProcedure::Outcome::Finished, "nul"},
      // Longer than the 15 characters a handheld name can have: not read at all.
      {std::u16string(200, u'x'), SyncProcedure::Outcome::NameUnreadable, ""},
      {std::u16string(100, u'/'), SyncProcedure::Outcome::NameUnreadable, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deviceName.empty() ? "(no store)" : c.deviceName);
    SetHandheldName(env.image, c.name);
    const std::set<std::string> before = FilesBelow(env.dir.path());
    SyncRun run;
    RunSync(env, &run);
    EXPECT_EQ(run.outcome, c.outcome);
    EXPECT_EQ(run.deviceName, c.deviceName);
    std::set<std::string> added = Added(before, FilesBelow(env.dir.path()));
    added.erase("state/horalog/dbgout.txt");
    if (c.deviceName.empty()) {
      EXPECT_EQ(added, std::set<std::string>{});
      EXPECT_EQ(run.storePath, "");
      EXPECT_EQ(run.view.statuses.back(),
                "Unable to read the name of the mobile device.  Verify the device has a name, "
                "then try connecting again.");
    } else {
      EXPECT_EQ(added, std::set<std::string>{"stores/" + c.deviceName + ".mdb"});
      EXPECT_EQ(run.storePath, env.dataPath() + "/" + c.deviceName + ".mdb");
      EXPECT_EQ(run.view.statuses.back(), "Synchronization completed");
      RecordStore store(ReadStoreFolders());
      store.SetDeviceName(c.deviceName);
      store.Load();
      EXPECT_EQ(store.AccountName(1), "Acme");
    }
  }
  EXPECT_TRUE(env.ui.messages.empty());
}

namespace {

// What Locate does with one name: whether it locates, the message it shows
// when the store cannot be made, and the one file it may make in the data
// folder ("" for none).
struct LocateCase {
  std::string name;
  bool located;
  std::string message;
  std::string file;
};

void ExpectLocate(StoreFixture& env, const std::vector<LocateCase>& cases) {
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 20));
    env.ui.messages.clear();
    const std::set<std::string> before = FilesBelow(env.dir.path());
    RecordStore store(ReadStoreFolders());
    store.SetDeviceName(c.name);
    EXPECT_EQ(store.Locate(), c.located);
    store.Load();
    EXPECT_TRUE(store.accounts().empty());
    const std::set<std::string> added = Added(before, FilesBelow(env.dir.path()));
    if (c.file.empty()) {
      EXPECT_EQ(added, std::set<std::string>{});
      EXPECT_EQ(store.storePath(), "");
    } else {
      EXPECT_EQ(added, std::set<std::string>{"stores/" + c.file});
      EXPECT_EQ(store.storePath(), env.dataPath() + "/" + c.file);
    }
    if (c.message.empty()) {
      EXPECT_TRUE(env.ui.messages.empty());
    } else {
      // Load tries again and says so again.
      ASSERT_EQ(env.ui.messages.size(), 2u);
      EXPECT_EQ(env.ui.messages[0].text, c.message);
      EXPECT_EQ(env.ui.messages[0].caption, "Horalog");
    }
  }
}

}  // namespace

// Names given to the store by a program: one that names another folder is
// refused silently, and no file is ever made but NAME.mdb in the data folder.
TEST(HostileHandheldName, LocateMakesNoFileOutsideTheDataFolder) {
  StoreFixture env;
  ExpectLocate(env, {
                        {"../escaped", false, "", ""},
                        {"a/b", false, "", ""},
                        {"/tmp/escaped", false, "", ""},
                        {std::string("held\0/../../x", 13), false, "", ""},
                        {"..", true, "", "...mdb"},
                        {std::string(200, 'n'), true, "", std::string(200, 'n') + ".mdb"},
                    });
}

// A name the system cannot take as a file name was located without a word
// and loaded as an empty store, as if the handheld had no records.
TEST(HostileHandheldName, NameTooLongForAFileIsReportedNotLoadedAsAnEmptyStore) {
  StoreFixture env;
  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "\xE6\x97\xA5";  // three bytes each
  ExpectLocate(env, {{std::string(252, 'n'), false, "Error creating new database, err = 36", ""},
                     {wide, false, "Error creating new database, err = 36", ""}});
}

// A NUL in a name ended the path there: "held\0" made and loaded a file
// "held" that is no store.
TEST(HostileHandheldName, NulInANameMakesNoFileCutShortAtIt) {
  StoreFixture env;
  ExpectLocate(env,
               {{std::string("held\0", 5), false, "Error creating new database, err = 22", ""}});
}

// horalog takes a handheld name only from the stores it lists.
TEST(HostileHandheldName, HoralogRefusesNamesOfNoStore) {
  StoreFixture env;
  env.CreateStore("Pocket_PC");
  fs::create_directories(env.dir.File("outside"));
  for (const std::string& name : {std::string("../outside/x"), std::string(".."),
                                  std::string("/etc/passwd"), std::string(200, 'x')}) {
    SCOPED_TRACE(name);
    const std::set<std::string> before = FilesBelow(env.dir.path());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"records", name, "Acme"},
          std::vector<std::string>{"report", name, "--no-open"},
          std::vector<std::string>{"invoice", name, "Acme", "--no-open"}}) {
      ToolRun run = RunTool("horalog", args);
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_EQ(run.err, "horalog: no handheld named " + name + "\n");
    }
    EXPECT_EQ(FilesBelow(env.dir.path()), before);
  }
}
