// A real handheld, reached through SynCE's RAPI library.
//
// The library keeps its connection per thread: the connecting thread makes
// it and lets it go, and the caller's thread selects it before its first
// call. Its calls block until the handheld answers; a watchdog shuts the
// connection's socket down when an answer is overdue, so a handheld
// unplugged without a word fails the call instead of hanging the program.
#include "device/rapi_handheld.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

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

bool ReadLibraryProperties(const uint8_t* buffer, size_t size, uint16_t count,
                           std::vector<CeValue>* out) {
  out->clear();
  if (count == 0) return true;
  if (!buffer || size / sizeof(CEPROPVAL) < count) return false;
  const auto begin = reinterpret_cast<uintptr_t>(buffer);
  const size_t valuesEnd = count * sizeof(CEPROPVAL);
  for (size_t i = 0; i < count; ++i) {
    CEPROPVAL value;
    std::memcpy(&value, buffer + i * sizeof(CEPROPVAL), sizeof value);
    CeValue v;
    v.propid = value.propid;
    switch (value.propid & 0xFFFF) {
      case CEVT_LPWSTR: {
        // The pointer must lead into the strings after the values, and the
        // string must end inside the buffer.
        const auto at = reinterpret_cast<uintptr_t>(value.val.lpwstr);
        if (at < begin + valuesEnd || at >= begin + size) return false;
        if (!ReadTerminatedText(buffer, size, at - begin, &v.text)) return false;
        break;
      }
      case CEVT_I2: v.integer = value.val.iVal; break;
      case CEVT_UI2: v.integer = value.val.uiVal; break;
      case CEVT_BOOL: v.integer = static_cast<int32_t>(value.val.boolVal); break;
      case CEVT_I4:
      case CEVT_UI4: v.integer = static_cast<int32_t>(value.val.lVal); break;
      default: break;  // no other type is read by the desktop
    }
    out->push_back(std::move(v));
  }
  return true;
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
  };
  std::map<CeHandle, OpenDatabase> databases;  // the open handles
  std::map<CeHandle, KeyIndex> indexes;

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
    return true;
  }

  // Reads the current record's values; the record read, or 0 when the read
  // failed or its values do not fit their buffer.
  CEOID ReadValues(CeHandle handle, uint32_t flags, std::vector<CeValue>* values) {
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
      if ((i == 0 || !open.autoIncrement) &&
          !Watched([&] { return synce::CeSeekDatabase(handle, CEDB_SEEK_BEGINNING, i, &at); })) {
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
  state_->databases[handle] = {opened, (flags & CEDB_AUTOINCREMENT) != 0};
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
    const CEOID record =
        state_->Watched([&] { return synce::CeSeekDatabase(handle, seekType, position, &at); });
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
    if (state_->Watched(
            [&] { return synce::CeSeekDatabase(handle, CEDB_SEEK_CEOID, record, &at); })) {
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
