// Deleting a handheld's store file and its companions.
#include "maint/store_deletion.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sqlite_connection.h"

namespace {

// Unlinks path; ok when it is gone (also when it was not there).
Status RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return Status::Ok();
  return Status::Failure(std::strerror(errno));
}

}  // namespace

Status DeleteStoreFiles(const std::string& path) {
  // The exclusive lock waits until no other program is inside a transaction
  // on the store, and rolls back a journal left by one that died in the
  // middle of one. Holding it, no journal belongs to a transaction in
  // progress, so the companions can go before the store.
  SqliteConnection lock;
  bool locked = false;
  if (lock.Open(path, false) == SQLITE_OK) {
    const int rc = lock.Exec("BEGIN EXCLUSIVE");
    if (rc == SQLITE_BUSY) return Status::Failure(lock.errorMessage());
    // Any other failure (no database, read-only) leaves the plain deletion.
    locked = rc == SQLITE_OK;
  }
  if (locked) {
    for (const char* suffix : kStoreCompanionSuffixes) {
      if (Status removed = RemoveFile(path + suffix); !removed.ok()) return removed;
    }
    return RemoveFile(path);
  }
  // Unlocked, a journal may still be needed by the store it belongs to: it
  // goes only once the store is gone.
  if (Status removed = RemoveFile(path); !removed.ok()) return removed;
  for (const char* suffix : kStoreCompanionSuffixes) {
    if (Status removed = RemoveFile(path + suffix); !removed.ok()) return removed;
  }
  return Status::Ok();
}
