// Which handheld the programs talk to.
#include "emulator/docked_handheld.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "emulator/emulated_handheld.h"
#if HORALOG_HAVE_RAPI
#include "rapi/rapi_handheld.h"
#endif

namespace fs = std::filesystem;

namespace {

bool RapiForced() {
  const char* named = std::getenv("HORALOG_HANDHELD");
  return named && std::strcmp(named, kRapiHandheld) == 0;
}

}  // namespace

bool HaveRapiLibrary() { return HORALOG_HAVE_RAPI != 0; }

HandheldKind ChooseHandheld() {
  if (RapiForced()) return HandheldKind::Rapi;
  if (const char* named = std::getenv("HORALOG_HANDHELD"); named && *named) {
    return HandheldKind::Image;
  }
  std::error_code ec;
  if (fs::exists(fs::symlink_status(DockLocation(), ec))) return HandheldKind::Image;
  return HaveRapiLibrary() ? HandheldKind::Rapi : HandheldKind::Image;
}

std::unique_ptr<CePlatform> OpenHandheld() {
  if (ChooseHandheld() == HandheldKind::Image) return std::make_unique<EmulatedHandheld>();
#if HORALOG_HAVE_RAPI
  return std::make_unique<RapiHandheld>();
#else
  // A dock in a folder that cannot exist: every attempt is refused, as by a
  // computer without the RAPI services.
  return std::make_unique<EmulatedHandheld>("/nonexistent/horalog-without-rapi/handheld.hhd");
#endif
}

bool DescribeRapiHandheld(std::string* line) {
#if HORALOG_HAVE_RAPI
  std::string name, address;
  if (!RapiHandheld::Describe(&name, &address)) return false;
  *line = std::string(kRapiHandheld) + name + " " + address;
  return true;
#else
  (void)line;
  return false;
#endif
}
