// A handheld image served over the classic RAPI protocol.
//
// Every request and every answer is a packet (rapi/rapi_wire.h): a 32-bit
// length, then its body. Here the packets come and go; RapiCommands answers
// them.
#include "emulator/rapi_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "emulator/rapi_commands.h"
#include "platform/socket_io.h"
#include "platform/utf16.h"
#include "rapi/rapi_wire.h"

namespace {

// Every request the desktop makes is small; a longer one is not RAPI.
constexpr uint32_t kMaxRequest = 64 * 1024;

// The requests arriving on one connection, read as they come (one receive
// usually brings a whole request).
class Inbox {
 public:
  explicit Inbox(int fd) : fd_(fd), buffer_(kMaxRequest + kRapiLengthSize) {}
  // The next request's body; false when the connection ended or the length
  // is no request's.
  bool Next(std::vector<uint8_t>* body) {
    if (!Have(kRapiLengthSize)) return false;
    const uint32_t length = RapiLe32(buffer_.data() + start_);
    // Every request has at least its command.
    if (length < 4 || length > kMaxRequest || !Have(kRapiLengthSize + length)) return false;
    const uint8_t* p = buffer_.data() + start_ + kRapiLengthSize;
    body->assign(p, p + length);
    start_ += kRapiLengthSize + length;
    return true;
  }
  // When the last request's bytes came in.
  std::chrono::steady_clock::time_point arrived() const { return arrived_; }
  // Whether more of the peer's bytes are here already: it sent on without
  // waiting for the answer to the last request.
  bool More() const {
    uint8_t byte;
    return end_ > start_ || ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
  }

 private:
  bool Have(size_t n) {
    if (end_ - start_ >= n) return true;
    // Moves what is left to the front: a request then always fits.
    std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(start_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    end_ -= start_;
    start_ = 0;
    while (end_ < n) {
      const ssize_t got = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      end_ += static_cast<size_t>(got);
      arrived_ = std::chrono::steady_clock::now();
    }
    return true;
  }

  int fd_;
  std::vector<uint8_t> buffer_;
  size_t start_ = 0, end_ = 0;
  std::chrono::steady_clock::time_point arrived_;
};

std::string HomeFolder() {
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  const char* home = std::getenv("HOME");
  return home ? home : ".";
}

}  // namespace

struct RapiServer::State {
  Options options;
  int listener = -1;
  std::atomic<bool> stopping{false};
  std::atomic<uint64_t> requests{0};
  std::atomic<uint64_t> roundTrips{0};
  std::atomic<uint64_t> lateNs{0};
  std::string handheldName;
  std::mutex mutex;
  std::set<int> connections;
  std::vector<std::thread> threads;
  std::thread acceptor;

  void Accept();
  void Serve(int fd);
  // Whether the desktop proved a locked handheld's password on fd.
  bool Unlocked(int fd);
};

void RapiServer::State::Accept() {
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // the listener was shut down
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) {
      ::close(fd);
      return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connections.insert(fd);
    threads.emplace_back(&State::Serve, this, fd);
  }
}

