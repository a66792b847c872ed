// A real handheld, reached through SynCE's RAPI library.
//
// The library keeps its connection per thread: the connecting thread makes
// it and lets it go, and the caller's thread selects it before its first
// call. Its calls block until the handheld answers; a watchdog shuts the
// connection's socket down when an answer is overdue, so a handheld
// unplugged without a word fails the call instead of hanging the program.
#include "rapi/rapi_handheld.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "rapi/dccm_client.h"
#include "rapi/rapi_wire.h"

// After the project's own names: the library defines some of them as macros.
#include <rapi.h>
#include <synce_log.h>

using namespace synce;  // the library's C names

namespace {

constexpr int32_t kNoHandheldKnown = static_cast<int32_t>(0x80070015u);  // device not ready
constexpr int32_t kAbandoned = static_cast<int32_t>(E_ABORT);
constexpr int32_t kNotConnected = static_cast<int32_t>(0x800704C9u);
constexpr int32_t kErrorNotConnected = 1167;

std::vector<WCHAR> Wide(const std::u16string& text) {
  std::vector<WCHAR> wide(text.begin(), text.end());
  wide.push_back(0);
  return wide;
}

// What the connecting thread and the caller share. The thread holds its own
// reference: the caller may give up and go while the attempt is under way.
struct Attempt {
  std::mutex mutex;
  bool cancelled = false;
  RapiConnection* connection = nullptr;  // handed over once connected
  int socket = -1;                       // a duplicate of the connection's socket
  ~Attempt() {
    if (socket >= 0) ::close(socket);
  }
};

void Connect(std::shared_ptr<Attempt> attempt, std::shared_ptr<CeConnectEvent> event,
             RapiConnection* connection) {
  rapi_connection_select(connection);
  HRESULT result = synce::CeRapiInit();
  const bool initialized = SUCCEEDED(result);
  if (initialized) {
    {
      std::lock_guard<std::mutex> lock(attempt->mutex);
      const int fd = rapi_connection_get_fd(connection);
      if (fd >= 0) attempt->socket = ::dup(fd);
      // Given up already: the request below fails at once.
      if (attempt->cancelled && attempt->socket >= 0) ::shutdown(attempt->socket, SHUT_RDWR);
    }
    // The library's connection is only a socket: a request every handheld
    // answers at once, with an answer that cannot overrun anything (closing
    // a handle that does not exist), shows that the handheld is there.
    synce::CeCloseHandle(INVALID_HANDLE_VALUE);
    if (synce::CeRapiGetError() != S_OK) result = synce::CeRapiGetError();
  }
  rapi_connection_select(nullptr);
  bool kept = false;
  if (SUCCEEDED(result)) {
    std::lock_guard<std::mutex> lock(attempt->mutex);
    if (!attempt->cancelled) {
      attempt->connection = connection;
      kept = true;
    }
  }
  if (!kept) {
    rapi_connection_select(connection);
    if (initialized) synce::CeRapiUninit();
    rapi_connection_select(nullptr);
    rapi_connection_destroy(connection);
  }
  event->Signal(kept ? 0 : SUCCEEDED(result) ? kAbandoned : static_cast<int32_t>(result));
}

// Gives up a call that is not answered in time, by shutting the connection's
// socket down (a duplicate descriptor, so it is never one reused meanwhile).
// A call only notes when it began: a record takes one call, and waking a
// thread for each would cost more than the call itself on a fast link. The
// watchdog looks a few times within each timeout instead.
class Watchdog {
 public:
  Watchdog(int socket, int timeoutMs) : socket_(socket), timeout_(timeoutMs) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Begin() { began_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed); }
  void End() { began_.store(kIdle, std::memory_order_relaxed); }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::rep kIdle = std::numeric_limits<Clock::rep>::min();

