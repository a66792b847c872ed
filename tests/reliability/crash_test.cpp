// Programs killed with SIGKILL at random moments of their writes: a
// synchronization, an invoice run, and an import of a Windows store. After
// every kill the store must be sound, the invoiced records untouched, no
// span doubled or left without its record, nothing marked invoiced without
// its complete document, and the next complete run must give exactly what
// an uninterrupted one gives.
// HORALOG_CRASH_RUNS sets the number of kills (scripts/reliability --long).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "reliability/reliability_support.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "support/handheld_fixture.h"
#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;
using namespace reliability;

constexpr const char* kInvoicedRecords =
    "SELECT id, grpdate, acct, item, notes, invoiced, invoicedate FROM hlgroup "
    "WHERE invoiced = 1 ORDER BY id";
constexpr const char* kInvoicedSpans =
    "SELECT parent, starttime, duration FROM hltime "
    "WHERE parent IN (SELECT id FROM hlgroup WHERE invoiced = 1) ORDER BY 1, 2, 3";
constexpr const char* kDoubledSpans =
    "SELECT parent, starttime, duration FROM hltime GROUP BY 1, 2, 3 HAVING COUNT(*) > 1";
constexpr const char* kOrphanSpans =
    "SELECT parent FROM hltime WHERE parent NOT IN (SELECT id FROM hlgroup)";

// A docked handheld of 3,000 records, synchronized once, with every third
// record of the first 1,200 invoiced since (so the next run removes them
// from the handheld first). The store and image are saved for the runs.
class CrashFixture : public HandheldFixture {
 public:
  CrashFixture() {
    EXPECT_TRUE(FillBusyHandheld(image, 7));
    EXPECT_EQ(RunTool("horalog", {"sync"}).status, 0);
    RecordStore records(ReadStoreFolders());
    records.SetDeviceName("Pocket_PC");
    records.Load();
    std::vector<int32_t> ids;
    for (int32_t id = 3; id <= 1200; id += 3) ids.push_back(id);
    EXPECT_TRUE(records.MarkInvoiced(ids).empty());
    fs::copy_file(store(), dir.File("store.saved"));
    fs::copy_file(imagePath(), dir.File("image.saved"));
  }
  std::string store() const { return dataPath() + "/Pocket_PC.mdb"; }
  void PutBack() const {
    Restore({{dir.File("store.saved"), store()}, {dir.File("image.saved"), imagePath()}});
  }
  // Seconds an uninterrupted run of horalog with args takes.
  double TimedRun(const std::vector<std::string>& args) const {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Wait(Start("horalog", args, dir.File("run.log"))), 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(Crash, KilledSynchronizationLeavesAStoreTheNextRunCompletes) {
  CrashFixture env;
  const std::string invoiced = Rows(env.store(), kInvoicedRecords);
  const std::string invoicedSpans = Rows(env.store(), kInvoicedSpans);
  ASSERT_EQ(std::count(invoiced.begin(), invoiced.end(), '\n'), 400);

  // What an uninterrupted run gives, and how long it takes.
  env.PutBack();
  const double seconds = env.TimedRun({"sync"});
  const std::string expected = Dump(env.store());
  ASSERT_EQ(Rows(env.store(), kOrphanSpans), "");
  ASSERT_EQ(Rows(env.store(), "SELECT COUNT(*) FROM hlgroup"), "3000\n");

  const int runs = Runs("HORALOG_CRASH_RUNS", 50);
  std::mt19937 random(Seed());
  std::uniform_real_distribution<double> moment(0.0, seconds);
  int survived = 0, retried = 0;
  for (int run = 0; run < runs; ++run) {
    env.PutBack();
    const auto delay = std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1e6));
    retried += KillInsideARun("horalog", {"sync"}, env.dir.File("killed.log"), delay,
                              [&] { env.PutBack(); }) - 1;
    const std::string integrity = Integrity(env.store());
    const std::string nowInvoiced = Rows(env.store(), kInvoicedRecords);
    const std::string nowInvoicedSpans = Rows(env.store(), kInvoicedSpans);
    const std::string doubled = Rows(env.store(), kDoubledSpans);
    const std::string orphans = Rows(env.store(), kOrphanSpans);
    EXPECT_EQ(integrity, "ok") << "run " << run << " killed after " << delay.count() << " us";
    EXPECT_EQ(nowInvoiced, invoiced) << "run " << run;
    EXPECT_EQ(nowInvoicedSpans, invoicedSpans) << "run " << run;
    EXPECT_EQ(doubled, "") << "run " << run;
    EXPECT_EQ(orphans, "") << "run " << run;
    const int status = Wait(Start("horalog", {"sync"}, env.dir.File("after.log")));
    const std::string after = Dump(env.store());
    EXPECT_EQ(status, 0) << ReadFile(env.dir.File("after.log"));
    EXPECT_TRUE(after == expected) << "run " << run << ": the next run gave another store";
    survived += integrity == "ok" && nowInvoiced == invoiced &&
                nowInvoicedSpans == invoicedSpans && doubled.empty() && orphans.empty() &&
                status == 0 && after == expected;
  }
  Figure("synchronization killed at a random moment (SIGKILL)",
         std::to_string(survived) + " of " + std::to_string(runs) + " survived (every kill " +
             "inside a run; " + std::to_string(retried) + " tried again sooner)");
}

