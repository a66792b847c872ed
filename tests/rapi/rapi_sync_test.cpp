// Whole synchronizations through the RAPI library against the served image:
// `horalog sync` end to end, and a handheld that goes away part-way.
#if HORALOG_HAVE_RAPI

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "emulator/emulated_handheld.h"
#include "rapi/rapi_handheld.h"
#include "reliability/reliability_support.h"
#include "support/dccm_dock.h"
#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"
#include "support/recording_sync_view.h"
#include "support/run_tool.h"
#include "sync/synchronizer.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// `horalog-handheld serve` of image on address, started and ready.
class ServeProcess {
 public:
  ServeProcess(const std::string& image, const std::string& address, const std::string& log,
               int latencyMs = 0)
      : log_(log) {
    // A ready line left by an earlier server must not be taken for this one's.
    fs::remove(log);
    pid_ = reliability::Start(
        "horalog-handheld",
        {"serve", image, "--address", address, "--latency-ms", std::to_string(latencyMs)}, log);
    const std::string ready = "serving " + image + " on " + address + ":990";
    for (int i = 0; i < 200 && Log().find(ready) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(Log().find(ready), std::string::npos) << Log();
  }
  ~ServeProcess() { Stop(SIGTERM); }
  // Ends it with signal; its exit status.
  int Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    const int status = reliability::Wait(pid_);
    pid_ = -1;
    return status;
  }
  pid_t pid() const { return pid_; }
  std::string Log() const { return ReadText(log_); }

 private:
  std::string log_;
  pid_t pid_ = -1;
};

// Takes the handheld away (kills its server, or pulls the link out) once the
// time-records step has run for a while.
class KillingView : public RecordingSyncView {
 public:
  explicit KillingView(std::function<void()> takeAway) : takeAway_(std::move(takeAway)) {}
  ~KillingView() override {
    if (killer_.joinable()) killer_.join();
  }
  void SetProgress(int position) override {
    RecordingSyncView::SetProgress(position);
    if (position == 50) {
      // Over a link of 100 ms, once the database is open and counted, while
      // its records (in eight round trips) are read.
      killer_ = std::thread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(450));
        takeAway_();
      });
    }
  }

 private:
  std::function<void()> takeAway_;
  std::thread killer_;
};

// A whole synchronization; true when the handheld went away part-way.
bool FullRun(CePlatform& handheld, SyncView& view, const std::string& store) {
  RapiInit init;
  EXPECT_EQ(handheld.CeRapiInitEx(&init), 0);
  EXPECT_TRUE(init.heRapiInit->Wait(5000));
  EXPECT_EQ(init.heRapiInit->result(), 0);
  Synchronizer sync(handheld, view, "Pocket_PC", store);
  sync.CleanDevice();
  sync.Synchronize();
  handheld.CeRapiUninit();
  return sync.linkLost();
}

}  // namespace

// The library finds the served handheld through the connection file, or,
// as a handheld on USB, through SynCE's connection manager.
class RapiSyncOn : public ::testing::TestWithParam<HandheldPath> {};

INSTANTIATE_TEST_SUITE_P(, RapiSyncOn, ::testing::Values(HandheldPath::File, HandheldPath::Dccm),
                         [](const auto& info) { return PathName(info.param); });

