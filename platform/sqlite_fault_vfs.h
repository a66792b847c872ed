// A file layer for SQLite that behaves like a disk filling up: it passes
// everything to the system's "unix" layer and, for the files it watches,
// fails every write after a chosen number with SQLITE_FULL.
#pragma once

#include <cstdint>
#include <string>

// While an object lives, its layer is SQLite's default, so every connection
// opened meanwhile (by any part of the programs) goes through it; files whose
// path does not contain the watched text are passed through untouched. One
// object at a time. Destroying it makes "unix" the default again; the layer
// stays registered (under kName) for connections still open.
class SqliteFaultVfs {
 public:
  static constexpr const char* kName = "horalog-fault";

  // Watches files whose path contains watched (a store's file name also
  // matches its "-journal" and "-wal"); the first writesAllowed writes to
  // them succeed, every later one fails with SQLITE_FULL. A negative
  // writesAllowed never fails. False from ok() when SQLite has no "unix"
  // layer or the registration failed.
  SqliteFaultVfs(std::string watched, int64_t writesAllowed);
  ~SqliteFaultVfs();
  SqliteFaultVfs(const SqliteFaultVfs&) = delete;
  SqliteFaultVfs& operator=(const SqliteFaultVfs&) = delete;

  bool ok() const { return ok_; }
  // Changes the number of writes still allowed from now on (negative: no limit).
  void AllowWrites(int64_t writesAllowed);
  // Writes to watched files that went through, and that were refused.
  int64_t writes() const;
  int64_t refused() const;

 private:
  bool ok_ = false;
};
