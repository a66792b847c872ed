// The control link a docked Windows CE 3/4 handheld keeps with the desktop's
// connection manager (SynCE's dccm, the legacy protocol): the handheld
// connects to the desktop's port 5679, says who it is, proves a locked
// handheld's password, and answers the desktop's pings while docked. The
// desktop then opens RAPI connections to the handheld itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "emulator/device_password.h"
#include "platform/status.h"

// The connection manager's port.
constexpr uint16_t kDccmPort = 5679;

class DccmDeviceLink {
 public:
  struct Options {
    std::string address;  // the handheld's IPv4 address, the link's source
    std::string desktop;  // the desktop's IPv4 address
    uint16_t port = kDccmPort;
    std::string name;                        // the handheld's name, as its \Ident\Name
    std::optional<DevicePassword> password;  // a locked handheld's
    // Told, from the link's thread, what the handheld would show its user:
    // a wrong password, the desktop gone.
    std::function<void(const std::string&)> say;
  };

  explicit DccmDeviceLink(Options options);
  // Stops.
  ~DccmDeviceLink();
  DccmDeviceLink(const DccmDeviceLink&) = delete;
  DccmDeviceLink& operator=(const DccmDeviceLink&) = delete;

  // Keeps the link on a thread of its own: connects (trying again every
  // 100 ms while the desktop does not listen yet, as a handheld does while
  // the desktop starts), introduces the handheld, then answers until the
  // desktop closes the link or Stop. Fails when the addresses are no IPv4
  // addresses.
  Status Start();
  void Stop();

  // Whether the desktop accepted a password (always, for an unlocked
  // handheld), and whether the desktop closed the link.
  bool unlocked() const { return unlocked_; }
  bool closed() const { return closed_; }

 private:
  void Run();
  bool Connect();
  bool Introduce();
  bool Unlock();
  void AnswerPings();
  void Say(const std::string& what) const;

  Options options_;
  std::atomic<int> fd_{-1};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> unlocked_{false};
  std::atomic<bool> closed_{false};
  std::thread thread_;
};