TEST(Crash, KilledInvoiceNeverMarksWithoutItsCompleteDocument) {
  CrashFixture env;
  env.PutBack();
  ASSERT_EQ(RunTool("horalog", {"sync"}).status, 0);
  fs::copy_file(env.store(), env.dir.File("store.saved"), fs::copy_options::overwrite_existing);
  fs::copy_file(env.imagePath(), env.dir.File("image.saved"), fs::copy_options::overwrite_existing);
  std::string account = Rows(env.store(), "SELECT name FROM accountName ORDER BY id LIMIT 1");
  account.pop_back();
  const std::string billed = Rows(
      env.store(), "SELECT id FROM hlgroup WHERE invoiced = 0 AND acct = "
                   "(SELECT id FROM accountName ORDER BY id LIMIT 1) ORDER BY id");
  ASSERT_GT(std::count(billed.begin(), billed.end(), '\n'), 300);
  const std::string reports = env.dir.File("reports");
  WriteSetupString("ReportPath", reports);
  const std::vector<std::string> invoice = {"invoice", "Pocket_PC", account, "--no-open"};
  auto marked = [&] {
    return Rows(env.store(), "SELECT id FROM hlgroup WHERE invoiced = 1 AND acct = "
                             "(SELECT id FROM accountName ORDER BY id LIMIT 1) ORDER BY id");
  };
  // A document is complete when its outermost group is closed.
  auto completeDocuments = [&] {
    int complete = 0;
    for (const auto& entry : fs::directory_iterator(reports)) {
      std::string text = ReadFile(entry.path());
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      complete += !text.empty() && text.back() == '}';
    }
    return complete;
  };

  fs::create_directories(reports);
  // A first run loads Qt's fonts for the PDF from a cold cache; the moments
  // to kill at are drawn from the length of a warm one.
  env.TimedRun(invoice);
  env.PutBack();
  fs::remove_all(reports);
  fs::create_directories(reports);
  const std::string before = marked();  // invoiced earlier
  const double seconds = env.TimedRun(invoice);
  const std::string after = marked();
  ASSERT_EQ(std::count(after.begin(), after.end(), '\n'),
            std::count(before.begin(), before.end(), '\n') + std::count(billed.begin(), billed.end(), '\n'));
  ASSERT_EQ(completeDocuments(), 1);

  const int runs = Runs("HORALOG_CRASH_RUNS", 50);
  std::mt19937 random(Seed() + 1);
  std::uniform_real_distribution<double> moment(0.0, seconds);
  int survived = 0, retried = 0, markedRuns = 0;
  auto putBack = [&] {
    env.PutBack();
    fs::remove_all(reports);
    fs::create_directories(reports);
  };
  for (int run = 0; run < runs; ++run) {
    putBack();
    const auto delay = std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1e6));
    retried += KillInsideARun("horalog", invoice, env.dir.File("killed.log"), delay, putBack) - 1;
    const std::string integrity = Integrity(env.store());
    const std::string now = marked();
    // Either nothing is marked, or everything billed is, and on a complete document.
    const bool sound =
        integrity == "ok" && (now == before || (now == after && completeDocuments() == 1));
    EXPECT_TRUE(sound) << "run " << run << " killed after " << delay.count() << " us: "
                       << integrity << ", " << std::count(now.begin(), now.end(), '\n')
                       << " marked, " << completeDocuments() << " complete documents";
    survived += sound;
    markedRuns += now != before;
  }
  Figure("invoice killed at a random moment (SIGKILL)",
         std::to_string(survived) + " of " + std::to_string(runs) + " never marked without a complete document (" +
             "every kill inside a run, " + std::to_string(retried) + " tried again sooner, " +
             std::to_string(markedRuns) + " had marked)");
}

