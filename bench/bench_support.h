// What the benchmarks share: a folder of their own with a registry and a
// data folder, stores made straight from the schema, timing, and the figure
// lines that scripts/bench gathers into its table.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "platform/sqlite_transaction.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "sync/sync_view.h"

namespace bench {

// A synchronization view that shows nothing but messages, which it counts.
class QuietView : public SyncView {
 public:
  void SetStatus(const std::string&) override {}
  void SetProgress(int) override {}
  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string& text, const std::string&) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    ++messages;
  }
  void PumpMessages() override {}
  void Beep() override {}
  int messages = 0;
};

inline void SetString(const std::string& path, const std::string& name, const std::string& value) {
  RegistryKeyStack keys;
  keys.CreatePath(path);
  keys.SetString(name, value);
  keys.CloseAll();
}

// A fresh folder under the temporary folder (or HORALOG_BENCH_DIR) with a
// registry, a data folder "stores" and a report folder "reports"; the
// template store comes from the build.
inline std::filesystem::path MakeBenchDir(const std::string& name) {
  const char* base = std::getenv("HORALOG_BENCH_DIR");
  const std::filesystem::path dir =
      std::filesystem::path(base ? base : std::filesystem::temp_directory_path().string()) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "stores");
  std::filesystem::create_directories(dir / "reports");
  setenv("HORALOG_REGISTRY", (dir / "registry.db").c_str(), 1);
  setenv("LC_ALL", "en_US.UTF-8", 1);
  setenv("TZ", "UTC", 1);
  SetString(kSetupKeyPath, "DataPath", (dir / "stores").string());
  SetString(kSetupKeyPath, "ExecPath", HORALOG_TEMPLATE_DIR);
  SetString(kSetupKeyPath, "ReportPath", (dir / "reports").string());
  return dir;
}

// An empty store at path, made from the schema.
inline void MakeEmptyStore(const std::string& path, SqliteConnection* db) {
  std::filesystem::remove(path);
  db->Open(path, true);
  std::string schema;
  FILE* in = std::fopen(HORALOG_SCHEMA, "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) schema.append(buffer, n);
  std::fclose(in);
  db->Exec(schema);
}

// Ten accounts "Client 1".."Client 10", each with five items "Task 0".."Task 4"
// whose ids are account * 10 + 0..4.
inline void AddClientsAndTasks(SqliteConnection& db) {
  for (int account = 1; account <= 10; ++account) {
    db.Exec("INSERT INTO accountName VALUES (" + std::to_string(account) + ", 'Client " +
            std::to_string(account) + "')");
    for (int item = 0; item < 5; ++item) {
      db.Exec("INSERT INTO itemName VALUES (" + std::to_string(account * 10 + item) + ", " +
              std::to_string(account) + ", 'Task " + std::to_string(item) + "')");
    }
  }
}

// Binds values to statement's parameters in order, runs it and resets it:
// one row of a store being filled.
inline void InsertRow(SqliteStatement& statement, std::initializer_list<int64_t> values) {
  int index = 1;
  for (int64_t value : values) statement.BindInt64(index++, value);
  statement.Step();
  statement.Reset();
}

// A store at path with AddClientsAndTasks' accounts and items and records
// 1..records, made in one transaction: recordSql inserts a record, whose
// columns bind binds for its id; each record has spans spans starting at
// 8:00, 10:00... of firstMinutes, firstMinutes + 20... minutes.
inline void MakeRecordStore(const std::string& path, int records, const char* recordSql,
                            const std::function<void(SqliteStatement&, int)>& bind, int spans,
                            int firstMinutes) {
  SqliteConnection db;
  MakeEmptyStore(path, &db);
  SqliteTransaction transaction(db);
  AddClientsAndTasks(db);
  SqliteStatement record, span;
  record.Prepare(db, recordSql);
  span.Prepare(db, "INSERT INTO hltime VALUES (?, ?, ?)");
  for (int id = 1; id <= records; ++id) {
    bind(record, id);
    record.Step();
    record.Reset();
    for (int k = 0; k < spans; ++k) {
      InsertRow(span, {id, 3600 * (8 + 2 * k), firstMinutes + k * 20});
    }
  }
  transaction.Commit();
}

// Seconds one call of body takes; best of runs, so a busy moment of the
// machine does not count. prepare runs before each call, untimed.
inline double BestSeconds(int runs, const std::function<void()>& prepare,
                          const std::function<void()>& body) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    if (prepare) prepare();
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(end - start).count());
  }
  return best;
}

