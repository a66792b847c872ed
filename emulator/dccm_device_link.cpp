// The handheld's side of the connection manager's legacy control link.
//
// Everything is little-endian. The handheld starts: a locked handheld first
// sends a challenge, a 32-bit word of 512 or more whose low byte is the key
// of its password; then every handheld sends a 32-bit length L (0x24 to 511)
// and L bytes about itself: 0 u32 (0), 4 u8 OS major, 5 u8 OS minor,
// 6 u16 build, 8 u16 CPU type, 10 u16 and 12 u32 (0), 16 u32 current partner,
// 20 u32 second partner, then at 24, 28 and 32 the offsets (from the start of
// the L bytes) of its name, platform name and model name, each UTF-16LE
// ending with a zero unit. A locked handheld then reads answers (see
// DevicePassword) and says 1 or 0 in a 16-bit word until one is right. The
// desktop then pings every few seconds with the word 0x12345678, and the
// handheld sends it back; a desktop that misses three answers drops the
// handheld.
#include "emulator/dccm_device_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/socket_io.h"
#include "platform/utf16.h"

namespace {

constexpr uint32_t kPing = 0x12345678;
constexpr uint32_t kChallenge = 0x200;  // or'ed with the key
constexpr size_t kInfoHeader = 36;      // the fixed fields and the three offsets
constexpr size_t kMaxInfo = 511;
constexpr uint8_t kOsMajor = 4, kOsMinor = 20;
constexpr uint16_t kCpuArm = 2577;
constexpr const char16_t* kPlatform = u"PocketPC";
constexpr const char16_t* kModel = u"Horalog emulated handheld";

void PutU16(std::vector<uint8_t>* out, size_t at, uint16_t v) {
  (*out)[at] = static_cast<uint8_t>(v);
  (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) (*out)[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

void AppendU32(std::vector<uint8_t>* out, uint32_t v) {
  out->resize(out->size() + 4);
  PutU32(out, out->size() - 4, v);
}

// Appends text with its zero unit at the end of out; returns where it starts.
uint32_t AppendText(std::vector<uint8_t>* out, const std::u16string& text) {
  const auto at = static_cast<uint32_t>(out->size());
  for (char16_t c : text) {
    out->push_back(static_cast<uint8_t>(c));
    out->push_back(static_cast<uint8_t>(c >> 8));
  }
  out->push_back(0);
  out->push_back(0);
  return at;
}

bool ReadU32(int fd, uint32_t* v) {
  uint8_t b[4];
  if (!ReceiveAll(fd, b, sizeof b)) return false;
  *v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

bool ParseAddress(const std::string& text, uint16_t port, sockaddr_in* out) {
  *out = {};
  out->sin_family = AF_INET;
  out->sin_port = htons(port);
  return ::inet_pton(AF_INET, text.c_str(), &out->sin_addr) == 1;
}

}  // namespace

DccmDeviceLink::DccmDeviceLink(Options options) : options_(std::move(options)) {}

DccmDeviceLink::~DccmDeviceLink() { Stop(); }

Status DccmDeviceLink::Start() {
  sockaddr_in a;
  if (!ParseAddress(options_.address, 0, &a)) {
    return Status::Failure("not an IPv4 address: " + options_.address);
  }
  if (!ParseAddress(options_.desktop, options_.port, &a)) {
    return Status::Failure("not an IPv4 address: " + options_.desktop);
  }
  unlocked_ = !options_.password;
  thread_ = std::thread(&DccmDeviceLink::Run, this);
  return Status::Ok();
}

void DccmDeviceLink::Stop() {
  stopping_ = true;
  if (const int fd = fd_; fd >= 0) ::shutdown(fd, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  if (const int fd = fd_.exchange(-1); fd >= 0) ::close(fd);
}

void DccmDeviceLink::Run() {
  if (!Connect() || !Introduce() || !Unlock()) return;
  AnswerPings();
}

bool DccmDeviceLink::Connect() {
  sockaddr_in local, desktop;
  ParseAddress(options_.address, 0, &local);
  ParseAddress(options_.desktop, options_.port, &desktop);
  while (!stopping_) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // The desktop takes the handheld's address from this link's source.
    bool connected = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    if (connected && ::connect(fd, reinterpret_cast<sockaddr*>(&desktop), sizeof desktop) != 0) {
      connected = false;
      // Waited for in slices, so that Stop is never kept waiting by a
      // link that carries nothing.
      pollfd p{fd, POLLOUT, 0};
      while (errno == EINPROGRESS && !stopping_) {
        const int ready = ::poll(&p, 1, 100);
        if (ready == 0) continue;
        int fault = 0;
        socklen_t size = sizeof fault;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &fault, &size);
        connected = ready > 0 && fault == 0;
        break;
      }
    }
    if (connected) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      fd_ = fd;
      // Stop may have come between the check and the store above.
      if (stopping_) ::shutdown(fd, SHUT_RDWR);
      return !stopping_;
    }
    ::close(fd);
    ::poll(nullptr, 0, 100);
  }
  return false;
}

bool DccmDeviceLink::Introduce() {
  std::vector<uint8_t> info(kInfoHeader, 0);
  info[4] = kOsMajor;
  info[5] = kOsMinor;
  PutU16(&info, 8, kCpuArm);
  // The name is cut to what the packet holds (a handheld's name is short).
  const std::u16string platform = kPlatform, model = kModel;
  const size_t room = (kMaxInfo - kInfoHeader - 2 * (platform.size() + model.size() + 3)) / 2;
  const std::u16string name = Utf8ToUtf16(options_.name).substr(0, room);
  PutU32(&info, 24, AppendText(&info, name));
  PutU32(&info, 28, AppendText(&info, platform));
  PutU32(&info, 32, AppendText(&info, model));
  std::vector<uint8_t> packet;
  if (options_.password) AppendU32(&packet, kChallenge | options_.password->key());
  AppendU32(&packet, static_cast<uint32_t>(info.size()));
  packet.insert(packet.end(), info.begin(), info.end());
  return SendAll(fd_, packet);
}

bool DccmDeviceLink::Unlock() {
  while (!unlocked_) {
    bool right = false;
    if (!options_.password->Read(fd_, &right)) {
      closed_ = !stopping_;
      if (closed_) Say("the desktop closed the link");
      return false;
    }
    if (!SendAll(fd_, {static_cast<uint8_t>(right), 0})) return false;
    unlocked_ = right;
    if (!right) Say("the desktop gave a wrong password; the handheld stays locked");
  }
  return true;
}

void DccmDeviceLink::AnswerPings() {
  uint32_t word = 0;
  while (ReadU32(fd_, &word)) {
    if (word != kPing) continue;
    std::vector<uint8_t> echo;
    AppendU32(&echo, kPing);
    if (!SendAll(fd_, echo)) break;
  }
  closed_ = !stopping_;
  if (closed_) Say("the desktop closed the link");
}

void DccmDeviceLink::Say(const std::string& what) const {
  if (options_.say) options_.say(what);
}
