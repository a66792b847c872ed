// SynCE's connection manager (dccm) as the desktop asks it, over the D-Bus
// system bus, about the handhelds it has brought up: which are there, and
// which wait for their password before anything can be asked of them.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

struct DccmDevice {
  std::string path;           // its D-Bus object
  std::string name;           // the handheld's own name
  std::string passwordFlags;  // "unset", "provide", "provide-on-device", "checking", "unlocked"
};

// The handhelds dccm has published, in its order. Fails when dccm cannot be
// asked (no system bus, dccm not running): no handheld is known that way.
Status ListDccmDevices(std::vector<DccmDevice>* devices);

enum class DccmUnlock {
  Unlocked,  // the handheld took the password
  Refused,   // the handheld refused it, and waits for another
  Failed,    // it could not be asked (the status says why)
};

struct DccmUnlockResult {
  DccmUnlock outcome = DccmUnlock::Failed;
  Status status = Status::Ok();  // a failure exactly when outcome is Failed
};

// Hands password to the locked handheld at path, through dccm, and waits for
// the handheld's answer (at most timeoutMs).
DccmUnlockResult UnlockDccmDevice(const std::string& path, const std::string& password,
                                  int timeoutMs = 20000);