void RapiServer::State::Serve(int fd) {
  // Each connection is one handheld session, as the device gives each
  // desktop connection its own handles.
  EmulatedHandheld handheld(options.image);
  HandheldImage image(options.image);
  RapiInit init;
  bool connected = Unlocked(fd) && handheld.CeRapiInitEx(&init) == 0;
  bool answered = false;
  // A slow link's delay is kept to the microsecond, not to the system's
  // default timer slack of 50.
  if (options.latencyMs > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  RapiCommands commands(handheld, image);
  Inbox inbox(fd);
  std::vector<uint8_t> body, unsent;
  while (connected && !stopping) {
    if (!inbox.Next(&body)) break;
    // A slow link delays the answer from when the request came in: requests
    // sent in one go share one delay.
    const auto due = inbox.arrived() + std::chrono::milliseconds(options.latencyMs);
    // The handheld answers once it is up: a slow handheld keeps the first
    // answer waiting.
    if (!answered) {
      while (!init.heRapiInit->Wait(100)) {
        if (stopping) break;
      }
      if (stopping || init.heRapiInit->result() != 0) break;
      answered = true;
    }
    // Answers to requests sent in one go go out together, as a device's
    // link would carry them: a send each would cost more than the answer.
    commands.Answer(body, &unsent);
    std::chrono::steady_clock::duration late{};
    if (options.latencyMs > 0 && std::chrono::steady_clock::now() < due) {
      std::this_thread::sleep_until(due);
      late = std::chrono::steady_clock::now() - due;
    }
    // Counted before it goes out: the peer may look at once. An answer the
    // peer waits for, with nothing more sent meanwhile, ends a round trip.
    ++requests;
    const bool more = inbox.More();
    if (!more) {
      ++roundTrips;
      lateNs += static_cast<uint64_t>(std::chrono::nanoseconds(late).count());
    }
    if (!more || unsent.size() >= kMaxRequest) {
      if (!SendAll(fd, unsent)) break;
      unsent.clear();
    }
  }
  if (!unsent.empty()) SendAll(fd, unsent);  // what was answered before a bad request
  handheld.CeRapiUninit();
  std::lock_guard<std::mutex> lock(mutex);
  connections.erase(fd);
  ::close(fd);
}

bool RapiServer::State::Unlocked(int fd) {
  if (!options.password) return true;
  bool right = false;
  if (!options.password->Read(fd, &right)) return false;
  const uint8_t answer = right ? 1 : 0;
  if (!SendAll(fd, {answer}) || right) return right;
  if (options.say) options.say("a RAPI connection gave a wrong password; it was refused");
  return false;
}

RapiServer::RapiServer(Options options) : state_(std::make_shared<State>()) {
  state_->options = std::move(options);
}

RapiServer::~RapiServer() { Stop(); }

Status RapiServer::Start() {
  State& s = *state_;
  {
    HandheldImage image(s.options.image);
    if (Status open = image.Open(); !open.ok()) {
      return Status::Failure("cannot serve " + s.options.image + ": " + open.message());
    }
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string name;
    if (image.RegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", &type, &data).ok() &&
        type == CE_REG_SZ) {
      Utf16ToUtf8(RapiUnits(data), &name);
    }
    s.handheldName = name;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(s.options.port);
  if (::inet_pton(AF_INET, s.options.address.c_str(), &address.sin_addr) != 1) {
    return Status::Failure("not an IPv4 address: " + s.options.address);
  }
  s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (s.listener < 0 ||
      ::bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.listener, 8) != 0) {
    Status failed = Status::Failure("cannot listen on " + s.options.address + ":" +
                                    std::to_string(s.options.port) + ": " + std::strerror(errno));
    if (s.listener >= 0) ::close(s.listener);
    s.listener = -1;
    return failed;
  }
  s.acceptor = std::thread(&State::Accept, &s);
  return Status::Ok();
}

void RapiServer::Stop() {
  State& s = *state_;
  if (s.listener < 0) return;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stopping = true;
    ::shutdown(s.listener, SHUT_RDWR);
    for (int fd : s.connections) ::shutdown(fd, SHUT_RDWR);
  }
  s.acceptor.join();
  for (std::thread& t : s.threads) t.join();
  s.threads.clear();
  ::close(s.listener);
  s.listener = -1;
}

uint64_t RapiServer::requests() const { return state_->requests; }
uint64_t RapiServer::roundTrips() const { return state_->roundTrips; }
double RapiServer::lateSeconds() const { return static_cast<double>(state_->lateNs) / 1e9; }
const std::string& RapiServer::handheldName() const { return state_->handheldName; }

std::string RapiServer::ConnectionFolder() {
  if (const char* dir = std::getenv("SYNCE_CONF_DIR"); dir && *dir) return dir;
  return HomeFolder() + "/.synce";
}

Status RapiServer::WriteConnectionFile(const std::string& folder) const {
  return WriteConnectionFile(folder,
                             state_->handheldName.empty() ? "Handheld" : state_->handheldName,
                             state_->options.address);
}

Status RapiServer::WriteConnectionFile(const std::string& folder, const std::string& deviceName,
                                       const std::string& address) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  // A name is one line of the file.
  std::string name = deviceName;
  for (char& c : name) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const std::string path = folder + "/active_connection";
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "[dccm]\npid=" << ::getpid() << "\n[device]\nname=" << name << "\nip=" << address
        << "\nos_version=4\nos_minor=20\nkey=0\n[connection]\ntransport=ppp\n";
    if (!out.flush()) return Status::Failure("cannot write " + temporary);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    Status failed = Status::Failure("cannot write " + path + ": " + std::strerror(errno));
    ::unlink(temporary.c_str());
    return failed;
  }
  return Status::Ok();
}

void RapiServer::RemoveConnectionFile(const std::string& folder) {
  const std::string path = folder + "/active_connection";
  std::ifstream in(path);
  const std::string mine = "pid=" + std::to_string(::getpid());
  for (std::string line; std::getline(in, line);) {
    if (line == mine) {
      ::unlink(path.c_str());
      return;
    }
  }
}
