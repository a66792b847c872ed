// A handheld image docked through SynCE's connection manager for one test.
#include "support/dccm_dock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#if HORALOG_TEST_GIO
#include <gio/gio.h>
#endif

namespace {

const std::string kScript = std::string(HORALOG_SOURCE_DIR) + "/tests/support/dccm_dock.sh";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

DccmDock::DccmDock(const std::string& image, const std::string& folder,
                   const std::vector<std::string>& serveOptions)
    : folder_(folder) {
  // The script's programs: this build's, and the SynCE it was built with.
  ScopedEnv bin("HORALOG_BIN_DIR", HORALOG_BIN_DIR);
#ifdef HORALOG_SYNCE_PREFIX
  ScopedEnv synce("HORALOG_SYNCE_PREFIX", HORALOG_SYNCE_PREFIX);
#endif
  std::vector<std::string> args = {"start", folder, image};
  args.insert(args.end(), serveOptions.begin(), serveOptions.end());
  const ToolRun run = RunTool(kScript, args);
  started_ = run.status == 0;
  EXPECT_EQ(run.status, 0) << run.err << ServeLog();
  std::istringstream lines(ReadFile(folder + "/env"));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    const std::string name = line.substr(0, equals);
    if (equals != std::string::npos && !name.starts_with("DCCM_DOCK_")) {
      env_.push_back(std::make_unique<ScopedEnv>(name, line.substr(equals + 1)));
    }
  }
#if HORALOG_TEST_GIO
  // The RAPI library asks dccm through GIO's system bus connection, one for
  // the process, made on first use and kept while anything holds it. This
  // dock's is taken now, on this dock's bus, and must not end the process
  // when the dock's bus ends (GIO's default for a bus connection).
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
  EXPECT_TRUE(bus && !g_dbus_connection_is_closed(bus)) << "the bus of an earlier dock is kept";
  if (bus) g_dbus_connection_set_exit_on_close(bus, FALSE);
  bus_ = bus;
#endif
}

DccmDock::~DccmDock() {
#if HORALOG_TEST_GIO
  if (bus_) {
    auto* bus = static_cast<GDBusConnection*>(bus_);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    // What the library's calls left for the main loop holds the connection.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_object_unref(bus);
  }
#endif
  const ToolRun run = Run("stop");
  EXPECT_EQ(run.status, 0) << run.err;
}

ToolRun DccmDock::Run(const std::string& command, const std::vector<std::string>& args) const {
  std::vector<std::string> all = {command, folder_};
  all.insert(all.end(), args.begin(), args.end());
  return RunTool(kScript, all);
}

std::string DccmDock::ServeLog() const { return ReadFile(folder_ + "/serve.log"); }
