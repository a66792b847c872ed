// The handheld platform played by a handheld image at the dock location.
#include "emulator/emulated_handheld.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <thread>
#include <utility>

#include "emulator/handheld_image.h"
#include "platform/utf16.h"
#include "platform/xdg_paths.h"

namespace {

// Result codes of a connection attempt (HRESULTs, as RAPI gives them).
constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
constexpr int32_t kNoDockFolder = static_cast<int32_t>(0x80070003u);  // path not found
constexpr int32_t kNoHandheld = static_cast<int32_t>(0x80070002u);    // file not found
constexpr int32_t kNotAnImage = static_cast<int32_t>(0x8007000Du);    // invalid data
constexpr int32_t kAborted = static_cast<int32_t>(0x80004004u);
constexpr int32_t kNotStarted = static_cast<int32_t>(0x80004005u);
// Registry results besides those CePlatform names.
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorInvalidParameter = 87;
constexpr int32_t kErrorNotConnected = 1167;

constexpr uint32_t kFirstKeyHandle = 0x100;

// What the caller's thread and the connecting thread share. The thread holds
// its own reference, so the caller may give up waiting and destroy the
// handheld while the attempt is still under way.
struct Attempt {
  std::mutex mutex;
  std::condition_variable wake;
  bool cancelled = false;
  bool connected = false;
  std::string image;  // the docked image, resolved, once connected
};

// Runs off the caller's thread, as a real connection attempt does: the
// caller's 5000 ms wait is a real wait.
void Connect(std::shared_ptr<Attempt> attempt, std::shared_ptr<CeConnectEvent> event,
             std::string dockPath) {
  std::error_code ec;
  const std::filesystem::path image = std::filesystem::canonical(dockPath, ec);
  if (ec || !std::filesystem::is_regular_file(image, ec)) {
    event->Signal(kNoHandheld);
    return;
  }
  const int delay = HandheldImage(image.string()).Delay();
  if (delay < 0) {
    event->Signal(kNotAnImage);
    return;
  }
  std::unique_lock<std::mutex> lock(attempt->mutex);
  if (attempt->wake.wait_for(lock, std::chrono::milliseconds(delay),
                             [&] { return attempt->cancelled; })) {
    lock.unlock();
    event->Signal(kAborted);
    return;
  }
  attempt->image = image.string();
  attempt->connected = true;
  lock.unlock();
  event->Signal(0);
}

bool FolderReadable(const std::string& dockPath) {
  std::filesystem::path folder = std::filesystem::path(dockPath).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec) && ::access(folder.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

std::string DockLocation() {
  // "rapi:" names no image: it asks for the RAPI library instead.
  if (const char* named = std::getenv("HORALOG_HANDHELD");
      named && *named && std::string_view(named) != "rapi:") {
    return named;
  }
  return DataHome() + "/horalog/dock/handheld.hhd";
}

// Reads the next records of an open database on a thread of its own while
// the caller works through the last ones: a full handheld is read in
// hundreds of batches, and reading each beside the work on the one before
// takes most of the image's reading out of a synchronization's time. Only a
// read in order takes what it fetched; every other request waits for it and
// drops it first, so the image's connection is used by one thread at a time.
class AheadFetcher {
 public:
  AheadFetcher() = default;
  AheadFetcher(const AheadFetcher&) = delete;
  AheadFetcher& operator=(const AheadFetcher&) = delete;
  ~AheadFetcher() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Starts reading wanted, the records from sort position from of the
  // database open as handle; with wanted empty, the next count entries of the
  // sort order after the entry after first, then their records. The fetcher
  // is idle: taken or dropped.
  void Start(HandheldImage* image, CeOid database, CeHandle handle, size_t from,
             std::span<const HandheldSortEntry> wanted, HandheldSortEntry after = {},
             size_t count = 0) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      image_ = image;
      database_ = database;
      handle_ = handle;
      from_ = from;
      wanted_.assign(wanted.begin(), wanted.end());
      orderWanted_ = wanted.empty();
      after_ = after;
      count_ = count;
      busy_ = pending_ = true;
    }
    if (!thread_.joinable()) thread_ = std::thread(&AheadFetcher::Run, this);
    wake_.notify_all();
  }

