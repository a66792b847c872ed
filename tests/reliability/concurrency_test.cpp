// Two programs on the same files at once, again and again: a synchronization
// beside the maintenance program's account deletion on one store, and two
// programs writing the settings registry. Nothing may be corrupted, no write
// that was reported done may be lost, and a write that could not be done
// (the file locked past the busy timeout) must say so.
// HORALOG_CONCURRENCY_RUNS sets the number of rounds.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "maint/maintenance_model.h"
#include "reliability/reliability_support.h"
#include "settings/registry.h"
#include "store/record_store.h"
#include "support/handheld_fixture.h"
#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;
using namespace reliability;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// In a forked child: the maintenance window's account deletion of the first
// account, answered Yes. Exits 0 when it reported nothing, 1 with the
// message it showed in log.
[[noreturn]] void DeleteFirstAccount(RecordingUi& ui, const std::string& log) {
  ui.answer = MessageAnswer::Yes;
  MaintenanceModel model;
  model.Open();
  model.SelectDevice(model.devices().FindStringExact("Pocket_PC"));
  model.SelectAccount(0);
  const size_t before = ui.messages.size();
  model.DeleteAccount();
  std::ofstream out(log);
  for (size_t k = before + 1; k < ui.messages.size(); ++k) out << ui.messages[k].text << "\n";
  out.close();
  _exit(ui.messages.size() > before + 1 ? 1 : 0);
}

}  // namespace

TEST(Concurrency, SynchronizationAndAccountDeletionOnOneStore) {
  HandheldFixture env;
  ASSERT_TRUE(FillBusyHandheld(env.image, 11));
  ASSERT_EQ(RunTool("horalog", {"sync"}).status, 0);
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";
  // Some of the first account's records invoiced and gone from the handheld:
  // they live in the store alone, and only the deletion removes them.
  {
    RecordStore records(ReadStoreFolders());
    records.SetDeviceName("Pocket_PC");
    records.Load();
    std::string firstAccount = Rows(store, "SELECT id FROM accountName ORDER BY name LIMIT 1");
    std::vector<int32_t> ids;
    for (const TimeRecord& r : records.timeRecords()) {
      if (std::to_string(r.acct) + "\n" == firstAccount && ids.size() < 100) ids.push_back(r.id);
    }
    ASSERT_EQ(ids.size(), 100u);
    ASSERT_TRUE(records.MarkInvoiced(ids).empty());
  }
  ASSERT_EQ(RunTool("horalog", {"sync"}).status, 0);
  const std::string account = Rows(store, "SELECT id FROM accountName ORDER BY name LIMIT 1");
  const std::string id = account.substr(0, account.size() - 1);
  const std::string others = "SELECT * FROM hlgroup WHERE acct <> " + id + " ORDER BY id";
  const std::string otherSpans =
      "SELECT * FROM hltime WHERE parent IN (SELECT id FROM hlgroup WHERE acct <> " + id +
      ") ORDER BY 1, 2, 3";
  const std::string localOnly =
      "SELECT id FROM hlgroup WHERE deleted = 1 AND acct = " + id + " ORDER BY id";
  const std::string expectedOthers = Rows(store, others);
  const std::string expectedOtherSpans = Rows(store, otherSpans);
  const std::string expectedLocalOnly = Rows(store, localOnly);
  ASSERT_EQ(std::count(expectedLocalOnly.begin(), expectedLocalOnly.end(), '\n'), 100);
  fs::copy_file(store, env.dir.File("store.saved"));
  fs::copy_file(env.imagePath(), env.dir.File("image.saved"));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunTool("horalog", {"sync"}).status, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const int runs = Runs("HORALOG_CONCURRENCY_RUNS", 10);
  std::mt19937 random(Seed() + 2);
  std::uniform_real_distribution<double> moment(0.0, seconds);
  int sound = 0, deleted = 0, refused = 0;
  for (int run = 0; run < runs; ++run) {
    Restore({{env.dir.File("store.saved"), store}, {env.dir.File("image.saved"), env.imagePath()}});
    const pid_t sync = Start("horalog", {"sync"}, env.dir.File("sync.log"));
    std::this_thread::sleep_for(
        std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1e6)));
    const pid_t deletion = fork();
    if (deletion == 0) DeleteFirstAccount(env.ui, env.dir.File("delete.log"));
    const int syncStatus = Wait(sync);
    const int deleteStatus = Wait(deletion);
    const std::string deleteLog = ReadFile(env.dir.File("delete.log"));

    const std::string integrity = Integrity(store);
    const std::string orphans =
        Rows(store, "SELECT parent FROM hltime WHERE parent NOT IN (SELECT id FROM hlgroup)");
    const std::string nowOthers = Rows(store, others);
    const std::string nowOtherSpans = Rows(store, otherSpans);
    const std::string nowLocalOnly = Rows(store, localOnly);
    EXPECT_EQ(integrity, "ok") << "run " << run;
    EXPECT_EQ(orphans, "") << "run " << run;
    EXPECT_EQ(syncStatus, 0) << ReadFile(env.dir.File("sync.log"));
    // The synchronization's writes to the other accounts are all there, and
    // the deletion touched nothing of theirs.
    EXPECT_TRUE(nowOthers == expectedOthers && nowOtherSpans == expectedOtherSpans)
        << "run " << run;
    // A deletion reported done removed the records only the store had; one
    // that could not be done said so and removed nothing.
    const bool deletionKept = deleteStatus == 0
                                  ? nowLocalOnly.empty()
                                  : !deleteLog.empty() && nowLocalOnly == expectedLocalOnly;
    EXPECT_TRUE(deletionKept) << "run " << run << ": deletion status " << deleteStatus << " "
                              << deleteLog;
    deleted += deleteStatus == 0;
    refused += deleteStatus != 0;
    sound += integrity == "ok" && orphans.empty() && syncStatus == 0 &&
             nowOthers == expectedOthers && nowOtherSpans == expectedOtherSpans && deletionKept;
  }
  Figure("synchronization and account deletion at once (two processes)",
         std::to_string(sound) + " of " + std::to_string(runs) + " sound (" +
             std::to_string(deleted) + " deletions done, " + std::to_string(refused) +
             " refused with a message)");
}

