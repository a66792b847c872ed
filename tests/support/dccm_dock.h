// A handheld image docked for one test as a handheld on USB is: through
// SynCE's connection manager dccm, on a private system bus and a network
// link of the test's own (tests/support/dccm_dock.sh does the work; the test
// program runs in a network namespace of its own). While the dock lives,
// this process's DBUS_SYSTEM_BUS_ADDRESS names its bus and SYNCE_CONF_DIR an
// empty folder, so the RAPI library finds the handheld through dccm alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/test_env.h"

class DccmDock {
 public:
  // Docks image with folder as the dock's own (failing the test when it
  // cannot); serveOptions go to `horalog-handheld serve` (--latency-ms,
  // --password).
  DccmDock(const std::string& image, const std::string& folder,
           const std::vector<std::string>& serveOptions = {});
  // Undocks: every process of the dock ends.
  ~DccmDock();
  DccmDock(const DccmDock&) = delete;
  DccmDock& operator=(const DccmDock&) = delete;

  bool started() const { return started_; }
  // A command of the script on this dock: "link-down", "freeze", "thaw",
  // "devices", or "password" with the text.
  ToolRun Run(const std::string& command, const std::vector<std::string>& args = {}) const;
  // What the handheld's server said.
  std::string ServeLog() const;
  // The handheld's address on the link.
  static constexpr const char* kAddress = "169.254.2.1";

 private:
  std::string folder_;
  bool started_ = false;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  void* bus_ = nullptr;  // this process's connection to the dock's bus
};