  // Waits for the fetch under way; true, with its records swapped into out,
  // when it read from position from of handle's database and succeeded. The
  // sort order it read itself, if it did, goes to the end of order.
  bool Take(CeHandle handle, size_t from, std::vector<HandheldImage::StoredRecord>* out,
            std::vector<HandheldSortEntry>* order) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return !busy_; });
    if (!std::exchange(pending_, false) || !read_ || handle != handle_ || from != from_ ||
        (orderWanted_ && from != order->size())) {
      return false;
    }
    std::swap(*out, records_);
    if (orderWanted_) order->insert(order->end(), wanted_.begin(), wanted_.end());
    return true;
  }

  // Waits for the fetch under way and forgets it.
  void Drop() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return !busy_; });
    pending_ = false;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return busy_ || quit_; });
      if (quit_) return;
      lock.unlock();
      bool read = true;
      if (orderWanted_) {
        wanted_.clear();
        read = image_->SortOrderAfter(database_, &after_, count_, &wanted_).ok();
      }
      read = read && image_->ReadRecords(database_, wanted_, &records_).ok();
      lock.lock();
      read_ = read;
      busy_ = false;
      wake_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool quit_ = false;
  bool busy_ = false;     // a fetch is under way
  bool pending_ = false;  // a fetch was started and not taken or dropped yet
  bool read_ = false;     // the last fetch succeeded
  HandheldImage* image_ = nullptr;
  CeOid database_ = 0;
  CeHandle handle_ = 0;
  size_t from_ = 0;
  std::vector<HandheldSortEntry> wanted_;
  bool orderWanted_ = false;  // wanted_ is read first, after_ and count_ say which
  HandheldSortEntry after_;
  size_t count_ = 0;
  std::vector<HandheldImage::StoredRecord> records_;
};

struct EmulatedHandheld::State {
  // One open database: its records in sort order, read as far as the reads
  // and seeks have gone (a full handheld's order costs a synchronization
  // 7 ms a database, read ahead beside the store's writes), so a seek by
  // position is an index and a seek by key a binary search.
  struct Database {
    std::string name;
    CeOid oid = 0;
    std::vector<HandheldSortEntry> order;
    bool complete = false;  // order holds every record
    size_t total = 0;       // the records, as counted at open and found since

    // Reads the order on until it holds upTo entries or is complete; false
    // when the image cannot be read.
    bool Extend(HandheldImage& image, size_t upTo) {
      constexpr size_t kPiece = 4096;
      while (!complete && order.size() < upTo) {
        const size_t had = order.size();
        const size_t asked = std::max(kPiece, upTo - had);
        if (!image.SortOrderAfter(oid, had ? &order.back() : nullptr, asked, &order).ok()) {
          order.resize(had);
          return false;
        }
        if (order.size() - had < asked) {
          complete = true;
          total = order.size();
        }
      }
      return true;
    }
    // The same, until the order holds every entry with a key up to key.
    bool ExtendPast(HandheldImage& image, int32_t key) {
      while (!complete && (order.empty() || order.back().key <= key)) {
        if (!Extend(image, order.size() + 1)) return false;
      }
      return true;
    }
    std::set<int64_t> seekFaults, readFaults, shortFaults;
    std::optional<size_t> current;  // sort position of the current record
    bool autoIncrement = false;     // each read moves current on
    // Records fetched ahead of their reads, in sort order; one read or
    // deleted since has object identifier 0. Their buffers are reused by the
    // next fetch.
    std::vector<HandheldImage::StoredRecord> ahead;
    size_t aheadNext = 0;  // where a read in order finds its record

    // The record fetched ahead, or null.
    HandheldImage::StoredRecord* Ahead(CeOid record) {
      if (aheadNext < ahead.size() && ahead[aheadNext].oid == record) {
        return &ahead[aheadNext++];
      }
      for (size_t k = 0; k < ahead.size(); ++k) {
        if (ahead[k].oid == record) {
          aheadNext = k + 1;
          return &ahead[k];
        }
      }
      return nullptr;
    }
  };
  struct Key {
    uint32_t root = 0;
    std::u16string path;
  };

  std::string dockPath;
  std::shared_ptr<Attempt> attempt;
  std::thread connecting;
  std::unique_ptr<HandheldImage> image;  // opened on the first request once connected
  std::map<CeHandle, Database> databases;
  CeHandle nextHandle = 1;
  std::map<uint32_t, Key> keys;
  uint32_t nextKey = kFirstKeyHandle;
  Counters counters;
  AheadFetcher fetcher;

  // The image when the handheld is connected, else null. Any request but a
  // read in order drops the records fetched ahead first (keepAhead false).
  HandheldImage* Connected(bool keepAhead = false) {
    if (!keepAhead) fetcher.Drop();
    if (!attempt) return nullptr;
    std::string path;
    {
      std::lock_guard<std::mutex> lock(attempt->mutex);
      if (!attempt->connected || attempt->cancelled) return nullptr;
      path = attempt->image;
    }
    if (!image) {
      auto opened = std::make_unique<HandheldImage>(path);
      if (!opened->Open().ok()) return nullptr;
      image = std::move(opened);
    }
    return image.get();
  }

