// A file layer for SQLite that behaves like a disk filling up.
#include "support/sqlite_fault_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <vector>

namespace {

// The object's settings; SQLite calls the layer from plain C callbacks.
std::mutex gMutex;
std::string gWatched;
std::atomic<int64_t> gRemaining{-1};
std::atomic<int64_t> gWrites{0};
std::atomic<int64_t> gRefused{0};
sqlite3_vfs* gUnix = nullptr;
sqlite3_vfs gVfs;

// The system layer's file follows this header in the same allocation.
struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;
  bool watched;
  int path = -1;  // index into gPaths, for the power cut
};

// What a power cut needs to know of the files it watches.
std::vector<std::string> gPaths;

// One file as a disk holds it: its content at its last sync, and what has
// been done to it since, in order.
struct FileHistory {
  struct Change {
    bool truncate = false;
    int64_t offset = 0;  // or the new size
    std::string data;
    int64_t sequence = 0;
  };
  std::string synced;
  std::vector<Change> changes;
  bool syncsFolder = false;  // a new journal: its first sync syncs the folder
};

// A file created or deleted since the folder's last sync.
struct FolderChange {
  bool create = false;
  std::string path;
  std::shared_ptr<FileHistory> file;  // the file created, or the one deleted
};

struct PowerCutState {
  std::string watched;
  int64_t cutAt = 0;
  std::mt19937 random;
  int64_t operations = 0;
  int64_t sequence = 0;
  bool cut = false;
  std::map<std::string, std::shared_ptr<FileHistory>> files;
  std::vector<FolderChange> folder;
};
std::unique_ptr<PowerCutState> gCut;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Counts an operation on a watched file; false when the power is gone.
bool PowerOn() {
  if (gCut->cut) return false;
  if (++gCut->operations == gCut->cutAt) {
    gCut->cut = true;
    return false;
  }
  return true;
}

std::shared_ptr<FileHistory> History(const std::string& path) {
  auto it = gCut->files.find(path);
  return it == gCut->files.end() ? nullptr : it->second;
}

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

int Close(sqlite3_file* file) { return Real(file)->pMethods->xClose(Real(file)); }
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
// True when the power cut watches the file.
bool CutWatches(sqlite3_file* file) {
  const auto* own = reinterpret_cast<FaultFile*>(file);
  return own->watched && gCut && own->path >= 0;
}

