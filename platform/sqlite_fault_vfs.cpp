// A file layer for SQLite that behaves like a disk filling up.
#include "platform/sqlite_fault_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <mutex>

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
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

int Close(sqlite3_file* file) { return Real(file)->pMethods->xClose(Real(file)); }
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
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
  return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) { return Real(file)->pMethods->xSync(Real(file), flags); }
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
    3,        Close,     Read,    Write,   Truncate,    Sync,       FileSize,
    Lock,     Unlock,    CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics,
    ShmMap,   ShmLock,   ShmBarrier,        ShmUnmap,    Fetch,      Unfetch,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  auto* own = reinterpret_cast<FaultFile*>(file);
  own->real = reinterpret_cast<sqlite3_file*>(own + 1);
  own->real->pMethods = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    own->watched = name && !gWatched.empty() && std::strstr(name, gWatched.c_str()) != nullptr;
  }
  const int rc = gUnix->xOpen(gUnix, name, own->real, flags, outFlags);
  // SQLite closes a file whose methods are set even when the open failed.
  own->base.pMethods = own->real->pMethods ? &kMethods : nullptr;
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
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
