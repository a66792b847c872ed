// How long importing a Windows store of 65,535 records and 131,070 spans
// takes (reading it through mdbtools, checking every value, writing the
// store), against a bulk insert of the same rows, already in memory, into
// SQLite in one transaction by one prepared statement a table (the import's
// own writer, so the ratio is what reading and checking the file add). The store is made by
// tests/data/windows/make-stores DIR bench (Jackcess needs a JDK); its path is
// HORALOG_WINDOWS_BENCH_STORE.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "platform/file_system.h"
#include "store/windows_store_import.h"
#include "store/windows_store_reader.h"

int main() {
  const char* source = std::getenv("HORALOG_WINDOWS_BENCH_STORE");
  if (source == nullptr || !std::filesystem::exists(source)) {
    std::printf(
        "import_bench: not run: no HORALOG_WINDOWS_BENCH_STORE (made by "
        "tests/data/windows/make-stores DIR bench, which needs a JDK)\n");
    return 0;
  }
  const std::filesystem::path dir = bench::MakeBenchDir("horalog-bench-import");
  const std::string stores = (dir / "stores").string();
  const std::string store = stores + "/Bench.mdb";
  const std::string bulk = stores + "/Bulk.mdb";
  WindowsStoreRows rows;
  const Status read = WindowsStoreReader().Read(source, &rows);
  if (!read.ok() || rows.records.size() != 65535 || rows.spans.size() != 131070) {
    std::fprintf(stderr, "import_bench: %s is not the benchmark store: %s\n", source,
                 read.message().c_str());
    return 1;
  }
  const WindowsStoreImport importer(ReadStoreFolders());
  bool imported = true;
  const std::vector<std::vector<double>> times = bench::TimesInTurn(
      5, {{[&] { std::filesystem::remove(store); },
           [&] {
             imported &= importer.Run({source, "Bench", false, "CP1252"}).status.ok();
           }},
          {[&] {
             std::filesystem::remove(bulk);
             CopyFileNoOverwrite(std::string(HORALOG_TEMPLATE_DIR) + "/HR_Template.mdb", bulk);
           },
           [&] { imported &= WriteImportedRows(bulk, rows).ok(); }}});
  if (!imported) {
    std::fprintf(stderr, "import_bench: the import failed\n");
    return 1;
  }
  bench::FigureAgainstLimitInTurns("import, 65,535 records + 131,070 spans", times[0], times[1],
                                   3.0);
  std::filesystem::remove_all(dir);
  return 0;
}
