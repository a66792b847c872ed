// A handheld image served over the RAPI protocol for one test: the server on
// an address of its own (tests run side by side), and the connection
// description in a SYNCE_CONF_DIR of the test's, so the RAPI library finds it.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "emulator/rapi_server.h"
#include "support/dccm_dock.h"
#include "support/test_env.h"
#include "sync/ce_platform.h"

// An address of 127.0.0.0/8 no other test process uses.
std::string UniqueLoopbackAddress();

class RapiDock {
 public:
  // Serves image (failing the test when it cannot), describing it in folder.
  RapiDock(const std::string& image, const std::string& folder, int latencyMs = 0);
  ~RapiDock();
  RapiServer& server() { return *server_; }
  const std::string& address() const { return address_; }

 private:
  std::string folder_;
  std::string address_;
  ScopedEnv conf_;
  std::unique_ptr<RapiServer> server_;
};

// How a test reaches its handheld.
enum class HandheldPath {
  Image,  // the image itself
  File,   // the RAPI library, through the connection file (RapiDock)
  Dccm,   // the RAPI library, through SynCE's connection manager (DccmDock)
};

// The paths this build has: the RAPI library's only when it has the library.
std::vector<HandheldPath> HandheldPaths();
// "Image", "Rapi" (the file) or "Dccm", for test names.
std::string PathName(HandheldPath path);
inline void PrintTo(HandheldPath path, std::ostream* out) { *out << PathName(path); }

// A test's handheld image docked on path: as it is, served and described in
// a connection file, or served and docked through dccm; each in folder.
class PathDock {
 public:
  PathDock(HandheldPath path, const std::string& image, const std::string& folder);
  // The handheld's platform (null when this build has no RAPI library).
  std::unique_ptr<CePlatform> Handheld(const std::string& dockPath,
                                       int callTimeoutMs = 30000) const;

 private:
  HandheldPath path_;
  std::optional<RapiDock> file_;
  std::optional<DccmDock> dccm_;
};

// The platform of a test's handheld: the image at dockPath directly, or the
// RAPI library (null when this build has none), which finds the served image
// through the file or through dccm.
std::unique_ptr<CePlatform> TestHandheld(HandheldPath path, const std::string& dockPath,
                                         int callTimeoutMs = 30000);