// An import killed at a random moment leaves the store as it was or fully
// imported, never part of it, and the Windows store it read untouched.
TEST(Crash, KilledImportLeavesTheStoreAsItWasOrFullyImported) {
  StoreFixture env;
  const std::string source = env.dir.File("Pocket_PC.mdb");
  fs::copy_file(HORALOG_SOURCE_DIR "/tests/data/windows/Pocket_PC.mdb", source);
  const std::string windows = ReadFile(source);
  const std::string store = env.CreateStore("Pocket_PC");
  env.Run(store, {InsertAccountStatement(7, "Linux"),
                  InsertTimeRecordStatement(1, PackDate(2026, 1, 2), 7, 70, "made on Linux")});
  fs::copy_file(store, env.dir.File("store.saved"));
  const std::string before = Dump(store);
  const std::string kept = env.dataPath() + "/Pocket_PC.before-import.mdb";
  auto putBack = [&] {
    Restore({{env.dir.File("store.saved"), store}});
    fs::remove(kept);
    fs::remove(store + ".importing");
  };
  const std::vector<std::string> import = {"import", source, "--replace"};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Start("horalog", import, env.dir.File("run.log"))), 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string imported = Dump(store);
  ASSERT_NE(imported, before);

  const int runs = Runs("HORALOG_CRASH_RUNS", 50);
  std::mt19937 random(Seed());
  std::uniform_real_distribution<double> moment(0.0, seconds);
  int survived = 0, retried = 0;
  for (int run = 0; run < runs; ++run) {
    putBack();
    const auto delay = std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1e6));
    retried += KillInsideARun("horalog", import, env.dir.File("killed.log"), delay, putBack) - 1;
    const std::string now = Dump(store);
    const bool whole = Integrity(store) == "ok" && (now == before || now == imported);
    EXPECT_TRUE(whole) << "run " << run << " killed after " << delay.count() << " us:\n" << now;
    // The import finishes when run again (the kept store is still the old one).
    const int status =
        now == imported ? 0 : Wait(Start("horalog", import, env.dir.File("again.log")));
    EXPECT_EQ(status, 0) << ReadFile(env.dir.File("again.log"));
    EXPECT_EQ(Dump(store), imported) << "run " << run;
    EXPECT_EQ(Dump(kept), before) << "run " << run;
    const bool untouched = ReadFile(source) == windows;
    EXPECT_TRUE(untouched);
    survived += whole && status == 0 && Dump(store) == imported && untouched;
  }
  Figure("import killed at a random moment (SIGKILL)",
         std::to_string(survived) + " of " + std::to_string(runs) +
             " left the store unchanged or fully imported, the source untouched (" +
             std::to_string(retried) + " tried again sooner)");
}
