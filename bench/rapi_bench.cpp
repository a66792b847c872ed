// What a real handheld's link costs: a full handheld synchronized through the
// RAPI library from the image served on loopback, beside the same run made
// directly from the image; the round trips a record takes (the server counts
// them); and a small handheld over a link of 1 ms a round trip, beside the
// least that many round trips can take with the synchronization's own work.
// Listens on port 990: run as root or in a user and network namespace
// (scripts/bench does).
#include <cstdio>

#if HORALOG_HAVE_RAPI

#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "device/emulated_handheld.h"
#include "device/handheld_image.h"
#include "device/rapi_handheld.h"
#include "device/rapi_server.h"
#include "device/sync_procedure.h"

namespace {

bool MakeImage(const std::string& path, int64_t records) {
  std::string error;
  if (!HandheldImage::Create(path, u"Bench", u"Jane Doe", true, &error)) return false;
  HandheldImage image(path);
  HandheldGenerateOptions options;
  options.records = records;
  options.spansPerRecord = 1;
  return image.Generate(options);
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
  const double smallDirect = directly(small);

  // Served on loopback; the round trips of one run.
  auto served = [&](const std::string& served, int latencyMs, uint64_t* roundTrips, int runs) {
    RapiServer server({served, "127.0.0.1", kRapiPort, latencyMs});
    std::string error;
    if (!server.Start() || !server.WriteConnectionFile((dir / "synce").string(), &error)) {
      std::fprintf(stderr, "cannot serve: %s%s\n", server.error().c_str(), error.c_str());
      std::exit(1);
    }
    const double seconds = bench::BestSeconds(runs, removeStore, [&] {
      RapiHandheld platform;
      SyncProcedure(platform, view, false).Run();
    });
    *roundTrips = server.roundTrips() / runs;
    return seconds;
  };
  uint64_t roundTrips = 0;
  double through = 1e300;
  for (int run = 0; run < 2; ++run) through = std::min(through, served(image, 0, &roundTrips, 1));
  const double records = 10 + 50 + 65535 + 65535;
  if (view.messages != 0) return 1;

  uint64_t slowRoundTrips = 0;
  const double slow = served(small, 1, &slowRoundTrips, 3);

  std::printf("FIGURE\tround trips per record, full handheld\t%.3f\t-\t-\t<= 1.05\t%s\n",
              static_cast<double>(roundTrips) / records,
              static_cast<double>(roundTrips) / records <= 1.05 ? "met" : "missed");
  bench::FigureAgainstLimit("full sync through RAPI on loopback vs direct", through, direct, 3);
  // The least such a run can take: its round trips' waits, and the same
  // synchronization's own work, done directly.
  bench::FigureAgainstLimit("1,000 records at 1 ms a round trip vs its waits + direct", slow,
                            static_cast<double>(slowRoundTrips) / 1000 + smallDirect, 1.2);
  fs::remove_all(dir);
  return 0;
}

#else

int main() {
  std::printf("rapi_bench: this build has no RAPI library; nothing measured\n");
  return 0;
}

#endif