TEST(Concurrency, TwoProgramsWritingTheRegistry) {
  TestEnvironment env;
  const int runs = Runs("HORALOG_CONCURRENCY_RUNS", 10);
  constexpr int kWrites = 100;
  int sound = 0;
  for (int run = 0; run < runs; ++run) {
    std::filesystem::remove(env.registryPath());
    // Each child sets values of its own and adds one to a shared counter,
    // reading and writing it in one transaction, and writes down what it
    // was told succeeded.
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
      const pid_t pid = fork();
      if (pid == 0) {
        Registry registry;
        std::ofstream done(env.dir.File("done" + std::to_string(child)));
        for (int k = 0; k < kWrites; ++k) {
          RegistryKey key = 0;
          const std::string text = std::to_string(child) + "-" + std::to_string(k);
          const bool set = registry
                               .CreateKeyPath(kHkeyCurrentUser,
                                              {"Concurrency", "P" + std::to_string(child)}, &key)
                               .ok() &&
                           registry
                               .SetValue(key, "v" + std::to_string(k), kRegSz,
                                         std::vector<uint8_t>(text.begin(), text.end()))
                               .ok();
          const bool counted =
              registry
                  .RunInTransaction([&] {
                    RegistryKey shared = 0;
                    RegistryValue value;
                    if (!registry.CreateKeyPath(kHkeyCurrentUser, {"Concurrency"}, &shared).ok())
                      return false;
                    uint32_t count = 0;
                    if (registry.QueryValue(shared, "count", &value).ok() &&
                        value.data.size() == 4) {
                      std::memcpy(&count, value.data.data(), 4);
                    }
                    ++count;
                    std::vector<uint8_t> bytes(4);
                    std::memcpy(bytes.data(), &count, 4);
                    return registry.SetValue(shared, "count", kRegDword, bytes).ok();
                  })
                  .ok();
          done << set << counted << "\n";
        }
        done.close();
        _exit(0);
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) Wait(pid);

    Registry registry;
    int reportedCounts = 0;
    bool allThere = true;
    for (int child = 0; child < 2; ++child) {
      std::istringstream done(ReadFile(env.dir.File("done" + std::to_string(child))));
      std::string line;
      for (int k = 0; std::getline(done, line); ++k) {
        reportedCounts += line.size() == 2 && line[1] == '1';
        if (line.empty() || line[0] != '1') continue;
        RegistryKey key = 0;
        RegistryValue value;
        const std::string text = std::to_string(child) + "-" + std::to_string(k);
        allThere =
            allThere &&
            registry
                .OpenKeyPath(kHkeyCurrentUser, {"Concurrency", "P" + std::to_string(child)}, &key)
                .ok() &&
            registry.QueryValue(key, "v" + std::to_string(k), &value).ok() &&
            std::string(value.data.begin(), value.data.end()).rfind(text, 0) == 0;
      }
    }
    RegistryKey shared = 0;
    RegistryValue count;
    uint32_t counted = 0;
    if (registry.OpenKeyPath(kHkeyCurrentUser, {"Concurrency"}, &shared).ok() &&
        registry.QueryValue(shared, "count", &count).ok() && count.data.size() == 4) {
      std::memcpy(&counted, count.data.data(), 4);
    }
    const std::string integrity = Integrity(env.registryPath());
    EXPECT_EQ(integrity, "ok") << "run " << run;
    EXPECT_TRUE(allThere) << "run " << run << ": a value reported written is missing";
    // Every increment reported done is in the counter, and none twice.
    EXPECT_EQ(counted, static_cast<uint32_t>(reportedCounts)) << "run " << run;
    EXPECT_EQ(reportedCounts, 2 * kWrites) << "run " << run << ": increments refused";
    sound += integrity == "ok" && allThere && counted == static_cast<uint32_t>(reportedCounts) &&
             reportedCounts == 2 * kWrites;
  }
  Figure("two programs writing the registry at once",
         std::to_string(sound) + " of " + std::to_string(runs) + " sound (" +
             std::to_string(2 * kWrites) + " values and increments each)");
}
