// A handheld image served over the classic RAPI protocol.
//
// Every request is a little-endian packet: a 32-bit length, then the command
// number and its arguments. Every answer is a length, then a 32-bit word that
// is 0 for an answer or 1 for a failure followed by its HRESULT, then the
// command's results (the device's last error first). The requests answered
// here are those the desktop makes: the database calls, the registry reads
// and closing a handle.
#include "device/rapi_server.h"

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

#include "device/emulated_handheld.h"
#include "device/handheld_image.h"
#include "platform/utf16.h"

namespace {

// Commands of the classic protocol.
constexpr uint32_t kCloseHandle = 0x08;
constexpr uint32_t kOidGetInfo = 0x0c;
constexpr uint32_t kOpenDatabase = 0x0e;
constexpr uint32_t kReadRecordProps = 0x10;
constexpr uint32_t kDeleteRecord = 0x12;
constexpr uint32_t kSeekDatabase = 0x13;
constexpr uint32_t kRegOpenKeyEx = 0x1e;
constexpr uint32_t kRegCloseKey = 0x21;
constexpr uint32_t kRegQueryValueEx = 0x26;

constexpr uint32_t kNotImplemented = 0x80004001u;   // E_NOTIMPL
constexpr uint32_t kInvalidArgument = 0x80070057u;  // E_INVALIDARG
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint16_t kObjectDatabase = 3;
constexpr uint32_t kMaxSortOrders = 4;
constexpr uint32_t kDatabaseNameBytes = 64;  // 32 UTF-16 units
// Every request the desktop makes is small; a longer one is not RAPI.
constexpr uint32_t kMaxRequest = 64 * 1024;
constexpr uint32_t kMaxRegistryValue = 64 * 1024;

// Reads a request's fields; every read past its end fails.
class Request {
 public:
  explicit Request(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool U16(uint16_t* v) {
    if (bytes_.size() - pos_ < 2) return false;
    *v = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (bytes_.size() - pos_ < 4) return false;
    *v = 0;
    for (int k = 3; k >= 0; --k) *v = *v << 8 | bytes_[pos_ + k];
    pos_ += 4;
    return true;
  }
  bool Bytes(size_t n, std::vector<uint8_t>* out) {
    if (bytes_.size() - pos_ < n) return false;
    out->assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    return true;
  }
  // A string: 1, its length in UTF-16 units with the terminator, the units.
  bool String(std::u16string* out) {
    uint32_t present = 0, units = 0;
    if (!U32(&present) || present != 1 || !U32(&units) || units > kMaxRequest) return false;
    std::vector<uint8_t> raw;
    if (!Bytes(static_cast<size_t>(units) * 2, &raw)) return false;
    *out = Units(raw);
    return true;
  }
  // An optional parameter: 0, or 1, its size, whether its value follows, the value.
  bool Optional(bool* present, uint32_t* size, std::vector<uint8_t>* value) {
    uint32_t have = 0, sent = 0;
    if (!U32(&have)) return false;
    *present = have == 1;
    *size = 0;
    value->clear();
    if (!*present) return have == 0;
    if (!U32(size) || !U32(&sent) || sent > 1) return false;
    return sent == 0 || Bytes(*size, value);
  }
  // UTF-16LE units up to the first terminator.
  static std::u16string Units(const std::vector<uint8_t>& raw) {
    std::u16string text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
      const auto c = static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
      if (c == 0) break;
      text.push_back(c);
    }
    return text;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

class Reply {
 public:
  Reply() { U32(0); }  // an answer, not a failure
  static Reply Failure(uint32_t hresult) {
    Reply r;
    r.bytes_.clear();
    r.U32(1);
    r.U32(hresult);
    return r;
  }
  void U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  void Bytes(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
  // An optional value, sent.
  void Optional(const uint8_t* data, uint32_t n) {
    U32(1);
    U32(n);
    U32(1);
    Bytes(data, n);
  }
  void OptionalU32(uint32_t v) {
    uint8_t le[4];
    for (int k = 0; k < 4; ++k) le[k] = static_cast<uint8_t>(v >> (8 * k));
    Optional(le, 4);
  }
  // Appends the packet (its length, then the body) to out.
  void AppendPacket(std::vector<uint8_t>* out) const {
    const auto n = static_cast<uint32_t>(bytes_.size());
    for (int k = 0; k < 4; ++k) out->push_back(static_cast<uint8_t>(n >> (8 * k)));
    out->insert(out->end(), bytes_.begin(), bytes_.end());
  }

 private:
  std::vector<uint8_t> bytes_;
};

// The requests arriving on one connection, read as they come (one receive
// usually brings a whole request).
class Inbox {
 public:
  explicit Inbox(int fd) : fd_(fd), buffer_(kMaxRequest + 4) {}
  // The next request's body; false when the connection ended or the length
  // is no request's.
  bool Next(std::vector<uint8_t>* body) {
    if (!Have(4)) return false;
    const uint8_t* p = buffer_.data() + start_;
    const uint32_t length = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    if (length < 4 || length > kMaxRequest || !Have(4 + length)) return false;
    p = buffer_.data() + start_;
    body->assign(p + 4, p + 4 + length);
    start_ += 4 + length;
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

bool WriteFull(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

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
  std::string handheldName;
  std::string error;
  std::mutex mutex;
  std::set<int> connections;
  std::vector<std::thread> threads;
  std::thread acceptor;

  void Accept();
  void Serve(int fd);
  // Whether the desktop proved a locked handheld's password on fd.
  bool Unlocked(int fd);
  // The answer to one request, or nothing when the connection must close.
  bool Answer(EmulatedHandheld& handheld, HandheldImage& image, const std::vector<uint8_t>& body,
              Reply* reply);
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
    Reply reply;
    if (!Answer(handheld, image, body, &reply)) break;
    if (options.latencyMs > 0) std::this_thread::sleep_until(due);
    // Counted before it goes out: the peer may look at once. An answer the
    // peer waits for, with nothing more sent meanwhile, ends a round trip.
    ++requests;
    const bool more = inbox.More();
    if (!more) ++roundTrips;
    // Answers to requests sent in one go go out together, as a device's
    // link would carry them: a send each would cost more than the answer.
    reply.AppendPacket(&unsent);
    if (!more || unsent.size() >= kMaxRequest) {
      if (!WriteFull(fd, unsent)) break;
      unsent.clear();
    }
  }
  if (!unsent.empty()) WriteFull(fd, unsent);  // what was answered before a bad request
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
  if (!WriteFull(fd, {answer}) || right) return right;
  if (options.say) options.say("a RAPI connection gave a wrong password; it was refused");
  return false;
}

bool RapiServer::State::Answer(EmulatedHandheld& handheld, HandheldImage& image,
                               const std::vector<uint8_t>& body, Reply* reply) {
  Request in(body);
  uint32_t command = 0;
  in.U32(&command);
  Reply out;
  bool wellFormed = false;
  switch (command) {
    case kCloseHandle: {
      uint32_t handle = 0;
      if (!(wellFormed = in.U32(&handle))) break;
      const int ok = handheld.CeCloseHandle(handle);
      out.U32(ok ? 0 : kErrorInvalidHandle);
      out.U32(ok ? 1 : 0);
      break;
    }
    case kOidGetInfo: {
      uint32_t oid = 0;
      if (!(wellFormed = in.U32(&oid))) break;
      CeOidInfo info;
      std::string name;
      if (!handheld.CeOidGetInfo(oid, &info) || !image.DatabaseName(oid, &name)) {
        out.U32(kErrorInvalidHandle);
        out.U32(0);  // and nothing more: the caller's read of the rest fails
        break;
      }
      out.U32(0);
      out.U32(1);
      out.U16(kObjectDatabase);
      out.U16(4 + kDatabaseNameBytes);
      out.U32(0);  // flags
      uint8_t nameBytes[kDatabaseNameBytes] = {};
      const std::u16string wide = Utf8ToUtf16(name);
      for (size_t i = 0; i < wide.size() && i < kDatabaseNameBytes / 2 - 1; ++i) {
        nameBytes[2 * i] = static_cast<uint8_t>(wide[i]);
        nameBytes[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
      }
      out.Bytes(nameBytes, sizeof nameBytes);
      out.U32(0);  // database type
      out.U16(info.wNumRecords);
      out.U16(1);  // one sort order, on the key property
      out.U32(0);  // size
      out.U32(0);  // last modified
      out.U32(0);
      for (uint32_t i = 0; i < kMaxSortOrders; ++i) {
        out.U32(i == 0 ? kKeyProperty : 0);
        out.U32(0);
      }
      break;
    }
    case kOpenDatabase: {
      uint32_t oid = 0, property = 0, flags = 0;
      std::u16string name;
      if (!(wellFormed = in.U32(&oid) && in.U32(&property) && in.U32(&flags) &&
                         (oid != 0 || in.String(&name)))) {
        break;
      }
      const bool byName = oid == 0;
      const CeHandle handle = handheld.CeOpenDatabase(&oid, name, property, flags);
      out.U32(handle == kCeInvalidHandle ? CE_ERROR_FILE_NOT_FOUND : 0);
      out.U32(handle);
      if (byName) out.U32(handle == kCeInvalidHandle ? 0 : oid);
      break;
    }
    case kReadRecordProps: {
      uint32_t handle = 0, flags = 0, unused = 0;
      uint16_t none = 0;
      if (!(wellFormed = in.U32(&handle) && in.U32(&flags) && in.U32(&unused) && in.U32(&unused) &&
                         in.U32(&unused) && in.U16(&none))) {
        break;
      }
      uint16_t count = 0;
      std::vector<uint8_t> buffer;
      const CeOid record = handheld.CeReadRecordProps(handle, flags, &count, &buffer);
      out.U32(record ? 0 : kErrorNoMoreItems);
      out.U32(record);
      if (!record) buffer.clear(), count = 0;
      // The values and their strings travel as they are kept: the string
      // offsets count from the start of the values.
      out.U32(static_cast<uint32_t>(buffer.size()));
      out.U16(count);
      out.Bytes(buffer.data(), buffer.size());
      break;
    }
    case kDeleteRecord: {
      uint32_t handle = 0, record = 0;
      if (!(wellFormed = in.U32(&handle) && in.U32(&record))) break;
      const int ok = handheld.CeDeleteRecord(handle, record);
      out.U32(ok ? 0 : CE_ERROR_FILE_NOT_FOUND);
      out.U32(ok ? 1 : 0);
      break;
    }
    case kSeekDatabase: {
      uint32_t handle = 0, type = 0, value = 0;
      if (!(wellFormed = in.U32(&handle) && in.U32(&type) && in.U32(&value))) break;
      uint32_t index = 0;
      // A seek by value carries a property value the protocol has no room
      // for here: it is refused, as by any handheld that does not know it.
      const CeOid record = type == CEDB_SEEK_VALUEFIRSTEQUAL
                               ? 0
                               : handheld.CeSeekDatabase(handle, type, value, nullptr, &index);
      out.U32(record ? 0 : kErrorNoMoreItems);
      out.U32(record);
      out.U32(index);
      break;
    }
    case kRegOpenKeyEx: {
      uint32_t root = 0;
      std::u16string subKey;
      if (!(wellFormed = in.U32(&root) && in.String(&subKey))) break;
      uint32_t key = 0;
      const int32_t result = handheld.CeRegOpenKeyEx(root, subKey, &key);
      out.U32(static_cast<uint32_t>(result));
      out.U32(static_cast<uint32_t>(result));
      if (result == CE_ERROR_SUCCESS) out.U32(key);
      break;
    }
    case kRegQueryValueEx: {
      uint32_t key = 0, size = 0, capacity = 0, unused = 0;
      bool present = false, wantType = false, wantData = false, haveSize = false;
      std::vector<uint8_t> nameBytes, value, sizeBytes;
      if (!(wellFormed = in.U32(&key) && in.Optional(&present, &size, &nameBytes) &&
                         in.Optional(&present, &unused, &value) &&
                         in.Optional(&wantType, &unused, &value) &&
                         in.Optional(&wantData, &capacity, &value) &&
                         in.Optional(&haveSize, &unused, &sizeBytes))) {
        break;
      }
      if (haveSize && sizeBytes.size() == 4) {
        capacity = sizeBytes[0] | sizeBytes[1] << 8 | sizeBytes[2] << 16 |
                   static_cast<uint32_t>(sizeBytes[3]) << 24;
      }
      if (capacity > kMaxRegistryValue) capacity = kMaxRegistryValue;
      std::vector<uint8_t> data(capacity);
      uint32_t type = 0;
      uint32_t got = capacity;
      const int32_t result = handheld.CeRegQueryValueEx(key, Request::Units(nameBytes), &type,
                                                        wantData ? data.data() : nullptr, &got);
      out.U32(static_cast<uint32_t>(result));
      out.U32(static_cast<uint32_t>(result));
      if (result != CE_ERROR_SUCCESS) break;
      out.OptionalU32(type);
      if (!wantData) {
        out.U32(0);
      } else {
        out.Optional(data.data(), got);
      }
      out.OptionalU32(got);
      break;
    }
    case kRegCloseKey: {
      uint32_t key = 0;
      if (!(wellFormed = in.U32(&key))) break;
      const int32_t result = handheld.CeRegCloseKey(key);
      out.U32(static_cast<uint32_t>(result));
      out.U32(static_cast<uint32_t>(result));
      break;
    }
    default: *reply = Reply::Failure(kNotImplemented); return true;
  }
  *reply = wellFormed ? out : Reply::Failure(kInvalidArgument);
  return true;
}

RapiServer::RapiServer(Options options) : state_(std::make_shared<State>()) {
  state_->options = std::move(options);
}

RapiServer::~RapiServer() { Stop(); }

bool RapiServer::Start() {
  State& s = *state_;
  {
    HandheldImage image(s.options.image);
    if (!image.Open()) {
      s.error = "cannot serve " + s.options.image + ": " + image.error();
      return false;
    }
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string name;
    if (image.RegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", &type, &data) &&
        type == CE_REG_SZ) {
      std::vector<uint8_t> units(data);
      Utf16ToUtf8(Request::Units(units), &name);
    }
    s.handheldName = name;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(s.options.port);
  if (::inet_pton(AF_INET, s.options.address.c_str(), &address.sin_addr) != 1) {
    s.error = "not an IPv4 address: " + s.options.address;
    return false;
  }
  s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (s.listener < 0 ||
      ::bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.listener, 8) != 0) {
    s.error = "cannot listen on " + s.options.address + ":" + std::to_string(s.options.port) +
              ": " + std::strerror(errno);
    if (s.listener >= 0) ::close(s.listener);
    s.listener = -1;
    return false;
  }
  s.acceptor = std::thread(&State::Accept, &s);
  return true;
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
const std::string& RapiServer::handheldName() const { return state_->handheldName; }
const std::string& RapiServer::error() const { return state_->error; }

std::string RapiServer::ConnectionFolder() {
  if (const char* dir = std::getenv("SYNCE_CONF_DIR"); dir && *dir) return dir;
  return HomeFolder() + "/.synce";
}

bool RapiServer::WriteConnectionFile(const std::string& folder, std::string* error) const {
  return WriteConnectionFile(folder,
                             state_->handheldName.empty() ? "Handheld" : state_->handheldName,
                             state_->options.address, error);
}

bool RapiServer::WriteConnectionFile(const std::string& folder, const std::string& deviceName,
                                     const std::string& address, std::string* error) {
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
    if (!out.flush()) {
      *error = "cannot write " + temporary;
      return false;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
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