  void End() {
    if (attempt) {
      {
        std::lock_guard<std::mutex> lock(attempt->mutex);
        attempt->cancelled = true;
        attempt->connected = false;
      }
      attempt->wake.notify_all();
    }
    // The thread only waits on the attempt, so it ends at once.
    if (connecting.joinable()) connecting.join();
    fetcher.Drop();
    attempt.reset();
    databases.clear();
    keys.clear();
    image.reset();
  }

  Database* Find(CeHandle handle) {
    auto it = databases.find(handle);
    return it == databases.end() ? nullptr : &it->second;
  }
};

EmulatedHandheld::EmulatedHandheld(std::string dockPath) : state_(std::make_unique<State>()) {
  state_->dockPath = std::move(dockPath);
}

EmulatedHandheld::~EmulatedHandheld() { state_->End(); }

const EmulatedHandheld::Counters& EmulatedHandheld::counters() const { return state_->counters; }

int32_t EmulatedHandheld::CeRapiInitEx(RapiInit* init) {
  if (!init || init->cbSize != 12) return kInvalidArgument;
  state_->End();
  if (!FolderReadable(state_->dockPath)) return kNoDockFolder;
  init->heRapiInit = std::make_shared<CeConnectEvent>();
  state_->attempt = std::make_shared<Attempt>();
  state_->connecting = std::thread(Connect, state_->attempt, init->heRapiInit, state_->dockPath);
  return 0;
}

int32_t EmulatedHandheld::CeRapiUninit() {
  const bool started = state_->attempt != nullptr;
  state_->End();
  return started ? 0 : kNotStarted;
}

int32_t EmulatedHandheld::CeRegOpenKeyEx(uint32_t root, const std::u16string& subKey,
                                         uint32_t* key) {
  HandheldImage* image = state_->Connected();
  if (!image) return kErrorNotConnected;
  if (!key) return kErrorInvalidParameter;
  State::Key opened;
  if (!RegistryKey(root, &opened.root, &opened.path)) return kErrorInvalidHandle;
  // An empty sub-key opens the key itself again, as on a device.
  if (!subKey.empty()) opened.path += u"\\" + subKey;
  if (!image->HasRegistryKey(opened.root, opened.path).ok()) return CE_ERROR_FILE_NOT_FOUND;
  *key = state_->nextKey++;
  state_->keys[*key] = std::move(opened);
  return CE_ERROR_SUCCESS;
}

bool EmulatedHandheld::RegistryKey(uint32_t key, uint32_t* root, std::u16string* path) const {
  if (key >= HKEY_CE_CLASSES_ROOT && key <= HKEY_CE_USERS) {
    *root = key;
    path->clear();
    return true;
  }
  auto it = state_->keys.find(key);
  if (it == state_->keys.end()) return false;
  *root = it->second.root;
  *path = it->second.path;
  return true;
}

int32_t EmulatedHandheld::CeRegQueryValueEx(uint32_t key, const std::u16string& name,
                                            uint32_t* type, uint8_t* data, uint32_t* size) {
  HandheldImage* image = state_->Connected();
  if (!image) return kErrorNotConnected;
  State::Key opened;
  if (!RegistryKey(key, &opened.root, &opened.path)) return kErrorInvalidHandle;
  if (data && !size) return kErrorInvalidParameter;
  uint32_t valueType = 0;
  std::vector<uint8_t> value;
  if (!image->RegistryValue(opened.root, opened.path, name, &valueType, &value).ok()) {
    return CE_ERROR_FILE_NOT_FOUND;
  }
  if (type) *type = valueType;
  const auto needed = static_cast<uint32_t>(value.size());
  if (data && *size < needed) {
    *size = needed;
    return CE_ERROR_MORE_DATA;
  }
  if (data) std::copy(value.begin(), value.end(), data);
  if (size) *size = needed;
  return CE_ERROR_SUCCESS;
}

int32_t EmulatedHandheld::CeRegCloseKey(uint32_t key) {
  if (!state_->Connected()) return kErrorNotConnected;
  return state_->keys.erase(key) == 1 ? CE_ERROR_SUCCESS : kErrorInvalidHandle;
}

