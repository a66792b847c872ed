// A handheld image served over the RAPI protocol for one test: the server on
// an address of its own (tests run side by side), and the connection
// description in a SYNCE_CONF_DIR of the test's, so the RAPI library finds it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "device/ce_platform.h"
#include "device/rapi_server.h"
#include "support/test_env.h"

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

// The platform of a test's handheld: the image at dockPath directly, or,
// when served is set, the RAPI library talking to it (null when this build
// has no RAPI library).
std::unique_ptr<CePlatform> TestHandheld(bool served, const std::string& dockPath,
                                         int callTimeoutMs = 30000);