  void Run() {
    const auto look = std::max<Clock::duration>(timeout_ / 8, std::chrono::milliseconds(1));
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, look, [this] { return stop_; })) {
      Clock::rep began = began_.load(std::memory_order_relaxed);
      // Only the call that is overdue, not one begun since the look.
      if (began != kIdle && Clock::now() - Clock::time_point(Clock::duration(began)) >= timeout_ &&
          began_.compare_exchange_strong(began, kIdle, std::memory_order_relaxed)) {
        ::shutdown(socket_, SHUT_RDWR);
      }
    }
  }

  int socket_;
  std::chrono::milliseconds timeout_;
  std::atomic<Clock::rep> began_{kIdle};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// One database handle's keys, for seeks by value.
struct KeyIndex {
  std::vector<std::pair<int32_t, CeOid>> entries;  // in key order, then database order
};

}  // namespace

namespace {

// Reads count property values at buffer (size bytes), each stride bytes
// long: the type in the first word, the value from the ninth byte on.
// textAt gives where a string value's text starts, counted from buffer; it
// must lie in the texts after the values and end inside the buffer.
template <typename TextAt>
bool ReadValuesAt(const uint8_t* buffer, size_t size, uint16_t count, size_t stride, TextAt textAt,
                  std::vector<CeValue>* out) {
  out->clear();
  if (count == 0) return true;
  if (!buffer || size / stride < count) return false;
  const size_t valuesEnd = count * stride;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* value = buffer + i * stride;
    CeValue v;
    v.propid = RapiLe32(value);
    const uint32_t word = RapiLe32(value + 8);
    switch (v.propid & 0xFFFF) {
      case CEVT_LPWSTR: {
        const uint64_t at = textAt(value + 8);
        if (at < valuesEnd || at >= size) return false;
        if (!ReadTerminatedText(buffer, size, at, &v.text)) return false;
        break;
      }
      case CEVT_I2:
      case CEVT_BOOL: v.integer = static_cast<int16_t>(word & 0xFFFF); break;
      case CEVT_UI2: v.integer = static_cast<int32_t>(word & 0xFFFF); break;
      case CEVT_I4:
      case CEVT_UI4: v.integer = static_cast<int32_t>(word); break;
      default: break;  // no other type is read by the desktop
    }
    out->push_back(std::move(v));
  }
  return true;
}

// A record read sent straight over the connection's socket, with others in
// one go (the library sends one request and waits for its answer, so a full
// handheld would cost a round trip a record).
struct AheadRead {
  CeOid record = 0;       // 0: the read failed
  int32_t rapiError = 0;  // the call's result, as the library would give it
  std::vector<CeValue> values;
};

constexpr size_t kLongestAnswer = 4 << 20;  // a record's values are far smaller
// Reads sent in one go: a full handheld's records in a few hundred round
// trips, their answers in a few hundred kilobytes. HORALOG_RAPI_READ_AHEAD
// sets fewer (1: every read through the library, one at a time), for a
// handheld that would not take a request before it has answered the last.
size_t MostReadAhead() {
  const char* set = std::getenv("HORALOG_RAPI_READ_AHEAD");
  const long most = set && *set ? std::strtol(set, nullptr, 10) : 256;
  return static_cast<size_t>(std::clamp(most, 1L, 256L));
}

// One answer to a record read: the call's result, then the read's answer.
AheadRead ReadAnswer(const uint8_t* body, size_t length) {
  AheadRead read;
  RapiReader in(body, length);
  uint32_t hresult = 0;
  if (!in.AnswerStart(&hresult)) {
    read.rapiError = static_cast<int32_t>(E_FAIL);  // no answer at all
    return read;
  }
  read.rapiError = static_cast<int32_t>(hresult);
  RapiRecordReadAnswer answer;
  if (hresult != 0 || !ReadRecordReadAnswer(in, &answer)) return read;
  if (answer.record != 0 &&
      ReadWireProperties(answer.values, answer.size, answer.count, &read.values)) {
    read.record = answer.record;
  }
  return read;
}