TEST_P(RapiSyncOn, HoralogSyncThroughTheLibraryStoresWhatADirectSyncStores) {
  HandheldFixture env;
  HandheldGenerateOptions options;
  options.records = 300;
  options.spansPerRecord = 2;
  ASSERT_TRUE(env.image.Generate(options).ok());
  ASSERT_TRUE(env.image.PutAccount(1, u"O'Brien and a name of forty characters!").ok());
  ASSERT_TRUE(
      env.image.PutRecord(7, PackDate(2026, 12, 1), 1, 1, std::u16string(255, u'\u00e9')).ok());
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";

  ToolRun direct = RunTool("horalog", {"sync"});
  ASSERT_EQ(direct.status, 0) << direct.err;
  const std::string expected = reliability::Dump(store);
  fs::remove(store);

  const bool file = GetParam() == HandheldPath::File;
  const std::string address = file ? UniqueLoopbackAddress() : DccmDock::kAddress;
  std::optional<ScopedEnv> conf;
  std::optional<ServeProcess> server;
  std::optional<DccmDock> dccm;
  if (file) {
    conf.emplace("SYNCE_CONF_DIR", env.dir.File("synce"));
    server.emplace(env.imagePath(), address, env.dir.File("serve.log"));
  } else {
    dccm.emplace(env.imagePath(), env.dir.File("dock"));
  }
  ScopedEnv rapi("HORALOG_HANDHELD", "rapi:");
  ToolRun docked = RunTool("horalog-handheld", {"docked"});
  EXPECT_EQ(docked.status, 0) << docked.err;
  EXPECT_EQ(docked.out, "rapi:Pocket PC " + address + "\n");
  ToolRun served = RunTool("horalog", {"sync"});
  ASSERT_EQ(served.status, 0) << served.err;
  EXPECT_EQ(reliability::Dump(store), expected);
  EXPECT_NE(expected.find("1|O`Brien and a name of forty cha\n"), std::string::npos) << expected;

  if (!file) {
    // Through dccm alone: no connection file anywhere.
    EXPECT_TRUE(fs::is_empty(std::getenv("SYNCE_CONF_DIR")));
    return;
  }
  // The server ends on SIGTERM and takes its description with it.
  EXPECT_EQ(server->Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(env.dir.File("synce/active_connection")));
  EXPECT_EQ(RunTool("horalog-handheld", {"docked"}).status, 1);
}

TEST(DccmSync, AHandheldThatStopsAnsweringPingsIsDroppedAndALockedOneServesOnlyItsOwner) {
  HandheldFixture env;
  ScopedEnv rapi("HORALOG_HANDHELD", "rapi:");
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";
  {
    DccmDock dock(env.imagePath(), env.dir.File("locked"), {"--password", "s3cret"});
    // Locked: published, but nothing is served until dccm has the password,
    // which horalog sync hands over from its password file.
    EXPECT_EQ(RunTool("horalog-handheld", {"docked"}).out, "rapi:Pocket PC 169.254.2.1\n");
    EXPECT_EQ(dock.Run("password", {"wrong"}).out, "false\n");
    EXPECT_NE(dock.ServeLog().find("wrong password"), std::string::npos) << dock.ServeLog();
    const struct {
      std::string password;  // the file's first line; none for an empty file
      int status;
      std::string says;
    } runs[] = {
        {"", 6, "Cannot read the password file"},
        {"S3CRET\n", 6, "The mobile device did not accept the password."},
        {"s3cret\n", 0, "Synchronization completed"},
    };
    for (const auto& run : runs) {
      const std::string file = env.dir.File("password.txt");
      std::ofstream(file) << run.password;
      const ToolRun sync = RunTool("horalog", {"sync", "--password-file", file});
      EXPECT_EQ(sync.status, run.status) << sync.out << sync.err;
      EXPECT_NE(sync.out.find(run.says), std::string::npos) << sync.out;
      EXPECT_EQ(fs::exists(store), run.status == 0);
    }
  }
  DccmDock dock(env.imagePath(), env.dir.File("dock"));
  EXPECT_EQ(RunTool("horalog-handheld", {"docked"}).status, 0);
  // A handheld that answers nothing misses dccm's pings (one every 5 s) and
  // is dropped after the third.
  ASSERT_EQ(dock.Run("freeze").status, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  ToolRun docked;
  while ((docked = RunTool("horalog-handheld", {"docked"})).status == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  EXPECT_EQ(docked.status, 1) << docked.out;
  EXPECT_EQ(dock.Run("devices").out, "");
  EXPECT_EQ(dock.Run("thaw").status, 0);
}

// Through the file the server is killed; through dccm the link is pulled
// out, so that nothing tells the desktop: the call's watchdog must.
TEST_P(RapiSyncOn, AHandheldThatGoesAwayPartWayLeavesTheStoreAsItWas) {
  HandheldFixture env;
  HandheldGenerateOptions options;
  options.records = 2000;
  ASSERT_TRUE(env.image.Generate(options).ok());
  const std::string store = env.CreateStore("Pocket_PC");
  {
    RecordingSyncView view;
    EmulatedHandheld direct(env.dockPath());
    FullRun(direct, view, store);
  }
  const std::string before = reliability::Dump(store);
  // New work on the handheld, which the interrupted run must not half-copy.
  ASSERT_TRUE(env.image.PutRecord(5, PackDate(2026, 12, 2), 1, 1, u"edited").ok());

  const bool file = GetParam() == HandheldPath::File;
  const std::string address = UniqueLoopbackAddress();
  ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
  if (file) {
    ServeProcess server(env.imagePath(), address, env.dir.File("serve.log"), 100);
    KillingView view([&server] { kill(server.pid(), SIGKILL); });
    RapiHandheld handheld;
    EXPECT_TRUE(FullRun(handheld, view, store));
    // The lost link is said once, by the procedure around the steps.
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.progress, (std::vector<int>{100, 0, 25, 50}));
    EXPECT_EQ(server.Stop(SIGKILL), 128 + SIGKILL);
  } else {
    DccmDock dock(env.imagePath(), env.dir.File("dock"), {"--latency-ms", "100"});
    KillingView view([&dock] { EXPECT_EQ(dock.Run("link-down").status, 0); });
    RapiHandheld handheld(3000);
    EXPECT_TRUE(FullRun(handheld, view, store));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.progress, (std::vector<int>{100, 0, 25, 50}));
    EXPECT_EQ(std::count(view.statuses.begin(), view.statuses.end(), "Synchronization completed"),
              0);
  }
  EXPECT_EQ(reliability::Integrity(store), "ok");
  EXPECT_EQ(reliability::Dump(store), before);

  // The next synchronization completes exactly.
  {
    std::optional<ServeProcess> server;
    std::optional<DccmDock> dock;
    if (file) {
      server.emplace(env.imagePath(), address, env.dir.File("serve2.log"));
    } else {
      dock.emplace(env.imagePath(), env.dir.File("dock2"));
    }
    RecordingSyncView view;
    RapiHandheld handheld;
    FullRun(handheld, view, store);
    EXPECT_TRUE(view.messages.empty());
  }
  const std::string after = reliability::Dump(store);
  {
    RecordingSyncView view;
    EmulatedHandheld direct(env.dockPath());
    FullRun(direct, view, store);
  }
  EXPECT_EQ(after, reliability::Dump(store));
  EXPECT_NE(after.find("|edited|"), std::string::npos);
}

