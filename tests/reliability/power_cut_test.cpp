// Power cuts at random writes and syncs during the operations that write a
// store or the registry. After each, the files as a disk would hold them must
// open as sound databases holding every committed step whole and nothing of
// an uncommitted one, and the next synchronization must complete exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "emulator/emulated_handheld.h"
#include "maint/maintenance_model.h"
#include "reliability/reliability_support.h"
#include "settings/account_settings.h"
#include "settings/registry.h"
#include "support/handheld_fixture.h"
#include "support/recording_sync_view.h"
#include "support/sqlite_fault_vfs.h"
#include "sync/synchronizer.h"

using namespace reliability;

namespace {

namespace fs = std::filesystem;

// Called between an operation's committed steps.
std::function<void()> gCheckpoint;

class CheckpointView : public RecordingSyncView {
 public:
  void SetProgress(int position) override {
    RecordingSyncView::SetProgress(position);
    if (gCheckpoint) gCheckpoint();
  }
};

// A synchronized handheld with open and invoiced records, its files saved.
class PowerCutFixture : public HandheldFixture {
 public:
  PowerCutFixture() {
    HandheldGenerateOptions options;
    options.records = 40;
    options.spansPerRecord = 2;
    options.accounts = 3;
    options.itemsPerAccount = 2;
    EXPECT_TRUE(image.Generate(options).ok());
    store = CreateStore("Pocket_PC");
    EXPECT_TRUE(Synchronize().empty());
    RecordStore loaded(ReadStoreFolders());
    loaded.SetDeviceName("Pocket_PC");
    loaded.Load();
    EXPECT_TRUE(loaded.MarkInvoiced(std::vector<int32_t>{3, 4, 5}).empty());
    // New work on the handheld for the next run to bring in.
    EXPECT_TRUE(image.PutRecord(41, PackDate(2026, 12, 7), 1, 1, u"new").ok());
    EXPECT_TRUE(image.AddSpan(41, 3600, 30).ok());
    for (const std::string& file : {store, imagePath(), registryPath()}) {
      fs::copy_file(file, file + ".saved", fs::copy_options::overwrite_existing);
    }
  }
  void PutBack() {
    Restore({{store + ".saved", store},
             {imagePath() + ".saved", imagePath()},
             {registryPath() + ".saved", registryPath()}});
  }
  // A full run on the docked image; the messages it showed.
  std::vector<std::string> Synchronize() {
    CheckpointView view;
    EmulatedHandheld handheld(dockPath());
    RapiInit init;
    if (handheld.CeRapiInitEx(&init) != 0 || !init.heRapiInit->Wait(5000)) return {"no handheld"};
    Synchronizer sync(handheld, view, "Pocket_PC", store);
    sync.CleanDevice();
    sync.Synchronize();
    handheld.CeRapiUninit();
    return view.messages;
  }
  std::string store;
};

struct Operation {
  const char* name;
  const char* watched;  // the file the cuts fall on
  std::function<void(PowerCutFixture&)> run;
  std::function<std::string(PowerCutFixture&)> state;
};

std::string RegistryState(PowerCutFixture& env) {
  Registry registry(env.registryPath());
  RegistryKey key = 0;
  if (!registry
           .OpenKeyPath(kHkeyCurrentUser, {"SOFTWARE", "Brackwell", "Horalog", "Accts", "Acme"},
                        &key)
           .ok()) {
    return "no key";
  }
  std::vector<RegistryValue> values;
  if (!registry.ListValues(key, &values).ok()) return "";
  std::string text;
  for (const RegistryValue& v : values)
    text += v.name + "=" + std::string(v.data.begin(), v.data.end()) + "\n";
  return text;
}

const Operation kOperations[] = {
    {"synchronization", "Pocket_PC.mdb", [](PowerCutFixture& env) { env.Synchronize(); },
     [](PowerCutFixture& env) { return Dump(env.store); }},
    {"invoice marking", "Pocket_PC.mdb",
     [](PowerCutFixture&) {
       RecordStore store(ReadStoreFolders());
       store.SetDeviceName("Pocket_PC");
       store.Load();
       store.MarkInvoiced(std::vector<int32_t>{10, 11, 12, 13, 14, 15});
     },
     [](PowerCutFixture& env) { return Dump(env.store); }},
    {"account deletion", "Pocket_PC.mdb",
     [](PowerCutFixture& env) {
       env.ui.answer = MessageAnswer::Yes;
       MaintenanceModel model;
       model.Open();
       model.SelectAccount(0);
       model.DeleteAccount();
     },
     [](PowerCutFixture& env) { return Dump(env.store); }},
    {"registry writes", "registry.db",
     [](PowerCutFixture& env) {
       Registry registry(env.registryPath());
       registry
           .RunInTransaction([&] {
             RegistryKey key = 0;
             return registry
                        .CreateKeyPath(kHkeyCurrentUser,
                                       {"SOFTWARE", "Brackwell", "Horalog", "Accts", "Acme"}, &key)
                        .ok() &&
                    registry.SetValue(key, "Rate", kRegSz, {'4', '5'}).ok() &&
                    registry.SetValue(key, "Atom", kRegSz, {'1', '5'}).ok() &&
                    registry.SetValue(key, "Round", kRegSz, {'1'}).ok();
           })
           .ok();
     },
     RegistryState},
};

// The operation's name in the tests' listing.
void PrintTo(const Operation& op, std::ostream* out) { *out << op.name; }

class PowerCut : public ::testing::TestWithParam<Operation> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(, PowerCut, ::testing::ValuesIn(kOperations), [](const auto& info) {
  std::string name = info.param.name;
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

TEST_P(PowerCut, EveryCommittedStepSurvivesAndNothingHalfDone) {
  const Operation& op = GetParam();
  PowerCutFixture env;
  // The states an uninterrupted run passes through, and its writes and syncs.
  env.PutBack();
  std::vector<std::string> states{op.state(env)};
  int64_t operations = 0;
  {
    SqlitePowerCut counting(op.watched, 0, 0);
    ASSERT_TRUE(counting.ok());
    gCheckpoint = [&] { states.push_back(op.state(env)); };
    op.run(env);
    gCheckpoint = nullptr;
    operations = counting.operations();
  }
  states.push_back(op.state(env));
  ASSERT_GT(operations, 2);
  const std::vector<std::string> settled = env.Synchronize();
  const std::string finalState = Dump(env.store);

  const int cuts = Runs("HORALOG_POWER_CUTS", 100);
  std::mt19937 random(Seed());
  int intact = 0;
  for (int run = 0; run < cuts; ++run) {
    env.PutBack();
    // One moment in every operations + 1 is just after the operation ended.
    const int64_t cutAt = std::uniform_int_distribution<int64_t>(1, operations + 1)(random);
    size_t passed = 0;  // committed steps before the cut
    {
      SqlitePowerCut power(op.watched, cutAt, random());
      gCheckpoint = [&] { passed += power.cut() ? 0 : 1; };
      op.run(env);
      gCheckpoint();  // the end is a step too: what was done before it stays
      gCheckpoint = nullptr;
      power.Cut();
      EXPECT_TRUE(power.Recover());
    }
    const std::string integrity =
        Integrity(op.watched == std::string("registry.db") ? env.registryPath() : env.store);
    const std::string state = op.state(env);
    // The last step committed before the cut, or the one under way.
    const bool whole =
        state == states[passed] || (passed + 1 < states.size() && state == states[passed + 1]);
    EXPECT_EQ(integrity, "ok") << "run " << run << " cut at " << cutAt;
    EXPECT_TRUE(whole) << "run " << run << " cut at " << cutAt << " after " << passed << " steps:\n"
                       << state;
    bool next = true;
    if (op.watched == std::string("Pocket_PC.mdb")) {
      const std::vector<std::string> messages = env.Synchronize();
      next = messages.empty() && Integrity(env.store) == "ok";
      if (std::string(op.name) == "synchronization") next = next && Dump(env.store) == finalState;
      EXPECT_TRUE(next) << "run " << run << ": the next synchronization did not complete exactly";
    }
    intact += integrity == "ok" && whole && next;
  }
  EXPECT_TRUE(settled.empty());
  Figure(std::string("power cut during ") + op.name,
         std::to_string(intact) + " of " + std::to_string(cuts) + " intact");
}
