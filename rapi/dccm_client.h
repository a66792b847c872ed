// SynCE's connection manager (dccm) as the desktop asks it, over the D-Bus
// system bus, about the handhelds it has brought up: which are there, and
// which wait for their password before anything can be asked of them.
#pragma once

#include <string>
#include <vector>

struct DccmDevice {
  std::string path;           // its D-Bus object
  std::string name;           // the handheld's own name
  std::string passwordFlags;  // "unset", "provide", "provide-on-device", "checking", "unlocked"
};

// The handhelds dccm has published, in its order. False with *error set when
// dccm cannot be asked (no system bus, dccm not running): no handheld is
// known that way.
bool ListDccmDevices(std::vector<DccmDevice>* devices, std::string* error);

enum class DccmUnlock {
  Unlocked,  // the handheld took the password
  Refused,   // the handheld refused it, and waits for another
  Failed,    // it could not be asked (*error says why)
};

// Hands password to the locked handheld at path, through dccm, and waits for
// the handheld's answer (at most timeoutMs).
DccmUnlock UnlockDccmDevice(const std::string& path, const std::string& password,
                            std::string* error, int timeoutMs = 20000);