// The handheld's server killed at a random moment of `horalog sync`, as a
// handheld pulled from its cable: every run that did not complete must say
// so (a non-zero exit and a message), and leave every step whole, each part
// of the store either as it was or as a complete run leaves it; the next
// run must be exact. HORALOG_LINK_KILLS sets the number of kills
// (scripts/reliability).
TEST(RapiSync, AHandheldLostAtAnyMomentIsReportedAndLeavesEveryStepWhole) {
  HandheldFixture env;
  ASSERT_TRUE(reliability::FillBusyHandheld(env.image, 11));
  ASSERT_EQ(RunTool("horalog", {"sync"}).status, 0);
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";
  {
    RecordStore records(ReadStoreFolders());
    records.SetDeviceName("Pocket_PC");
    records.Load();
    std::vector<int32_t> ids;
    for (int32_t id = 5; id <= 1000; id += 5) ids.push_back(id);
    ASSERT_TRUE(records.MarkInvoiced(ids).empty());
  }
  // Work done on the handheld since, so that every step has something to write.
  ASSERT_TRUE(env.image.PutAccount(1, u"Renamed account").ok());
  ASSERT_TRUE(env.image.PutItem(2, 1, u"Renamed item").ok());
  ASSERT_TRUE(env.image.PutRecord(2, PackDate(2026, 12, 3), 1, 2, u"edited on the handheld").ok());
  ASSERT_TRUE(env.image.AddSpan(2, 7200, 45).ok());
  fs::copy_file(store, env.dir.File("store.saved"));
  fs::copy_file(env.imagePath(), env.dir.File("image.saved"));
  auto putBack = [&] {
    reliability::Restore(
        {{env.dir.File("store.saved"), store}, {env.dir.File("image.saved"), env.imagePath()}});
  };
  // Each step's part of the store.
  const std::vector<std::string> parts = {
      "SELECT id, deleted FROM hlgroup WHERE invoiced = 1 ORDER BY id",
      "SELECT * FROM accountName ORDER BY id", "SELECT * FROM itemName ORDER BY id",
      "SELECT g.*, t.starttime, t.duration FROM hlgroup g LEFT JOIN hltime t ON t.parent = g.id "
      "WHERE g.invoiced = 0 ORDER BY g.id, t.starttime, t.duration"};
  auto partsOf = [&] {
    std::vector<std::string> rows;
    for (const std::string& sql : parts) rows.push_back(reliability::Rows(store, sql));
    return rows;
  };
  const std::vector<std::string> before = partsOf();

  const std::string address = UniqueLoopbackAddress();
  ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
  ScopedEnv rapi("HORALOG_HANDHELD", "rapi:");
  auto sync = [&](const std::string& log) {
    return reliability::Wait(reliability::Start("horalog", {"sync"}, env.dir.File(log)));
  };
  // What an uninterrupted run through the library gives, and how long it takes.
  double seconds = 0;
  {
    ServeProcess server(env.imagePath(), address, env.dir.File("serve.log"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(sync("full.log"), 0);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const std::string expected = reliability::Dump(store);
  const std::vector<std::string> complete = partsOf();
  for (size_t i = 0; i < parts.size(); ++i) ASSERT_NE(before[i], complete[i]) << parts[i];

  const int runs = reliability::Runs("HORALOG_LINK_KILLS", 20);
  std::mt19937 random(reliability::Seed());
  std::uniform_real_distribution<double> moment(0.0, seconds);
  int reported = 0, whole = 0, lost = 0, unconnected = 0;
  for (int run = 0; run < runs; ++run) {
    putBack();
    int status = 0;
    {
      ServeProcess server(env.imagePath(), address, env.dir.File("serve-killed.log"));
      const pid_t pid = reliability::Start("horalog", {"sync"}, env.dir.File("killed.log"));
      std::this_thread::sleep_for(
          std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1e6)));
      server.Stop(SIGKILL);
      status = reliability::Wait(pid);
    }
    const std::string log = ReadText(env.dir.File("killed.log"));
    const std::vector<std::string> now = partsOf();
    bool stepsWhole = reliability::Integrity(store) == "ok";
    for (size_t i = 0; i < parts.size(); ++i) {
      stepsWhole &= now[i] == before[i] || now[i] == complete[i];
    }
    const bool ok = status == 0 ? reliability::Dump(store) == expected && !Contains(log, "Error")
                    : status == 4
                        ? Contains(log,
                                   "Synchronization Error: The connection to the "
                                   "mobile device was lost")
                        // Gone before the library looked: no handheld is known at all.
                        : status == 1 && (Contains(log, "Unable to connect to mobile device") ||
                                          Contains(log, "Mobile device initialization failed"));
    EXPECT_TRUE(ok) << "run " << run << " exit " << status << ":\n" << log;
    EXPECT_TRUE(stepsWhole) << "run " << run << ":\n" << log;
    EXPECT_EQ(Contains(log, "Synchronization completed"), status == 0) << log;
    reported += ok;
    whole += stepsWhole;
    lost += status == 4;
    unconnected += status == 1;

    ServeProcess server(env.imagePath(), address, env.dir.File("serve.log"));
    EXPECT_EQ(sync("next.log"), 0) << ReadText(env.dir.File("next.log"));
    EXPECT_TRUE(reliability::Dump(store) == expected) << "run " << run << ": the next run differs";
  }
  reliability::Figure("handheld lost mid-synchronization (its server killed)",
                      std::to_string(reported) + " of " + std::to_string(runs) + " reported, " +
                          (whole == runs ? std::string("none") : std::to_string(runs - whole)) +
                          " half-done (" + std::to_string(lost) + " lost part-way, " +
                          std::to_string(unconnected) + " before connecting)");
}

#endif  // HORALOG_HAVE_RAPI