// After a send or receive that moved nothing with errno set: true when the
// call may be tried again. The socket dccm hands over is non-blocking, so
// "not yet" (EAGAIN) is the common case on a slow link, not a lost one: the
// wait is bounded by the watchdog, whose shutdown wakes the poll, and the
// call after it then fails for good.
bool Retry(int socket, short event) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd waiting{socket, event, 0};
  while (::poll(&waiting, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Sends count reads of the handle's next records and keeps their answers,
// up to the first failed one. Every answer is read whole, by its length, so
// the connection stays in step for the library's next call; when the link
// fails it is shut down (the library's calls then fail too) and the last
// read kept says so.
void ReadAhead(int socket, uint32_t handle, uint32_t flags, size_t count,
               std::vector<uint8_t>& inbox, std::deque<AheadRead>* out) {
  std::vector<uint8_t> requests;
  for (size_t i = 0; i < count; ++i) AppendRecordReadRequest({handle, flags}, &requests);
  bool linked = true;
  for (size_t sent = 0; linked && sent < requests.size();) {
    const ssize_t put =
        ::send(socket, requests.data() + sent, requests.size() - sent, MSG_NOSIGNAL);
    if (put > 0) {
      sent += static_cast<size_t>(put);
    } else {
      linked = put < 0 && Retry(socket, POLLOUT);
    }
  }
  // The answers as they arrive, in inbox (kept from call to call, grown
  // only for an answer longer than it) from start to end.
  if (inbox.size() < 256 * 1024) inbox.resize(256 * 1024);
  size_t start = 0, end = 0;
  auto have = [&](size_t n) {
    while (linked && end - start < n) {
      std::memmove(inbox.data(), inbox.data() + start, end - start);
      end -= start;
      start = 0;
      if (inbox.size() < n) inbox.resize(n);
      const ssize_t got = ::recv(socket, inbox.data() + end, inbox.size() - end, 0);
      if (got > 0) {
        end += static_cast<size_t>(got);
      } else {
        linked = got < 0 && Retry(socket, POLLIN);
      }
    }
    return linked;
  };
  bool keeping = true;
  for (size_t i = 0; i < count && linked; ++i) {
    if (!have(kRapiLengthSize)) break;
    const uint32_t length = RapiLe32(inbox.data() + start);
    if (length > kLongestAnswer || !have(kRapiLengthSize + size_t{length})) {
      linked = false;
      break;
    }
    const uint8_t* body = inbox.data() + start + kRapiLengthSize;
    start += kRapiLengthSize + length;
    if (!keeping) continue;
    out->push_back(ReadAnswer(body, length));
    keeping = out->back().record != 0;
  }
  if (!linked) {
    ::shutdown(socket, SHUT_RDWR);
    if (keeping) out->push_back({0, static_cast<int32_t>(E_FAIL), {}});
  }
}

}  // namespace

bool ReadLibraryProperties(const uint8_t* buffer, size_t size, uint16_t count,
                           std::vector<CeValue>* out) {
  const auto begin = reinterpret_cast<uintptr_t>(buffer);
  static_assert(offsetof(CEPROPVAL, val) == 8, "the library's values begin as on the wire");
  return ReadValuesAt(
      buffer, size, count, sizeof(CEPROPVAL),
      [begin](const uint8_t* value) {
        LPWSTR text;
        std::memcpy(&text, value, sizeof text);
        // A pointer before the buffer wraps round to beyond any size.
        return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(text) - begin);
      },
      out);
}

bool ReadWireProperties(const uint8_t* buffer, size_t size, uint16_t count,
                        std::vector<CeValue>* out) {
  return ReadValuesAt(
      buffer, size, count, kCePropValSize,
      [](const uint8_t* value) { return uint64_t{RapiLe32(value)}; }, out);
}

