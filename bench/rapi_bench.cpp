// What a real handheld's link costs: a full handheld synchronized through the
// RAPI library from the image served on loopback, beside the same run made
// directly from the image; the round trips a record takes (the server counts
// them); and a small handheld over a link of 1 ms a round trip, beside the
// least that many round trips can take with the synchronization's own work;
// and the full handheld docked as on USB, through SynCE's connection manager
// over a veth link (tests/support/dccm_dock.sh), beside the same command on
// the image. Listens on port 990 and makes a link: run as root or in a user
// and network namespace (scripts/bench does).
#include <sqlite3.h>

#include <cstdio>

#if HORALOG_HAVE_RAPI

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "bench/bench_support.h"
#include "emulator/docked_handheld.h"
#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "emulator/rapi_server.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "rapi/rapi_handheld.h"
#include "sync/sync_procedure.h"

namespace {

bool MakeImage(const std::string& path, int64_t records) {
  if (!HandheldImage::Create(path, u"Bench", u"Jane Doe", true).ok()) return false;
  HandheldImage image(path);
  HandheldGenerateOptions options;
  options.records = records;
  options.spansPerRecord = 1;
  return image.Generate(options).ok();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The time records in the store at path.
int64_t TimeRecords(const std::string& path) {
  SqliteConnection db;
  SqliteStatement count;
  if (db.Open(path, false) != SQLITE_OK ||
      count.Prepare(db, "SELECT count(*) FROM hltime") != SQLITE_OK || count.Step() != SQLITE_ROW) {
    return -1;
  }
  return count.ColumnInt64(0);
}

// `horalog sync` of the handheld named by HORALOG_HANDHELD, as a process of
// its own (this one keeps off the system bus, whose end would end it).
bool HoralogSync(const std::string& handheld) {
  setenv("HORALOG_HANDHELD", handheld.c_str(), 1);
  const std::string command = std::string(HORALOG_BIN_DIR) + "/horalog sync >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// The full handheld image docked through dccm: its time against the same
// command on the image, and the round trips per record the server counted.
bool ThroughDccm(const std::filesystem::path& dir, const std::string& image,
                 const std::string& store, double records) {
  const std::string script = std::string(HORALOG_SOURCE_DIR) + "/tests/support/dccm_dock.sh";
  const std::string dock = (dir / "dock").string();
  setenv("HORALOG_BIN_DIR", HORALOG_BIN_DIR, 1);
  setenv("HORALOG_SYNCE_PREFIX", HORALOG_SYNCE_PREFIX, 1);
  if (std::system((script + " start " + dock + " " + image + " >/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "cannot dock through dccm (see %s)\n", dock.c_str());
    return false;
  }
  std::istringstream env(ReadFile(dock + "/env"));
  std::string servePid;
  for (std::string line; std::getline(env, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    if (name == "DCCM_DOCK_SERVE_PID") servePid = value;
    if (!name.starts_with("DCCM_DOCK_")) setenv(name.c_str(), value.c_str(), 1);
  }
  bool complete = true;
  const int runs = 2;
  auto removeStore = [&] { std::filesystem::remove(store); };
  const double direct = bench::BestSeconds(runs, removeStore, [&] {
    complete = HoralogSync(image) && TimeRecords(store) == 65535 && complete;
  });
  const double through = bench::BestSeconds(runs, removeStore, [&] {
    complete = HoralogSync(kRapiHandheld) && TimeRecords(store) == 65535 && complete;
  });
  // The server tells its round trips as it ends.
  std::system(("kill -TERM " + servePid + " && sleep 1").c_str());
  std::smatch served;
  const std::string log = ReadFile(dock + "/serve.log");
  const bool counted = std::regex_search(log, served, std::regex("in ([0-9]+) round trips"));
  std::system((script + " stop " + dock).c_str());
  if (!complete || !counted) {
    std::fprintf(stderr, "the synchronization through dccm was not complete: %s\n", log.c_str());
    return false;
  }
  const double perRecord = std::stod(served[1]) / runs / records;
  std::printf(
      "FIGURE\tround trips per record, full handheld through dccm\t%.3f\t-\t-\t<= 1.05\t%s\n",
      perRecord, perRecord <= 1.05 ? "met" : "missed");
  bench::FigureAgainstLimit("full sync through dccm over a veth link vs direct", through, direct,
                            3);
  return true;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = bench::MakeBenchDir("horalog-bench-rapi");
  const std::string image = (dir / "handheld.hhd").string();
  const std::string small = (dir / "small.hhd").string();
  if (!MakeImage(image, 65535) || !MakeImage(small, 1000)) {
    std::fprintf(stderr, "cannot fill the handheld images\n");
    return 1;
  }
  setenv("SYNCE_CONF_DIR", (dir / "synce").c_str(), 1);
  const std::string store = (dir / "stores" / "Bench.mdb").string();
  bench::QuietView view;
  auto removeStore = [&] { fs::remove(store); };

  auto directly = [&](const std::string& docked) {
    setenv("HORALOG_HANDHELD", docked.c_str(), 1);
    return bench::BestSeconds(2, removeStore, [&] {
      EmulatedHandheld platform;
      SyncProcedure(platform, view, false).Run();
    });
  };
  const double direct = directly(image);

  // Serves as the docked handheld, on loopback.
  auto serve = [&](RapiServer& server) {
    Status serving = server.Start();
    if (serving.ok()) serving = server.WriteConnectionFile((dir / "synce").string());
    if (!serving.ok()) {
      std::fprintf(stderr, "cannot serve: %s\n", serving.message().c_str());
      std::exit(1);
    }
  };
  auto throughRapi = [&] {
    RapiHandheld platform;
    SyncProcedure(platform, view, false).Run();
  };
  // The full handheld: the best of two runs, and the round trips of one.
  uint64_t roundTrips = 0;
  double through = 1e300;
  for (int run = 0; run < 2; ++run) {
    RapiServer server({image, "127.0.0.1", kRapiPort, 0});
    serve(server);
    through = std::min(through, bench::BestSeconds(1, removeStore, throughRapi));
    roundTrips = server.roundTrips();
  }
  const double records = 10 + 50 + 65535 + 65535;
  if (view.messages != 0) return 1;

  // The small handheld over a 1 ms link in turns with the same run done
  // directly (each takes some 10 to 50 ms, where a moment of the machine
  // weighs much): its limit in each turn is that turn's direct run plus the
  // waits its round trips made, as long as the link held them.
  RapiServer slowLink({small, "127.0.0.1", kRapiPort, 1});
  serve(slowLink);
  std::vector<double> waits;
  const std::vector<std::vector<double>> slowTurns = bench::TimesInTurn(
      11, {{[&] {
              removeStore();
              setenv("HORALOG_HANDHELD", small.c_str(), 1);
            },
            [&] {
              EmulatedHandheld platform;
              SyncProcedure(platform, view, false).Run();
            }},
           {removeStore, [&] {
              const uint64_t roundTripsBefore = slowLink.roundTrips();
              const double lateBefore = slowLink.lateSeconds();
              throughRapi();
              waits.push_back(static_cast<double>(slowLink.roundTrips() - roundTripsBefore) / 1000 +
                              slowLink.lateSeconds() - lateBefore);
            }}});
  slowLink.Stop();
  if (view.messages != 0) return 1;
  std::vector<double> slowLimits;
  for (size_t turn = 0; turn < waits.size(); ++turn) {
    slowLimits.push_back(slowTurns[0][turn] + waits[turn]);
  }

  std::printf("FIGURE\tround trips per record, full handheld\t%.3f\t-\t-\t<= 1.05\t%s\n",
              static_cast<double>(roundTrips) / records,
              static_cast<double>(roundTrips) / records <= 1.05 ? "met" : "missed");
  bench::FigureAgainstLimit("full sync through RAPI on loopback vs direct", through, direct, 3);
  // The least such a run can take: its round trips' waits, and the same
  // synchronization's own work, done directly.
  bench::FigureAgainstLimitInTurns("1,000 records at 1 ms a round trip vs its waits + direct",
                                   slowTurns[1], slowLimits, 1.2);
  if (!ThroughDccm(dir, image, store, records)) return 1;
  fs::remove_all(dir);
  return 0;
}

#else

int main() {
  std::printf("rapi_bench: this build has no RAPI library; nothing measured\n");
  return 0;
}

#endif