// One measured run: what it needs first (untimed), and what is timed.
struct Timed {
  std::function<void()> prepare;
  std::function<void()> body;
};

// Runs each of timed in turn, runs times over; each one's times, turn by
// turn. A figure and its limit taken in turns meet the same slow spells of a
// shared machine, where taken one after the other they would not.
inline std::vector<std::vector<double>> TimesInTurn(int runs, const std::vector<Timed>& timed) {
  std::vector<std::vector<double>> times(timed.size());
  for (int run = 0; run < runs; ++run) {
    for (size_t k = 0; k < timed.size(); ++k) {
      times[k].push_back(BestSeconds(1, timed[k].prepare, timed[k].body));
    }
  }
  return times;
}

// The middle of values (the mean of the two middle ones for an even count).
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline std::string Ms(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
  return text;
}

// One line of the table: name, figure, limit, ratio, target, met or missed.
// A figure compared with a limit measured in the same run (or, for growth,
// the figure for twice the data against the figure for once).
inline void FigureAgainstLimit(const std::string& name, double seconds, double limitSeconds,
                               double maxRatio) {
  const double ratio = seconds / limitSeconds;
  char target[32];
  std::snprintf(target, sizeof target, "<= %.1f x", maxRatio);
  std::printf("FIGURE\t%s\t%s\t%s\t%.2f x\t%s\t%s\n", name.c_str(), Ms(seconds).c_str(),
              Ms(limitSeconds).c_str(), ratio, target, ratio <= maxRatio ? "met" : "missed");
}

// A figure against its limit timed in the same turns: the medians of both,
// the median of the ratio turn by turn, and its spread (lowest to highest),
// which says how far one run's figure could stray. Each turn's figure and
// limit are timed moments apart, so their ratio takes out what the machine's
// speed does from turn to turn; the ratio of the two medians would not (the
// middle turns of the two can lie in a slow moment and a fast one).
inline void FigureAgainstLimitInTurns(const std::string& name, const std::vector<double>& times,
                                      const std::vector<double>& limitTimes, double maxRatio) {
  std::vector<double> ratios;
  for (size_t k = 0; k < times.size() && k < limitTimes.size(); ++k) {
    ratios.push_back(times[k] / limitTimes[k]);
  }
  const double value = Median(times), limit = Median(limitTimes), ratio = Median(ratios);
  std::printf(
      "%s: %zu turns, ratio turn by turn %.2f-%.2f x (median %.2f x; of the medians %.2f x)\n",
      name.c_str(), ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
      *std::max_element(ratios.begin(), ratios.end()), ratio, value / limit);
  char target[32];
  std::snprintf(target, sizeof target, "<= %.2f x", maxRatio);
  std::printf("FIGURE\t%s (median of %zu)\t%s\t%s\t%.2f x (%.2f-%.2f)\t%s\t%s\n", name.c_str(),
              times.size(), Ms(value).c_str(), Ms(limit).c_str(), ratio,
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()), target,
              ratio <= maxRatio ? "met" : "missed");
}

// A figure with a fixed ceiling.
inline void FigureUnder(const std::string& name, double seconds, double ceilingSeconds) {
  std::printf("FIGURE\t%s\t%s\t-\t-\t< %s\t%s\n", name.c_str(), Ms(seconds).c_str(),
              Ms(ceilingSeconds).c_str(), seconds < ceilingSeconds ? "met" : "missed");
}

}  // namespace bench