struct RapiHandheld::State {
  int callTimeoutMs;
  std::shared_ptr<Attempt> attempt;
  RapiConnection* connection = nullptr;  // once taken over from the attempt
  std::optional<std::thread::id> selectedOn;
  std::unique_ptr<Watchdog> watchdog;
  int32_t linkError = 0;
  struct OpenDatabase {
    CeOid oid = 0;
    bool autoIncrement = false;  // opened with CEDB_AUTOINCREMENT
    // The current record's index, while it is known, and the records
    // already read ahead of the caller from it on.
    std::optional<uint32_t> position = 0;
    std::deque<AheadRead> ahead;
    void Moved(std::optional<uint32_t> to) {
      position = to;
      ahead.clear();
    }
  };
  std::map<CeOid, uint16_t> counts;  // each database's last record count
  size_t mostReadAhead = MostReadAhead();
  std::vector<uint8_t> wire;                   // the answers to reads read ahead, as they arrive
  std::map<CeHandle, OpenDatabase> databases;  // the open handles
  std::map<CeHandle, KeyIndex> indexes;
  std::string locked;  // the connection manager's object of a locked handheld

  // The connection, selected on the calling thread and watched, or null.
  RapiConnection* Connected() {
    if (!connection && attempt) {
      std::lock_guard<std::mutex> lock(attempt->mutex);
      connection = std::exchange(attempt->connection, nullptr);
      if (connection && attempt->socket >= 0) {
        watchdog = std::make_unique<Watchdog>(attempt->socket, callTimeoutMs);
      }
    }
    if (connection && selectedOn != std::this_thread::get_id()) {
      rapi_connection_select(connection);
      selectedOn = std::this_thread::get_id();
    }
    return connection;
  }

  // Runs one library call under the watchdog and keeps the link's result.
  template <typename Call>
  auto Watched(Call call) {
    if (watchdog) watchdog->Begin();
    auto result = call();
    if (watchdog) watchdog->End();
    linkError = static_cast<int32_t>(synce::CeRapiGetError());
    return result;
  }

  void End() {
    if (attempt) {
      std::lock_guard<std::mutex> lock(attempt->mutex);
      attempt->cancelled = true;
      // An attempt still waiting for its answer fails at once.
      if (!attempt->connection && !connection && attempt->socket >= 0) {
        ::shutdown(attempt->socket, SHUT_RDWR);
      }
      if (!connection) connection = std::exchange(attempt->connection, nullptr);
    }
    watchdog.reset();
    if (connection) {
      if (selectedOn != std::this_thread::get_id()) rapi_connection_select(connection);
      synce::CeRapiUninit();
      rapi_connection_select(nullptr);
      rapi_connection_destroy(connection);
    }
    connection = nullptr;
    selectedOn.reset();
    attempt.reset();
    databases.clear();
    indexes.clear();
    counts.clear();
    linkError = 0;
  }

  // The database's record count; false when it cannot be taken.
  bool RecordCount(CeOid database, uint16_t* count) {
    // The library copies as much of the answer as the handheld says into
    // the structure: room for the largest it can say.
    std::vector<uint8_t> room(sizeof(CEOIDINFO) + 0x10000);
    auto* info = reinterpret_cast<CEOIDINFO*>(room.data());
    if (!Watched([&] { return synce::CeOidGetInfo(database, info); }) ||
        info->wObjType != OBJTYPE_DATABASE) {
      return false;
    }
    *count = info->u.infDatabase.wNumRecords;
    counts[database] = *count;
    return true;
  }

  // Moves the handle onto a record; the record, or 0.
  CEOID Seek(CeHandle handle, DWORD seekType, DWORD value, DWORD* index) {
    const CEOID record =
        Watched([&] { return synce::CeSeekDatabase(handle, seekType, value, index); });
    if (auto open = databases.find(handle); open != databases.end()) {
      const bool knownIndex = seekType == CEDB_SEEK_BEGINNING || seekType == CEDB_SEEK_CEOID;
      open->second.Moved(record != 0 && knownIndex ? std::optional<uint32_t>(*index)
                                                   : std::nullopt);
    }
    return record;
  }

