// How long loading a large store takes: 100,000 time records and 300,000
// spans, against a bare scan of the same four tables into plain vectors.
// With --keep the store is left in place (under HORALOG_BENCH_DIR) for the
// memory measurement of scripts/bench.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/sqlite_statement.h"
#include "platform/sqlite_transaction.h"
#include "store/record_store.h"
#include "store/records.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kSpansPerRecord = 3;

// Ten accounts of five items each; records spread over four years.
void MakeStore(const std::string& path) {
  SqliteConnection db;
  bench::MakeEmptyStore(path, &db);
  SqliteTransaction transaction(db);
  bench::AddClientsAndTasks(db);
  SqliteStatement record, span;
  record.Prepare(db, "INSERT INTO hlgroup VALUES (?, ?, ?, ?, ?, ?, 2.0, ?)");
  span.Prepare(db, "INSERT INTO hltime VALUES (?, ?, ?)");
  for (int id = 1; id <= kRecords; ++id) {
    const int day = id % 1400;
    const int account = 1 + id % 10;
    record.BindInt64(1, id);
    record.BindInt64(2, PackDate(2023 + day / 350, 1 + (day / 28) % 12, 1 + day % 28));
    record.BindInt64(3, account);
    record.BindInt64(4, account * 10 + id % 5);
    record.BindText(5, "Worked on the quarterly figures, call with the client " + std::to_string(id));
    const bool invoiced = id % 3 != 0;
    record.BindInt64(6, invoiced);
    record.BindInt64(7, invoiced);
    record.Step();
    record.Reset();
    for (int k = 0; k < kSpansPerRecord; ++k) {
      bench::InsertRow(span, {id, 3600 * (8 + 2 * k), 15 + k * 20});
    }
  }
  transaction.Commit();
}

struct PlainRecord {
  int64_t id, grpdate, acct, item;
  std::string notes;
  int64_t invoiced;
  double invoicedate;
  int64_t deleted;
};
struct PlainSpan {
  int64_t parent, starttime, duration;
};
struct PlainName {
  int64_t id, parent;
  std::string name;
};

// The limit: each table's rows straight into vectors, nothing else.
size_t BareScan(const std::string& path) {
  SqliteConnection db;
  db.Open(path, false);
  db.Exec("BEGIN");
  std::vector<PlainName> accounts, items;
  std::vector<PlainRecord> records;
  std::vector<PlainSpan> spans;
  SqliteStatement s;
  s.Prepare(db, "SELECT id, name FROM accountName");
  while (s.Step() == SQLITE_ROW) accounts.push_back({s.ColumnInt64(0), 0, s.ColumnText(1)});
  s.Prepare(db, "SELECT id, parent, name FROM itemName");
  while (s.Step() == SQLITE_ROW) {
    items.push_back({s.ColumnInt64(0), s.ColumnInt64(1), s.ColumnText(2)});
  }
  s.Prepare(db,
            "SELECT id, grpdate, acct, item, notes, invoiced, invoicedate, deleted FROM hlgroup");
  while (s.Step() == SQLITE_ROW) {
    records.push_back({s.ColumnInt64(0), s.ColumnInt64(1), s.ColumnInt64(2), s.ColumnInt64(3),
                       s.ColumnText(4), s.ColumnInt64(5), s.ColumnDouble(6), s.ColumnInt64(7)});
  }
  s.Prepare(db, "SELECT parent, starttime, duration FROM hltime");
  while (s.Step() == SQLITE_ROW) spans.push_back({s.ColumnInt64(0), s.ColumnInt64(1), s.ColumnInt64(2)});
  s.Finalize();
  db.Exec("COMMIT");
  return accounts.size() + items.size() + records.size() + spans.size();
}

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1 && std::strcmp(argv[1], "--keep") == 0;
  const std::filesystem::path dir = bench::MakeBenchDir("horalog-bench-load");
  const std::string path = (dir / "stores" / "Big.mdb").string();
  MakeStore(path);

  size_t loaded = 0, scanned = 0;
  const std::vector<double> best = bench::BestInTurn(
      9, {{nullptr,
           [&] {
             RecordStore store(ReadStoreFolders());
             store.SetDeviceName("Big");
             store.Load();
             loaded = store.timeRecords().size() + store.timeSpans().size();
           }},
          {nullptr, [&] { scanned = BareScan(path); }}});
  const double load = best[0], bare = best[1];
  std::printf("loaded %zu records and spans; scanned %zu rows\n", loaded, scanned);
  if (loaded != kRecords * (1 + kSpansPerRecord)) return 1;
  bench::FigureAgainstLimit("Load, 100,000 records + 300,000 spans", load, bare, 1.2);
  if (keep) {
    std::printf("kept: %s\n", dir.c_str());
  } else {
    std::filesystem::remove_all(dir);
  }
  return 0;
}
