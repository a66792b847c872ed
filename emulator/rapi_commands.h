// The commands of the classic RAPI protocol that a served handheld image
// answers, for one connection: what the desktop's synchronization asks, and
// what SynCE's own tools ask (the system's version, processor, power and
// store; the registry listed; the databases found and read).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class EmulatedHandheld;
class HandheldImage;

class RapiCommands {
 public:
  // Answers from handheld, connected to image; both outlive this.
  RapiCommands(EmulatedHandheld& handheld, HandheldImage& image);
  ~RapiCommands();
  RapiCommands(const RapiCommands&) = delete;
  RapiCommands& operator=(const RapiCommands&) = delete;

  // Appends the answer packet to the request whose body (command number,
  // then its arguments) is given: a 32-bit length, then 0 and the command's
  // results, or 1 and the HRESULT of a failure (E_NOTIMPL for a command not
  // served, E_INVALIDARG for arguments cut short or not well formed).
  void Answer(const std::vector<uint8_t>& body, std::vector<uint8_t>* out);

  struct Session;  // the connection's handles and what they refer to

 private:
  std::unique_ptr<Session> session_;
};