  // Reads the current record's values; the record read, or 0 when the read
  // failed or its values do not fit their buffer. On a handle that moves on
  // by itself, from a known record of a database whose count is known, the
  // records left are read ahead in one go (a round trip for many).
  CEOID ReadValues(CeHandle handle, uint32_t flags, std::vector<CeValue>* values) {
    auto open = databases.find(handle);
    if (open == databases.end() || !open->second.autoIncrement) {
      return ReadOne(handle, flags, values);
    }
    OpenDatabase& db = open->second;
    const auto count = counts.find(db.oid);
    if (db.ahead.empty() && db.position && count != counts.end() &&
        count->second > *db.position + 1 && mostReadAhead > 1 && attempt && attempt->socket >= 0) {
      if (watchdog) watchdog->Begin();
      ReadAhead(attempt->socket, handle, flags | CEDB_ALLOWREALLOC,
                std::min<size_t>(mostReadAhead, count->second - *db.position), wire, &db.ahead);
      if (watchdog) watchdog->End();
    }
    CEOID record = 0;
    if (db.ahead.empty()) {
      record = ReadOne(handle, flags, values);
    } else {
      AheadRead& next = db.ahead.front();
      linkError = next.rapiError;
      record = next.record;
      *values = std::move(next.values);
      db.ahead.pop_front();
    }
    // A failed read leaves no current record the desktop can know of.
    if (record == 0)
      db.Moved(std::nullopt);
    else if (db.position)
      ++*db.position;
    return record;
  }

  CEOID ReadOne(CeHandle handle, uint32_t flags, std::vector<CeValue>* values) {
    WORD count = 0;
    LPBYTE data = nullptr;
    DWORD size = 0;
    const CEOID record = Watched([&] {
      return synce::CeReadRecordProps(handle, flags | CEDB_ALLOWREALLOC, &count, nullptr, &data,
                                      &size);
    });
    const bool read = record != 0 && ReadLibraryProperties(data, size, count, values);
    if (data) CeRapiFreeBuffer(data);
    return read ? record : 0;
  }

