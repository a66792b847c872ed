// A handheld image served over the RAPI protocol for one test.
#include "support/rapi_dock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "emulator/emulated_handheld.h"
#if HORALOG_HAVE_RAPI
#include "rapi/rapi_handheld.h"
#endif

std::string UniqueLoopbackAddress() {
  static std::atomic<int> next{0};
  const int pid = static_cast<int>(::getpid());
  const int n = next++;
  return "127." + std::to_string(1 + pid % 250) + "." + std::to_string(pid / 250 % 250) + "." +
         std::to_string(1 + n % 250);
}

RapiDock::RapiDock(const std::string& image, const std::string& folder, int latencyMs)
    : folder_(folder), address_(UniqueLoopbackAddress()), conf_("SYNCE_CONF_DIR", folder) {
  server_ =
      std::make_unique<RapiServer>(RapiServer::Options{image, address_, kRapiPort, latencyMs});
  const Status started = server_->Start();
  EXPECT_TRUE(started.ok()) << started.message();
  const Status written = server_->WriteConnectionFile(folder);
  EXPECT_TRUE(written.ok()) << written.message();
}

RapiDock::~RapiDock() {
  server_->Stop();
  server_->RemoveConnectionFile(folder_);
}

std::vector<HandheldPath> HandheldPaths() {
  if (!HORALOG_HAVE_RAPI) return {HandheldPath::Image};
  return {HandheldPath::Image, HandheldPath::File, HandheldPath::Dccm};
}

std::string PathName(HandheldPath path) {
  switch (path) {
    case HandheldPath::Image: return "Image";
    case HandheldPath::File: return "Rapi";
    case HandheldPath::Dccm: return "Dccm";
  }
  return "";
}

PathDock::PathDock(HandheldPath path, const std::string& image, const std::string& folder)
    : path_(path) {
  if (path == HandheldPath::File) file_.emplace(image, folder);
  if (path == HandheldPath::Dccm) dccm_.emplace(image, folder);
}

std::unique_ptr<CePlatform> PathDock::Handheld(const std::string& dockPath,
                                               int callTimeoutMs) const {
  return TestHandheld(path_, dockPath, callTimeoutMs);
}

std::unique_ptr<CePlatform> TestHandheld(HandheldPath path, const std::string& dockPath,
                                         int callTimeoutMs) {
  if (path == HandheldPath::Image) return std::make_unique<EmulatedHandheld>(dockPath);
#if HORALOG_HAVE_RAPI
  return std::make_unique<RapiHandheld>(callTimeoutMs);
#else
  (void)callTimeoutMs;
  return nullptr;
#endif
}
