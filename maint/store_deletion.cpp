// Deleting a handheld's store file and its companions.
#include "maint/store_deletion.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sqlite_connection.h"

namespace {

// Unlinks path; true when it is gone (also when it was not there).
bool RemoveFile(const std::string& path, std::string* reason) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  *reason = std::strerror(errno);
  return false;
}

}  // namespace

bool DeleteStoreFiles(const std::string& path, std::string* reason) {
  // The exclusive lock waits until no other program is inside a transaction
  // on the store, and rolls back a journal left by one that died in the
  // middle of one. Holding it, no journal belongs to a transaction in
  // progress, so the companions can go before the store.
  SqliteConnection lock;
  bool locked = false;
  if (lock.Open(path, false) == SQLITE_OK) {
    const int rc = lock.Exec("BEGIN EXCLUSIVE");
    if (rc == SQLITE_BUSY) {
      *reason = lock.errorMessage();
      return false;
    }
    // Any other failure (no database, read-only) leaves the plain deletion.
    locked = rc == SQLITE_OK;
  }
  if (locked) {
    for (const char* suffix : kStoreCompanionSuffixes) {
      if (!RemoveFile(path + suffix, reason)) return false;
    }
    return RemoveFile(path, reason);
  }
  // Unlocked, a journal may still be needed by the store it belongs to: it
  // goes only once the store is gone.
  if (!RemoveFile(path, reason)) return false;
  for (const char* suffix : kStoreCompanionSuffixes) {
    if (!RemoveFile(path + suffix, reason)) return false;
  }
  return true;
}