  // Reads every record's key in database order (one request a record when
  // the handle moves on by itself, else a seek before each read); false
  // when the read did not reach the end.
  bool BuildIndex(CeHandle handle, KeyIndex* index) {
    const OpenDatabase& open = databases[handle];
    uint16_t count = 0;
    if (!RecordCount(open.oid, &count)) return false;
    for (uint16_t i = 0; i < count; ++i) {
      DWORD at = 0;
      if ((i == 0 || !open.autoIncrement) && !Seek(handle, CEDB_SEEK_BEGINNING, i, &at)) {
        return false;
      }
      std::vector<CeValue> values;
      const CEOID record = ReadValues(handle, 0, &values);
      if (record == 0) return false;
      for (const CeValue& v : values) {
        if (v.propid == kKeyProperty) {
          index->entries.emplace_back(v.integer, record);
          break;
        }
      }
    }
    std::stable_sort(index->entries.begin(), index->entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return true;
  }
};

RapiHandheld::RapiHandheld(int callTimeoutMs) : state_(std::make_unique<State>()) {
  state_->callTimeoutMs = callTimeoutMs;
  // The library reports every refused request on the terminal.
  synce_log_set_level(SYNCE_LOG_LEVEL_LOWEST);
}

RapiHandheld::~RapiHandheld() { state_->End(); }

int32_t RapiHandheld::CeRapiInitEx(RapiInit* init) {
  if (!init || init->cbSize != 12) return static_cast<int32_t>(E_INVALIDARG);
  state_->End();
  RapiConnection* connection = rapi_connection_from_name(nullptr);
  if (!connection) return kNoHandheldKnown;
  init->heRapiInit = std::make_shared<CeConnectEvent>();
  state_->attempt = std::make_shared<Attempt>();
  std::thread(Connect, state_->attempt, init->heRapiInit, connection).detach();
  return 0;
}

int32_t RapiHandheld::CeRapiUninit() {
  const bool started = state_->attempt != nullptr;
  state_->End();
  return started ? 0 : static_cast<int32_t>(E_FAIL);
}

int32_t RapiHandheld::CeRapiGetError() {
  if (!state_->Connected()) return kNotConnected;
  return state_->linkError;
}

bool RapiHandheld::CeLocked(std::string* name) {
  std::vector<DccmDevice> devices;
  state_->locked.clear();
  if (!ListDccmDevices(&devices).ok()) return false;
  for (const DccmDevice& device : devices) {
    if (device.passwordFlags == "provide") {
      state_->locked = device.path;
      if (name) *name = device.name;
      return true;
    }
  }
  return false;
}

int32_t RapiHandheld::CeUnlock(const std::string& password) {
  if (state_->locked.empty()) return 0;
  switch (UnlockDccmDevice(state_->locked, password).outcome) {
    case DccmUnlock::Unlocked: state_->locked.clear(); return 0;
    case DccmUnlock::Refused: return kCePasswordRefused;
    case DccmUnlock::Failed: break;
  }
  return static_cast<int32_t>(E_FAIL);
}

int32_t RapiHandheld::CeRegOpenKeyEx(uint32_t root, const std::u16string& subKey, uint32_t* key) {
  if (!state_->Connected()) return kErrorNotConnected;
  std::vector<WCHAR> wide = Wide(subKey);
  HKEY opened = 0;
  const LONG result = state_->Watched(
      [&] { return synce::CeRegOpenKeyEx(static_cast<HKEY>(root), wide.data(), 0, 0, &opened); });
  if (result == ERROR_SUCCESS && key) *key = static_cast<uint32_t>(opened);
  return result;
}

int32_t RapiHandheld::CeRegQueryValueEx(uint32_t key, const std::u16string& name, uint32_t* type,
                                        uint8_t* data, uint32_t* size) {
  if (!state_->Connected()) return kErrorNotConnected;
  std::vector<WCHAR> wide = Wide(name);
  const uint32_t capacity = size ? *size : 0;
  // The library copies up to twice the size asked for (it counts the size
  // in UTF-16 units): the value goes to a buffer with that room first.
  std::vector<uint8_t> room(static_cast<size_t>(capacity) * 2 + 4);
  DWORD valueType = 0;
  DWORD got = capacity;
  const LONG result = state_->Watched([&] {
    return synce::CeRegQueryValueEx(static_cast<HKEY>(key), wide.data(), nullptr, &valueType,
                                    data ? room.data() : nullptr, size ? &got : nullptr);
  });
  if (result != ERROR_SUCCESS) return result;
  if (type) *type = valueType;
  if (size) {
    if (data && got > capacity) {
      *size = got;
      return ERROR_MORE_DATA;
    }
    *size = got;
  }
  if (data) std::copy_n(room.begin(), std::min(got, capacity), data);
  return ERROR_SUCCESS;
}

int32_t RapiHandheld::CeRegCloseKey(uint32_t key) {
  if (!state_->Connected()) return kErrorNotConnected;
  return state_->Watched([&] { return synce::CeRegCloseKey(static_cast<HKEY>(key)); });
}

CeHandle RapiHandheld::CeOpenDatabase(CeOid* oid, const std::u16string& name, uint32_t sortProperty,
                                      uint32_t flags) {
  if (!state_->Connected() || !oid) return kCeInvalidHandle;
  std::vector<WCHAR> wide = Wide(name);
  CEOID opened = *oid;
  const HANDLE handle = state_->Watched(
      [&] { return synce::CeOpenDatabase(&opened, wide.data(), sortProperty, flags, 0); });
  if (handle == INVALID_HANDLE_VALUE) return kCeInvalidHandle;
  *oid = opened;
  State::OpenDatabase& open = state_->databases[handle] = {};
  open.oid = opened;
  open.autoIncrement = (flags & CEDB_AUTOINCREMENT) != 0;
  return handle;
}

int RapiHandheld::CeOidGetInfo(CeOid oid, CeOidInfo* info) {
  if (!state_->Connected() || !info) return 0;
  return state_->RecordCount(oid, &info->wNumRecords) ? 1 : 0;
}

CeOid RapiHandheld::CeSeekDatabase(CeHandle handle, uint32_t seekType, uint32_t position,
                                   const CePropVal* key, uint32_t* index) {
  if (!state_->Connected()) return 0;
  DWORD at = 0;
  if (seekType != CEDB_SEEK_VALUEFIRSTEQUAL) {
    const CEOID record = state_->Seek(handle, seekType, position, &at);
    if (index) *index = at;
    return record;
  }
  if (!key || key->propid != kKeyProperty || !state_->databases.count(handle)) return 0;
  auto found = state_->indexes.find(handle);
  if (found == state_->indexes.end()) {
    KeyIndex built;
    if (!state_->BuildIndex(handle, &built)) return 0;
    found = state_->indexes.emplace(handle, std::move(built)).first;
  }
  const auto sought = static_cast<int32_t>(static_cast<uint32_t>(key->value));
  std::vector<std::pair<int32_t, CeOid>>& entries = found->second.entries;
  auto it = std::lower_bound(entries.begin(), entries.end(), sought,
                             [](const auto& entry, int32_t value) { return entry.first < value; });
  while (it != entries.end() && it->first == sought) {
    // The record becomes the current one, as a seek by value leaves it.
    const CeOid record = it->second;
    if (state_->Seek(handle, CEDB_SEEK_CEOID, record, &at)) {
      if (index) *index = at;
      return record;
    }
    if (state_->linkError != 0) return 0;
    it = entries.erase(it);  // gone meanwhile
  }
  return 0;
}

CeOid RapiHandheld::CeReadRecordProps(CeHandle handle, uint32_t flags, uint16_t* propCount,
                                      std::vector<uint8_t>* buffer) {
  if (!state_->Connected() || !propCount || !buffer) return 0;
  std::vector<CeValue> values;
  const CEOID record = state_->ReadValues(handle, flags, &values);
  if (record == 0) return 0;
  *buffer = BuildPropertyBuffer(values);
  *propCount = static_cast<uint16_t>(values.size());
  return record;
}

int RapiHandheld::CeDeleteRecord(CeHandle handle, CeOid record) {
  if (!state_->Connected()) return 0;
  const BOOL deleted = state_->Watched([&] { return synce::CeDeleteRecord(handle, record); });
  // The records behind it move up, and the count goes down.
  if (auto open = state_->databases.find(handle); open != state_->databases.end()) {
    open->second.Moved(std::nullopt);
    state_->counts.erase(open->second.oid);
  }
  if (deleted) {
    for (auto& [h, index] : state_->indexes) {
      std::erase_if(index.entries, [record](const auto& e) { return e.second == record; });
    }
  }
  return deleted ? 1 : 0;
}

int RapiHandheld::CeCloseHandle(CeHandle handle) {
  if (!state_->Connected()) return 0;
  state_->databases.erase(handle);
  state_->indexes.erase(handle);
  return state_->Watched([&] { return synce::CeCloseHandle(handle); }) ? 1 : 0;
}

bool RapiHandheld::Describe(std::string* name, std::string* address) {
  synce_log_set_level(SYNCE_LOG_LEVEL_LOWEST);
  SynceInfo* info = synce_info_new(nullptr);
  if (!info) return false;
  const char* n = synce_info_get_name(info);
  const char* ip = synce_info_get_device_ip(info);
  *name = n ? n : "";
  *address = ip ? ip : "";
  synce_info_destroy(info);
  return true;
}
