// The whole contact with the handheld: connection, identification, store
// creation, modes, and the debug log.
#include "sync/sync_procedure.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "emulator/docked_handheld.h"
#include "emulator/emulated_handheld.h"
#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"
#include "support/recording_sync_view.h"
#include "sync/debug_log.h"

namespace {

constexpr const char* kConnectFailed =
    "Unable to connect to mobile device.  Verify device is turned on and docked and SynCE's "
    "connection manager (dccm) is running, then try connecting again.";
constexpr const char* kUpdateFailed =
    "Unable to update mobile device.  Update will be performed next time device is connected.";

// The real handheld, watched: counts connection starts and ends.
class WatchedHandheld : public EmulatedHandheld {
 public:
  using EmulatedHandheld::EmulatedHandheld;
  int32_t CeRapiInitEx(RapiInit* init) override {
    int32_t rc = EmulatedHandheld::CeRapiInitEx(init);
    if (rc == 0) ++started;
    return rc;
  }
  int32_t CeRapiUninit() override {
    ++ended;
    return EmulatedHandheld::CeRapiUninit();
  }
  int started = 0;
  int ended = 0;
};

// The handheld of env for one procedure: the image directly (watched), or
// served over the RAPI protocol and reached through the library, which finds
// it through the connection file or the connection manager.
class EitherHandheld {
 public:
  EitherHandheld(HandheldPath path, HandheldFixture& env) : watched(env.dockPath()) {
    if (path == HandheldPath::Image) return;
    dock.emplace(path, env.imagePath(), env.dir.File("dock"));
    rapi = dock->Handheld(env.dockPath());
  }
  CePlatform& platform() { return rapi ? *rapi : watched; }
  // Attempts started and not ended; a served handheld's server sees to its own.
  int open() const { return rapi ? 0 : watched.started - watched.ended; }

  std::optional<PathDock> dock;
  WatchedHandheld watched;
  std::unique_ptr<CePlatform> rapi;
};

class SyncProcedureOn : public ::testing::TestWithParam<HandheldPath> {};

INSTANTIATE_TEST_SUITE_P(, SyncProcedureOn, ::testing::ValuesIn(HandheldPaths()),
                         [](const auto& info) { return PathName(info.param); });

std::vector<std::string> LogLines() {
  std::ifstream in(DebugLogPath());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(SyncProcedure, FullRunIdentifiesTheHandheldAndCreatesItsStore) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Smith").ok());
  RecordingSyncView view;
  WatchedHandheld handheld(env.dockPath());
  SyncProcedure procedure(handheld, view, false);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"SD creator"});
  EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::Finished);
  EXPECT_EQ(procedure.deviceName(), "Pocket_PC");
  EXPECT_EQ(procedure.ownerName(), "Jane Doe");
  EXPECT_EQ(procedure.storePath(), env.dataPath() + "/Pocket_PC.mdb");
  EXPECT_EQ(view.caption, "Synchronization of Pocket PC (Jane Doe)");
  EXPECT_EQ(view.statuses.front(), "Connected, Synchronizing");
  EXPECT_EQ(view.statuses.back(), "Synchronization completed");
  EXPECT_EQ(view.events.back(), "beep");
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(handheld.started, 1);
  EXPECT_EQ(handheld.ended, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"SD creator", "OT begin",
                                                  "Synchronization of Pocket PC (Jane Doe)"}));
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_EQ(store.AccountName(1), "Smith");

  // Update-only mode ends with its own words, capital C.
  RecordingSyncView update;
  SyncProcedure updateOnly(handheld, update, true);
  EXPECT_EQ(updateOnly.Run(), SyncProcedure::Outcome::Finished);
  EXPECT_EQ(update.statuses.back(), "Synchronization Completed");
  EXPECT_EQ(std::count(update.statuses.begin(), update.statuses.end(), "Synchronization completed"),
            0);
}

