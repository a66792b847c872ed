// Whole synchronizations through the RAPI library against the served image:
// `horalog sync` end to end, and a handheld that goes away part-way.
#if HORALOG_HAVE_RAPI

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "device/emulated_handheld.h"
#include "device/rapi_handheld.h"
#include "device/synchronizer.h"
#include "reliability/reliability_support.h"
#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"
#include "support/recording_sync_view.h"
#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;

// `horalog-handheld serve` of image on address, started and ready.
class ServeProcess {
 public:
  ServeProcess(const std::string& image, const std::string& address, const std::string& log,
               int latencyMs = 0)
      : log_(log) {
    pid_ = reliability::Start("horalog-handheld",
                              {"serve", image, "--address", address, "--latency-ms",
                               std::to_string(latencyMs)},
                              log);
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
  std::string Log() const {
    std::ifstream in(log_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
};

// Kills the server once the time-records step has run for a while.
class KillingView : public RecordingSyncView {
 public:
  explicit KillingView(pid_t server) : server_(server) {}
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
        kill(server_, SIGKILL);
      });
    }
  }

 private:
  pid_t server_;
  std::thread killer_;
};

void FullRun(CePlatform& handheld, SyncView& view, const std::string& store) {
  RapiInit init;
  ASSERT_EQ(handheld.CeRapiInitEx(&init), 0);
  ASSERT_TRUE(init.heRapiInit->Wait(5000));
  ASSERT_EQ(init.heRapiInit->result(), 0);
  Synchronizer sync(handheld, view, "Pocket_PC", store);
  sync.CleanDevice();
  sync.Synchronize();
  handheld.CeRapiUninit();
}

}  // namespace

TEST(RapiSync, HoralogSyncThroughTheLibraryStoresWhatADirectSyncStores) {
  HandheldFixture env;
  HandheldGenerateOptions options;
  options.records = 300;
  options.spansPerRecord = 2;
  ASSERT_TRUE(env.image.Generate(options));
  ASSERT_TRUE(env.image.PutAccount(1, u"O'Brien and a name of forty characters!"));
  ASSERT_TRUE(env.image.PutRecord(7, PackDate(2026, 12, 1), 1, 1, std::u16string(255, u'\u00e9')));
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";

  ToolRun direct = RunTool("horalog", {"sync"});
  ASSERT_EQ(direct.status, 0) << direct.err;
  const std::string expected = reliability::Dump(store);
  fs::remove(store);

  const std::string address = UniqueLoopbackAddress();
  ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
  ServeProcess server(env.imagePath(), address, env.dir.File("serve.log"));
  ScopedEnv rapi("HORALOG_HANDHELD", "rapi:");
  ToolRun docked = RunTool("horalog-handheld", {"docked"});
  EXPECT_EQ(docked.status, 0) << docked.err;
  EXPECT_EQ(docked.out, "rapi:Pocket PC " + address + "\n");
  ToolRun served = RunTool("horalog", {"sync"});
  ASSERT_EQ(served.status, 0) << served.err;
  EXPECT_EQ(reliability::Dump(store), expected);
  EXPECT_NE(expected.find("1|O`Brien and a name of forty cha\n"), std::string::npos) << expected;

  // The server ends on SIGTERM and takes its description with it.
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(env.dir.File("synce/active_connection")));
  EXPECT_EQ(RunTool("horalog-handheld", {"docked"}).status, 1);
}

TEST(RapiSync, AHandheldThatGoesAwayPartWayLeavesTheStoreAsItWas) {
  HandheldFixture env;
  HandheldGenerateOptions options;
  options.records = 2000;
  ASSERT_TRUE(env.image.Generate(options));
  const std::string store = env.CreateStore("Pocket_PC");
  {
    RecordingSyncView view;
    EmulatedHandheld direct(env.dockPath());
    FullRun(direct, view, store);
  }
  const std::string before = reliability::Dump(store);
  // New work on the handheld, which the interrupted run must not half-copy.
  ASSERT_TRUE(env.image.PutRecord(5, PackDate(2026, 12, 2), 1, 1, u"edited"));

  const std::string address = UniqueLoopbackAddress();
  ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
  {
    ServeProcess server(env.imagePath(), address, env.dir.File("serve.log"), 100);
    KillingView view(server.pid());
    RapiHandheld handheld;
    FullRun(handheld, view, store);
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"Synchronization Error: Error in remote group DB read"});
    EXPECT_EQ(server.Stop(SIGKILL), 128 + SIGKILL);
  }
  EXPECT_EQ(reliability::Integrity(store), "ok");
  EXPECT_EQ(reliability::Dump(store), before);

  // The next synchronization completes exactly.
  {
    ServeProcess server(env.imagePath(), address, env.dir.File("serve2.log"));
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

#endif  // HORALOG_HAVE_RAPI
