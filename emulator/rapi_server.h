// A handheld image served over the classic RAPI protocol, as a docked
// Windows CE handheld answers the desktop: the real RAPI library connects to
// it and cannot tell it from a device. For tests, demos and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "emulator/device_password.h"
#include "platform/status.h"

// The RAPI protocol's fixed port.
constexpr uint16_t kRapiPort = 990;

class RapiServer {
 public:
  struct Options {
    std::string image;                  // the handheld image served
    std::string address = "127.0.0.1";  // IPv4 address to listen on
    uint16_t port = kRapiPort;
    int latencyMs = 0;  // each answer waits this long, as on a slow link
    // A locked handheld's: every connection starts with the desktop's
    // answer (see DevicePassword), which the handheld accepts with the byte
    // 1, or refuses with 0 and closes the connection, serving nothing.
    std::optional<DevicePassword> password = std::nullopt;
    // Told, from a connection's thread, of a refused password.
    std::function<void(const std::string&)> say = nullptr;
  };

  explicit RapiServer(Options options);
  // Stops serving.
  ~RapiServer();
  RapiServer(const RapiServer&) = delete;
  RapiServer& operator=(const RapiServer&) = delete;

  // Listens and serves every connection on a thread of its own, until Stop.
  // Fails when the image cannot be read or the address cannot be bound
  // (port 990 needs root, or a user and network namespace).
  Status Start();
  // Closes the listener and every connection, and waits for their threads.
  void Stop();

  // Requests answered so far, over all connections, and the round trips
  // they took: answers the peer waited for before it sent on.
  uint64_t requests() const;
  uint64_t roundTrips() const;
  // How long, over those round trips, a slow link's answers went out after
  // their due moment: the system wakes a sleeper a little late, and a
  // machine under load later still.
  double lateSeconds() const;
  // The handheld's name (its \Ident\Name), read by Start.
  const std::string& handheldName() const;

  // The folder of the connection description: $SYNCE_CONF_DIR, else ~/.synce.
  static std::string ConnectionFolder();
  // Writes folder/active_connection describing this server as the docked
  // handheld: this process's pid, the address, the handheld's name, OS
  // version 4.20 and transport ppp.
  Status WriteConnectionFile(const std::string& folder) const;
  // The same for any server: name and address given.
  static Status WriteConnectionFile(const std::string& folder, const std::string& name,
                                    const std::string& address);
  // Removes folder/active_connection when it still describes this process.
  static void RemoveConnectionFile(const std::string& folder);

 private:
  struct State;
  std::shared_ptr<State> state_;
};
