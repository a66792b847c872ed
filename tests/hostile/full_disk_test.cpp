// A disk that fills up during a synchronization: on a small real tmpfs when
// one can be mounted here, and always through a file layer that refuses
// writes after a chosen number, as a full disk does.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "hostile/hostile_support.h"
#include "store/record_store.h"
#include "support/sqlite_fault_vfs.h"

namespace {

using namespace hostile;
namespace fs = std::filesystem;

// The row of the invoiced record 1 and the number of rows of each table.
std::string InvoicedRow(const std::string& store) {
  auto rows = Rows(store,
                   "SELECT id, grpdate, acct, item, notes, invoiced, invoicedate, deleted "
                   "FROM hlgroup WHERE id = 1");
  std::string text;
  for (const auto& row : rows) {
    for (const std::string& c : row) text += c + "|";
  }
  return text;
}

// A handheld with accounts, items and records 1..records (spans each), whose
// record 1 is synchronized and invoiced, so that the store holds committed
// data the full disk must not harm. Returns the store's path.
std::string PrepareInvoicedStore(HandheldFixture& env, int records) {
  HandheldImage& hh = env.image;
  EXPECT_TRUE(hh.PutAccount(1, u"Acme").ok());
  EXPECT_TRUE(hh.PutItem(10, 1, u"Work").ok());
  EXPECT_TRUE(hh.PutRecord(1, PackDate(2026, 11, 2), 1, 10, u"billed").ok());
  EXPECT_TRUE(hh.AddSpan(1, 3600, 60).ok());
  SyncRun first;
  RunSync(env, &first);
  EXPECT_EQ(first.view.messages, std::vector<std::string>{});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_TRUE(store.MarkInvoiced(1));
  // The next run removes it from the handheld; then the new work arrives.
  SyncRun second;
  RunSync(env, &second);
  EXPECT_EQ(env.image.RecordCount("HLGroup"), 0);
  std::u16string note(250, u'\u00e9');
  EXPECT_TRUE(
      hh.Batch([&] {
          for (int32_t id = 2; id <= records + 1; ++id) {
            if (!hh.PutAccount(100 + id % 7, u"Account " + std::u16string(1, u'A' + id % 7)).ok() ||
                !hh.PutRecord(id, PackDate(2026, 12, 1 + id % 28), 1, 10, note).ok() ||
                !hh.AddSpan(id, 3600, 15).ok() || !hh.AddSpan(id, 7200, 30).ok()) {
              return false;
            }
          }
          return true;
        }).ok());
  return first.storePath;
}

// Messages that say the synchronization did not copy everything.
bool SaysItFailed(const SyncRun& run) {
  for (const std::string& m : run.view.messages) {
    if (m.rfind("Synchronization Error: ", 0) == 0 || m.rfind("Database Error: ", 0) == 0) {
      return true;
    }
  }
  return false;
}

// A tmpfs of size bytes mounted on folder for the object's life.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const std::string& size) : folder_(folder) {
    fs::create_directories(folder);
    if (::geteuid() != 0) {
      why_ = "mounting needs root";
      return;
    }
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    if (!mounted_) why_ = std::string("mount -t tmpfs failed: ") + std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace

// For every point at which the disk may fill (after 0, 1, 2 ... writes to
// the store), the synchronization says it failed, the store passes SQLite's
// integrity check with the invoiced record as it was, and the next run on
// a disk with room copies everything.
TEST(HostileFullDisk, SynchronizationIntoAStoreThatFillsUpMidWay) {
  HandheldFixture env;
  const int records = 40;
  const std::string store = PrepareInvoicedStore(env, records);
  const std::string base = ReadFile(store);
  const std::string invoiced = InvoicedRow(store);
  ASSERT_NE(invoiced, "");

  int refusedRuns = 0;
  bool reachedTheEnd = false;
  for (int64_t allowed : {0, 1, 2, 3, 4, 6, 9, 14, 20, 30, 50, 80, 120, 200, 400, 1000}) {
    SCOPED_TRACE("writes allowed: " + std::to_string(allowed));
    WriteFile(store, base);
    fs::remove(store + "-journal");
    SyncRun run;
    int64_t refused = 0;
    {
      SqliteFaultVfs full("Pocket_PC.mdb", allowed);
      ASSERT_TRUE(full.ok());
      RunSync(env, &run);
      refused = full.refused();
    }
    EXPECT_EQ(Value(store, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(InvoicedRow(store), invoiced);
    if (refused > 0) {
      ++refusedRuns;
      EXPECT_TRUE(SaysItFailed(run)) << "the disk was full and nothing was said";
    } else {
      reachedTheEnd = true;
      EXPECT_EQ(run.view.messages, std::vector<std::string>{});
    }
    // With room again, everything arrives.
    SyncRun again;
    RunSync(env, &again);
    EXPECT_EQ(again.view.messages, std::vector<std::string>{});
    EXPECT_EQ(Value(store, "SELECT count(*) FROM hlgroup"), std::to_string(records + 1));
    EXPECT_EQ(Value(store, "SELECT count(*) FROM hltime"), std::to_string(2 * records + 1));
    EXPECT_EQ(Value(store, "SELECT count(*) FROM accountname"), "8");
    EXPECT_EQ(InvoicedRow(store), invoiced);
  }
  EXPECT_GT(refusedRuns, 3);
  EXPECT_TRUE(reachedTheEnd) << "no run had room enough: raise the largest count";
}

// The same on a real file system of 512 KiB, when this machine lets the
// test mount one (root, and mounting allowed in this container).
TEST(HostileFullDisk, SynchronizationOntoASmallTmpfs) {
  HandheldFixture env;
  SmallDisk disk(env.dir.File("small"), "512k");
  if (!disk.mounted()) GTEST_SKIP() << disk.why();
  WriteSetupString("DataPath", env.dir.File("small"));
  // About 500 bytes a record: 3000 of them cannot fit.
  const int records = 3000;
  const std::string store = PrepareInvoicedStore(env, records);
  ASSERT_EQ(fs::path(store).parent_path(), env.dir.File("small"));
  const std::string invoiced = InvoicedRow(store);
  ASSERT_NE(invoiced, "");

  SyncRun run;
  RunSync(env, &run);
  EXPECT_TRUE(SaysItFailed(run)) << "the disk was full and nothing was said";
  EXPECT_EQ(Value(store, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(InvoicedRow(store), invoiced);
  const int copied = std::stoi(Value(store, "SELECT count(*) FROM hlgroup"));
  EXPECT_LT(copied, records + 1);
  // Every record stored has its spans: none are half copied.
  EXPECT_EQ(Value(store,
                  "SELECT count(*) FROM hlgroup g WHERE id > 1 AND (SELECT count(*) FROM "
                  "hltime t WHERE t.parent = g.id) NOT IN (0, 2)"),
            "0");
  // The handheld keeps every record that did not fit.
  EXPECT_EQ(env.image.RecordCount("HLGroup"), records);
}