// A change to a file the power cut watches: counted (refused once the power
// is gone), passed on by call, and when it succeeded written down by keep in
// the file's history, if the file has one.
template <typename Call, typename Keep>
int ThroughCut(sqlite3_file* file, Call call, Keep keep) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!PowerOn()) return SQLITE_IOERR;
  const int rc = call();
  const std::string& path = gPaths[reinterpret_cast<FaultFile*>(file)->path];
  if (auto history = History(path); history && rc == SQLITE_OK) keep(*history, path);
  return rc;
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  auto call = [&] { return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset); };
  if (CutWatches(file)) {
    return ThroughCut(file, call, [&](FileHistory& history, const std::string&) {
      history.changes.push_back(
          {false, offset, std::string(static_cast<const char*>(buffer), amount), gCut->sequence++});
    });
  }
  if (reinterpret_cast<FaultFile*>(file)->watched) {
    int64_t remaining = gRemaining.load();
    // A negative count has no limit; otherwise take one write off it.
    while (remaining > 0 && !gRemaining.compare_exchange_weak(remaining, remaining - 1)) {
    }
    if (remaining == 0) {
      ++gRefused;
      return SQLITE_FULL;
    }
    ++gWrites;
  }
  return call();
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  auto call = [&] { return Real(file)->pMethods->xTruncate(Real(file), size); };
  if (!CutWatches(file)) return call();
  return ThroughCut(file, call, [&](FileHistory& history, const std::string&) {
    history.changes.push_back({true, size, {}, gCut->sequence++});
  });
}
int Sync(sqlite3_file* file, int flags) {
  auto call = [&] { return Real(file)->pMethods->xSync(Real(file), flags); };
  if (!CutWatches(file)) return call();
  return ThroughCut(file, call, [](FileHistory& history, const std::string& path) {
    history.synced = ReadWhole(path);
    history.changes.clear();
    if (history.syncsFolder) {
      // The system layer syncs the folder of a journal it created.
      gCut->folder.clear();
      history.syncsFolder = false;
    }
  });
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }
int Unlock(sqlite3_file* file, int level) {
  return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  return m->iVersion >= 2 ? m->xShmMap(Real(file), region, size, extend, out) : SQLITE_IOERR;
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  return m->iVersion >= 2 ? m->xShmLock(Real(file), offset, n, flags) : SQLITE_IOERR;
}
void ShmBarrier(sqlite3_file* file) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  if (m->iVersion >= 2) m->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  return m->iVersion >= 2 ? m->xShmUnmap(Real(file), deleteFlag) : SQLITE_OK;
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  if (m->iVersion >= 3) return m->xFetch(Real(file), offset, amount, out);
  *out = nullptr;
  return SQLITE_OK;
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer) {
  const sqlite3_io_methods* m = Real(file)->pMethods;
  return m->iVersion >= 3 ? m->xUnfetch(Real(file), offset, pointer) : SQLITE_OK;
}

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  auto* own = reinterpret_cast<FaultFile*>(file);
  own->real = reinterpret_cast<sqlite3_file*>(own + 1);
  own->real->pMethods = nullptr;
  own->path = -1;
  bool existed = false;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string& watched = gCut ? gCut->watched : gWatched;
    own->watched = name && !watched.empty() && std::strstr(name, watched.c_str()) != nullptr;
    if (own->watched && gCut) {
      own->path = static_cast<int>(gPaths.size());
      gPaths.emplace_back(name);
      int exists = 0;
      gUnix->xAccess(gUnix, name, SQLITE_ACCESS_EXISTS, &exists);
      existed = exists != 0;
    }
  }
  const int rc = gUnix->xOpen(gUnix, name, own->real, flags, outFlags);
  if (own->watched && gCut && own->path >= 0 && rc == SQLITE_OK) {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string path = gPaths[own->path];
    if (!existed) {
      auto created = std::make_shared<FileHistory>();
      created->syncsFolder =
          (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL | SQLITE_OPEN_WAL)) != 0;
      gCut->files[path] = created;
      gCut->folder.push_back({true, path, created});
    } else if (!History(path)) {
      // A file there before the power cut was set up is on the disk as it is.
      auto kept = std::make_shared<FileHistory>();
      kept->synced = ReadWhole(path);
      gCut->files[path] = kept;
    }
  }
  // SQLite closes a file whose methods are set even when the open failed.
  own->base.pMethods = own->real->pMethods ? &kMethods : nullptr;
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gCut && name && std::strstr(name, gCut->watched.c_str()) != nullptr) {
    if (!PowerOn()) return SQLITE_IOERR_DELETE;
    const int rc = gUnix->xDelete(gUnix, name, syncDir);
    if (rc != SQLITE_OK) return rc;
    if (syncDir) {
      gCut->folder.clear();
    } else {
      gCut->folder.push_back({false, name, History(name)});
    }
    gCut->files.erase(name);
    return rc;
  }
  return gUnix->xDelete(gUnix, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return gUnix->xAccess(gUnix, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return gUnix->xFullPathname(gUnix, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return gUnix->xDlOpen(gUnix, name); }
void DlError(sqlite3_vfs*, int size, char* out) { gUnix->xDlError(gUnix, size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
  return gUnix->xDlSym(gUnix, handle, symbol);
}
void DlClose(sqlite3_vfs*, void* handle) { gUnix->xDlClose(gUnix, handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return gUnix->xRandomness(gUnix, size, out); }
int Sleep(sqlite3_vfs*, int microseconds) { return gUnix->xSleep(gUnix, microseconds); }
int CurrentTime(sqlite3_vfs*, double* out) { return gUnix->xCurrentTime(gUnix, out); }
int GetLastError(sqlite3_vfs*, int size, char* out) {
  return gUnix->xGetLastError ? gUnix->xGetLastError(gUnix, size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return gUnix->xCurrentTimeInt64(gUnix, out);
}

// Registers the layer the first time; false when there is nothing to wrap.
bool Register() {
  static const bool registered = [] {
    gUnix = sqlite3_vfs_find("unix");
    if (!gUnix) return false;
    std::memset(&gVfs, 0, sizeof gVfs);
    gVfs.iVersion = 2;
    gVfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + gUnix->szOsFile;
    gVfs.mxPathname = gUnix->mxPathname;
    gVfs.zName = SqliteFaultVfs::kName;
    gVfs.xOpen = Open;
    gVfs.xDelete = Delete;
    gVfs.xAccess = Access;
    gVfs.xFullPathname = FullPathname;
    gVfs.xDlOpen = DlOpen;
    gVfs.xDlError = DlError;
    gVfs.xDlSym = DlSym;
    gVfs.xDlClose = DlClose;
    gVfs.xRandomness = Randomness;
    gVfs.xSleep = Sleep;
    gVfs.xCurrentTime = CurrentTime;
    gVfs.xGetLastError = GetLastError;
    gVfs.xCurrentTimeInt64 = CurrentTimeInt64;
    return sqlite3_vfs_register(&gVfs, 0) == SQLITE_OK;
  }();
  return registered;
}

}  // namespace

SqliteFaultVfs::SqliteFaultVfs(std::string watched, int64_t writesAllowed) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gWatched = std::move(watched);
  }
  gRemaining = writesAllowed;
  gWrites = 0;
  gRefused = 0;
  ok_ = Register() && sqlite3_vfs_register(&gVfs, 1) == SQLITE_OK;
}

SqliteFaultVfs::~SqliteFaultVfs() {
  if (gUnix) sqlite3_vfs_register(gUnix, 1);
  gRemaining = -1;
  std::lock_guard<std::mutex> lock(gMutex);
  gWatched.clear();
}

void SqliteFaultVfs::AllowWrites(int64_t writesAllowed) { gRemaining = writesAllowed; }
int64_t SqliteFaultVfs::writes() const { return gWrites; }
int64_t SqliteFaultVfs::refused() const { return gRefused; }

SqlitePowerCut::SqlitePowerCut(std::string watched, int64_t cutAt, uint32_t seed) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gCut = std::make_unique<PowerCutState>();
    gCut->watched = std::move(watched);
    gCut->cutAt = cutAt;
    gCut->random.seed(seed);
    gPaths.clear();
  }
  ok_ = Register() && sqlite3_vfs_register(&gVfs, 1) == SQLITE_OK;
}

