// How long loading a large store takes: 100,000 time records and 300,000
// spans, against SQLite stepping through the same rows alone.
// With --keep the store is left in place (under HORALOG_BENCH_DIR) for the
// memory measurement of scripts/bench.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/sqlite_statement.h"
#include "store/record_store.h"
#include "store/records.h"
#include "store/table_command.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kSpansPerRecord = 3;

// Ten accounts of five items each; records spread over four years.
void MakeStore(const std::string& path) {
  bench::MakeRecordStore(
      path, kRecords, "INSERT INTO hlgroup VALUES (?, ?, ?, ?, ?, ?, 2.0, ?)",
      [](SqliteStatement& record, int id) {
        const int day = id % 1400;
        const int account = 1 + id % 10;
        record.BindInt64(1, id);
        record.BindInt64(2, PackDate(2023 + day / 350, 1 + (day / 28) % 12, 1 + day % 28));
        record.BindInt64(3, account);
        record.BindInt64(4, account * 10 + id % 5);
        record.BindText(
            5, "Worked on the quarterly figures, call with the client " + std::to_string(id));
        const bool invoiced = id % 3 != 0;
        record.BindInt64(6, invoiced);
        record.BindInt64(7, invoiced);
      },
      kSpansPerRecord, 15);
}

volatile uint64_t gSink;

// The limit: each table's rows stepped through by SQLite with the same
// SELECT as Load, every column read once with the cheapest accessor for what
// it holds (an integer as an integer, the date as a double, a text as a
// pointer and its length), nothing checked, converted or kept. Load cannot
// do less.
size_t BareScan(const std::string& path) {
  SqliteConnection db;
  db.Open(path, false);
  db.Exec("BEGIN");
  size_t rows = 0;
  uint64_t sum = 0;
  // What each column holds, in the SELECT's order: an integer, a text or
  // the date.
  const std::pair<StoreTable, const char*> tables[] = {{StoreTable::AccountName, "it"},
                                                       {StoreTable::ItemName, "iit"},
                                                       {StoreTable::HlGroup, "iiiitidi"},
                                                       {StoreTable::HlTime, "iii"}};
  for (const auto& [table, kinds] : tables) {
    SqliteStatement s;
    s.Prepare(db, TableCommand::DefaultCommandText(table));
    sqlite3_stmt* stmt = s.handle();
    const int columns = static_cast<int>(std::strlen(kinds));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      ++rows;
      for (int c = 0; c < columns; ++c) {
        switch (kinds[c]) {
          case 'i': sum += static_cast<uint64_t>(sqlite3_column_int64(stmt, c)); break;
          case 'd': sum += static_cast<uint64_t>(sqlite3_column_double(stmt, c)); break;
          default:
            sum += reinterpret_cast<uintptr_t>(sqlite3_column_text(stmt, c)) +
                   static_cast<uint64_t>(sqlite3_column_bytes(stmt, c));
        }
      }
    }
  }
  db.Exec("COMMIT");
  gSink = sum;  // kept, so the reads are not left out
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1 && std::strcmp(argv[1], "--keep") == 0;
  const std::filesystem::path dir = bench::MakeBenchDir("horalog-bench-load");
  const std::string path = (dir / "stores" / "Big.mdb").string();
  MakeStore(path);

  size_t loaded = 0, scanned = 0;
  // The main window keeps one store and loads it again after every change
  // (a synchronization, a mark, a refresh); a new store is loaded once, when
  // the program starts, into fresh memory. A turn of the three takes about
  // 0.2 s, and the machine's speed drifts between turns: 31 of them keep
  // one run's median within a few hundredths of the next.
  RecordStore window(ReadStoreFolders());
  window.SetDeviceName("Big");
  window.Load();
  std::unique_ptr<RecordStore> fresh;
  const std::vector<std::vector<double>> times =
      bench::TimesInTurn(31, {{nullptr,
                               [&] {
                                 window.Load();
                                 loaded = window.timeRecords().size() + window.timeSpans().size();
                               }},
                              {[&] {
                                 // The last turn's store goes before the clock starts.
                                 fresh = std::make_unique<RecordStore>(ReadStoreFolders());
                                 fresh->SetDeviceName("Big");
                               },
                               [&] { fresh->Load(); }},
                              {nullptr, [&] { scanned = BareScan(path); }}});
  std::printf("loaded %zu records and spans; scanned %zu rows\n", loaded, scanned);
  if (loaded != kRecords * (1 + kSpansPerRecord)) return 1;
  if (scanned != loaded + 60) return 1;  // and 10 accounts, 50 items
  bench::FigureAgainstLimitInTurns("Load again, 100,000 records + 300,000 spans", times[0],
                                   times[2], 1.15);
  bench::FigureAgainstLimitInTurns("Load into a new store, 100,000 records + 300,000 spans",
                                   times[1], times[2], 1.15);
  if (keep) {
    std::printf("kept: %s\n", dir.c_str());
  } else {
    std::filesystem::remove_all(dir);
  }
  return 0;
}
