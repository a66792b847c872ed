// Which handheld the programs talk to: an emulated image at the dock, or a
// real one through the RAPI library.
#pragma once

#include <memory>
#include <string>

#include "sync/ce_platform.h"

// HORALOG_HANDHELD set to this forces the RAPI library.
inline constexpr const char* kRapiHandheld = "rapi:";

enum class HandheldKind {
  Image,  // the image at DockLocation()
  Rapi,   // the handheld the RAPI library knows of
};

// An image docked (HORALOG_HANDHELD naming a file, or the dock link) is used
// as it is; HORALOG_HANDHELD=rapi: forces the RAPI library; with no image
// docked the library is used when the build has it, else the empty dock
// (which connects to nothing).
HandheldKind ChooseHandheld();

// True when this build has the RAPI library.
bool HaveRapiLibrary();

// The chosen handheld's platform. A forced RAPI handheld in a build without
// the library refuses every connection attempt.
std::unique_ptr<CePlatform> OpenHandheld();

// The handheld the RAPI library knows of, in one line: "rapi:" followed by
// the device's name and address from its connection description. False
// when there is none, or the build has no RAPI library.
bool DescribeRapiHandheld(std::string* line);