TEST(SyncProcedure, ConnectionFailuresLeaveTheDialogOpen) {
  HandheldFixture env;
  struct Case {
    std::string dock;
    bool updateOnly;
    std::string status;
  };
  const std::string noDockFolder = env.dir.File("no/dock/here.hhd");
  const std::string emptyDock = env.dir.File("empty.hhd");
  const Case cases[] = {
      {noDockFolder, false,
       "Mobile device initialization failed.  Verify SynCE (its RAPI library and connection "
       "manager) is installed and functioning properly, then try connecting again."},
      {emptyDock, false, kConnectFailed},
      {emptyDock, true, kUpdateFailed},
  };
  for (const Case& c : cases) {
    RecordingSyncView view;
    WatchedHandheld handheld(c.dock);
    SyncProcedure procedure(handheld, view, c.updateOnly);
    EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::NotConnected);
    EXPECT_EQ(view.statuses, std::vector<std::string>{c.status});
    EXPECT_EQ(procedure.deviceName(), "");
    EXPECT_EQ(view.beeps, 0);
    EXPECT_EQ(handheld.ended, handheld.started);  // an attempt made is always ended
  }
  EXPECT_FALSE(std::filesystem::exists(env.dataPath() + "/.mdb"));
}

TEST(SyncProcedure, AHandheldThatAnswersTooLateIsNotConnected) {
  HandheldFixture env;
  // The answer would come a minute later: a busy machine can stretch the
  // 5-second wait, never into one the answer could end.
  ASSERT_TRUE(env.image.SetDelay(60000).ok());
  RecordingSyncView view;
  WatchedHandheld handheld(env.dockPath());
  SyncProcedure procedure(handheld, view, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::NotConnected);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(4900));
  EXPECT_LT(waited, std::chrono::milliseconds(30000));
  EXPECT_EQ(view.statuses, std::vector<std::string>{kConnectFailed});
  EXPECT_EQ(handheld.ended, 1);
  EXPECT_FALSE(std::filesystem::exists(env.dataPath() + "/Pocket_PC.mdb"));
}

TEST_P(SyncProcedureOn, NamesThatCannotBeUsed) {
  struct Case {
    std::u16string name;
    std::optional<std::u16string> owner;
    SyncProcedure::Outcome outcome;
    std::string deviceName;
    std::string caption;
  };
  const Case cases[] = {
      {u"Fifteen chars!!", std::nullopt, SyncProcedure::Outcome::Finished, "Fifteen_chars!!",
       "Synchronization of Fifteen chars!!"},
      {u"Sixteen chars!!!", u"Jo", SyncProcedure::Outcome::NameUnreadable, "",
       "Synchronization of  (Jo)"},
      {u"a/b", std::nullopt, SyncProcedure::Outcome::Finished, "a_b", "Synchronization of a/b"},
      {u"..", std::nullopt, SyncProcedure::Outcome::NameUnreadable, "", "Synchronization of .."},
      {u"", std::nullopt, SyncProcedure::Outcome::NameUnreadable, "", "Synchronization of "},
  };
  for (const Case& c : cases) {
    HandheldFixture env(c.name, c.owner);
    RecordingSyncView view;
    EitherHandheld handheld(GetParam(), env);
    SyncProcedure procedure(handheld.platform(), view, false);
    EXPECT_EQ(procedure.Run(), c.outcome);
    EXPECT_EQ(procedure.deviceName(), c.deviceName);
    EXPECT_EQ(view.caption, c.caption);
    EXPECT_EQ(handheld.open(), 0);
    if (c.outcome == SyncProcedure::Outcome::NameUnreadable) {
      EXPECT_EQ(view.beeps, 0);
      EXPECT_TRUE(std::filesystem::is_empty(env.dataPath()));  // no store, not even ".mdb"
    }
  }
  // A name of the wrong type is no name.
  HandheldFixture env;
  ASSERT_TRUE(env.image
                  .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_BINARY,
                                    {'P', 0, 0, 0})
                  .ok());
  RecordingSyncView view;
  EitherHandheld handheld(GetParam(), env);
  SyncProcedure procedure(handheld.platform(), view, false);
  EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::NameUnreadable);
}

TEST_P(SyncProcedureOn, MissingTemplateStopsBeforeTouchingAnything) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutRecord(1, PackDate(2003, 1, 1), 1, 1, u"keep me").ok());
  WriteSetupString("ExecPath", env.dir.File("nowhere"));
  RecordingSyncView view;
  EitherHandheld handheld(GetParam(), env);
  SyncProcedure procedure(handheld.platform(), view, false);
  EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::StoreNotCreated);
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Horalog: Error creating new database, err = 2"});
  EXPECT_EQ(view.statuses, std::vector<std::string>{"Connected, Synchronizing"});
  EXPECT_EQ(env.image.RecordCount("HLGroup"), 1);
  EXPECT_EQ(handheld.open(), 0);
  EXPECT_EQ(view.beeps, 0);
}