SqlitePowerCut::~SqlitePowerCut() {
  if (gUnix) sqlite3_vfs_register(gUnix, 1);
  std::lock_guard<std::mutex> lock(gMutex);
  gCut.reset();
}

bool SqlitePowerCut::cut() const {
  std::lock_guard<std::mutex> lock(gMutex);
  return gCut && gCut->cut;
}

void SqlitePowerCut::Cut() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gCut) gCut->cut = true;
}

int64_t SqlitePowerCut::operations() const {
  std::lock_guard<std::mutex> lock(gMutex);
  return gCut ? gCut->operations : 0;
}

bool SqlitePowerCut::Recover() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gCut) return false;
  PowerCutState& state = *gCut;
  std::bernoulli_distribution coin(0.5);
  // The folder keeps its changes up to some point since its last sync.
  const size_t folderKept =
      std::uniform_int_distribution<size_t>(0, state.folder.size())(state.random);
  int64_t last = -1;
  for (const auto& [path, file] : state.files) {
    for (const auto& change : file->changes) last = std::max(last, change.sequence);
  }
  for (const FolderChange& change : state.folder) {
    if (change.file) {
      for (const auto& c : change.file->changes) last = std::max(last, c.sequence);
    }
  }
  // Each path ends as the file its kept folder changes leave there.
  std::map<std::string, std::shared_ptr<FileHistory>> result = state.files;
  std::map<std::string, bool> seen;
  for (const FolderChange& change : state.folder) {
    if (seen[change.path]) continue;
    seen[change.path] = true;
    // Before its first change since the sync, a path held the file deleted
    // first, or nothing when it was created first.
    result[change.path] = change.create ? nullptr : change.file;
  }
  for (size_t i = 0; i < folderKept; ++i) {
    const FolderChange& change = state.folder[i];
    result[change.path] = change.create ? change.file : nullptr;
  }
  bool ok = true;
  for (const auto& [path, file] : result) {
    if (!file) {
      std::remove(path.c_str());
      continue;
    }
    std::string content = file->synced;
    for (const auto& change : file->changes) {
      if (!coin(state.random)) continue;
      if (change.truncate) {
        content.resize(static_cast<size_t>(change.offset));
        continue;
      }
      std::string data = change.data;
      if (change.sequence == last && coin(state.random)) {
        // A torn write: its second half never reached the disk.
        const size_t half = data.size() / 2;
        const size_t end = static_cast<size_t>(change.offset) + data.size();
        std::string before = content.size() > static_cast<size_t>(change.offset) + half
                                 ? content.substr(change.offset + half, end - change.offset - half)
                                 : std::string();
        before.resize(data.size() - half, '\0');
        data.replace(half, std::string::npos, before);
      }
      if (content.size() < change.offset + data.size()) content.resize(change.offset + data.size());
      content.replace(static_cast<size_t>(change.offset), data.size(), data);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    ok = ok && static_cast<bool>(out.flush());
  }
  return ok;
}