CeHandle EmulatedHandheld::CeOpenDatabase(CeOid* oid, const std::u16string& name,
                                          uint32_t sortProperty, uint32_t flags) {
  HandheldImage* image = state_->Connected();
  if (!image || !oid) return kCeInvalidHandle;
  // The databases have one sort order, on the key property; 0 asks for it too.
  if (sortProperty != kKeyProperty && sortProperty != 0) return kCeInvalidHandle;
  State::Database db;
  if (*oid != 0) {
    db.oid = *oid;
    if (!image->DatabaseName(db.oid, &db.name).ok()) return kCeInvalidHandle;
  } else {
    if (name.size() > kCeMaxDatabaseName || !Utf16ToUtf8(name, &db.name)) return kCeInvalidHandle;
    if (!image->FindDatabase(db.name, &db.oid).ok()) return kCeInvalidHandle;
    // The faults are kept under the name as the handheld spells it.
    if (!image->DatabaseName(db.oid, &db.name).ok()) return kCeInvalidHandle;
  }
  std::vector<HandheldFaultEntry> faults;
  if (!image->Faults(&faults).ok()) return kCeInvalidHandle;
  for (const HandheldFaultEntry& fault : faults) {
    if (fault.database != db.name) continue;
    switch (fault.what) {
      case HandheldFault::Open: return kCeInvalidHandle;
      case HandheldFault::Count: break;
      case HandheldFault::Seek: db.seekFaults.insert(fault.n); break;
      case HandheldFault::Read: db.readFaults.insert(fault.n); break;
      case HandheldFault::Short: db.shortFaults.insert(fault.n); break;
    }
  }
  const int64_t count = image->RecordCount(db.name);
  if (count < 0) return kCeInvalidHandle;
  db.total = static_cast<size_t>(count);
  if (db.total > 0 && !db.seekFaults.count(0)) db.current = 0;
  db.autoIncrement = (flags & CEDB_AUTOINCREMENT) != 0;
  *oid = db.oid;
  const CeHandle handle = state_->nextHandle++;
  state_->databases[handle] = std::move(db);
  // An open database is read record by record: one read transaction serves
  // them all until the last handle closes.
  image->HoldReads(true);
  return handle;
}

int EmulatedHandheld::CeOidGetInfo(CeOid oid, CeOidInfo* info) {
  HandheldImage* image = state_->Connected();
  std::string name;
  if (!image || !info || !image->DatabaseName(oid, &name).ok()) return 0;
  std::vector<HandheldFaultEntry> faults;
  if (!image->Faults(&faults).ok()) return 0;
  for (const HandheldFaultEntry& fault : faults) {
    if (fault.what == HandheldFault::Count && fault.database == name) return 0;
  }
  const int64_t count = image->RecordCount(name);
  if (count < 0) return 0;
  info->wNumRecords = static_cast<uint16_t>(count);
  return 1;
}

CeOid EmulatedHandheld::CeSeekDatabase(CeHandle handle, uint32_t seekType, uint32_t position,
                                       const CePropVal* key, uint32_t* index) {
  ++state_->counters.seeks;
  HandheldImage* image = state_->Connected();
  State::Database* db = image ? state_->Find(handle) : nullptr;
  if (!db) return 0;
  db->current.reset();
  size_t at = 0;
  if (seekType == CEDB_SEEK_BEGINNING) {
    if (!db->Extend(*image, size_t{position} + 1)) return 0;
    if (position >= db->order.size() || db->seekFaults.count(position)) return 0;
    at = position;
  } else if (seekType == CEDB_SEEK_CEOID) {
    if (!db->Extend(*image, SIZE_MAX)) return 0;
    auto it = std::find_if(db->order.begin(), db->order.end(),
                           [position](const HandheldSortEntry& e) { return e.oid == position; });
    if (it == db->order.end()) return 0;
    at = static_cast<size_t>(it - db->order.begin());
  } else if (seekType == CEDB_SEEK_VALUEFIRSTEQUAL) {
    if (!key || key->propid != kKeyProperty) return 0;
    const auto sought = static_cast<int32_t>(static_cast<uint32_t>(key->value));
    if (!db->ExtendPast(*image, sought)) return 0;
    auto it = std::lower_bound(
        db->order.begin(), db->order.end(), sought,
        [](const HandheldSortEntry& entry, int32_t value) { return entry.key < value; });
    if (it == db->order.end() || it->key != sought) return 0;
    at = static_cast<size_t>(it - db->order.begin());
  } else {
    return 0;
  }
  db->current = at;
  if (index) *index = static_cast<uint32_t>(at);
  return db->order[at].oid;
}

CeOid EmulatedHandheld::CeReadRecordProps(CeHandle handle, uint32_t /*flags*/, uint16_t* propCount,
                                          std::vector<uint8_t>* buffer) {
  ++state_->counters.reads;
  HandheldImage* image = state_->Connected(true);
  State::Database* db = image ? state_->Find(handle) : nullptr;
  if (!db || !db->current || !propCount || !buffer) return 0;
  const size_t at = *db->current;
  if (db->readFaults.count(static_cast<int64_t>(at))) return 0;
  HandheldImage::StoredRecord* fetched =
      at < db->order.size() ? db->Ahead(db->order[at].oid) : nullptr;
  if (!fetched) {
    // Reads mostly go on in order: the next records come in one query, and
    // the ones after them (with their place in the order, when it has not
    // been read that far) on the fetcher's thread.
    constexpr size_t kReadAhead = 256;
    if (!state_->fetcher.Take(handle, at, &db->ahead, &db->order)) {
      const bool known = db->Extend(*image, at + kReadAhead) && at < db->order.size();
      const std::span<const HandheldSortEntry> order(db->order);
      if (!known ||
          !image
               ->ReadRecords(db->oid, order.subspan(at, std::min(kReadAhead, order.size() - at)),
                             &db->ahead)
               .ok()) {
        db->ahead.clear();
      }
    }
    db->aheadNext = 0;
    if (at >= db->order.size()) return 0;
    fetched = db->Ahead(db->order[at].oid);
    const std::span<const HandheldSortEntry> order(db->order);
    if (const size_t next = at + kReadAhead; fetched && next < db->total) {
      if (next < order.size()) {
        state_->fetcher.Start(image, db->oid, handle, next,
                              order.subspan(next, std::min(kReadAhead, order.size() - next)));
      } else if (next == order.size() && !db->complete) {
        state_->fetcher.Start(image, db->oid, handle, next, {}, order.back(), kReadAhead);
      }
    }
  }
  if (!fetched) return 0;
  const CeOid record = fetched->oid;
  fetched->oid = 0;  // taken: a second read fetches it again
  uint16_t count = fetched->count;
  if (db->shortFaults.count(static_cast<int64_t>(at)) && count > 0) {
    std::vector<CeValue> values;
    if (!ReadPropertyBuffer(fetched->buffer, count, &values)) return 0;
    values.pop_back();
    *buffer = BuildPropertyBuffer(values);
    count = static_cast<uint16_t>(values.size());
  } else {
    // Copied into the caller's buffer, whose room is reused record after record.
    buffer->assign(fetched->buffer.begin(), fetched->buffer.end());
  }
  *propCount = count;
  if (db->autoIncrement) {
    // Moving on to a record whose seek is set to fail leaves no current
    // record, so the next read fails as a seek there would.
    const size_t next = at + 1;
    if (next < db->total && !db->seekFaults.count(static_cast<int64_t>(next))) {
      db->current = next;
    } else {
      db->current.reset();
    }
  }
  return record;
}

int EmulatedHandheld::CeDeleteRecord(CeHandle handle, CeOid record) {
  ++state_->counters.deletes;
  HandheldImage* image = state_->Connected();
  State::Database* db = image ? state_->Find(handle) : nullptr;
  if (!db) return 0;
  // Every handle open on the database sees the record gone; a current record
  // behind it moves up with the rest. Their orders are read whole first:
  // after the delete, a record not in one yet could no longer be told from
  // a record of another database.
  for (auto& [h, open] : state_->databases) {
    if (open.oid == db->oid && !open.Extend(*image, SIZE_MAX)) return 0;
  }
  if (!image->DeleteRecord(record).ok()) return 0;
  for (auto& [h, open] : state_->databases) {
    if (open.oid != db->oid) continue;
    for (HandheldImage::StoredRecord& fetched : open.ahead) {
      if (fetched.oid == record) fetched.oid = 0;
    }
    // The record deleted is nearly always the one just sought.
    auto it = open.current && open.order[*open.current].oid == record
                  ? open.order.begin() + static_cast<std::ptrdiff_t>(*open.current)
                  : std::find_if(open.order.begin(), open.order.end(),
                                 [record](const HandheldSortEntry& e) { return e.oid == record; });
    if (it == open.order.end()) continue;
    const size_t at = static_cast<size_t>(it - open.order.begin());
    open.order.erase(it);
    open.total = open.order.size();
    if (open.current && *open.current == at) {
      open.current.reset();
    } else if (open.current && *open.current > at) {
      --*open.current;
    }
  }
  return 1;
}

int EmulatedHandheld::CeCloseHandle(CeHandle handle) {
  HandheldImage* image = state_->Connected();
  if (!image) return 0;
  const bool closed = state_->databases.erase(handle) == 1;
  if (state_->databases.empty()) image->HoldReads(false);
  return closed ? 1 : 0;
}
