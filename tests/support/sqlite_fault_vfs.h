// A file layer for SQLite that behaves like a disk filling up, or like a
// computer losing its power: it passes everything to the system's "unix"
// layer and, for the files it watches, fails every write after a chosen
// number with SQLITE_FULL, or cuts the power at a chosen write or sync.
#pragma once

#include <cstdint>
#include <memory>
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

// While an object lives, the same layer (the default meanwhile) cuts the
// power at a chosen operation on the files it watches: the cutAt-th write,
// sync, truncation or deletion (counted from 1) and everything after it
// fails with SQLITE_IOERR, as in a program whose computer has stopped.
// Recover then puts on disk what a disk holds when the power comes back:
// what was synced stays; every write, truncation and file creation or
// deletion since its file's (or folder's) last sync is kept or lost at
// random, and the last write may be torn (only its first half written). A
// folder is synced by a deletion asked to sync it, and by the first sync of
// a journal SQLite created. One object at a time, not together with an
// SqliteFaultVfs.
class SqlitePowerCut {
 public:
  // cutAt 0 never cuts (to count the operations of an uninterrupted run).
  SqlitePowerCut(std::string watched, int64_t cutAt, uint32_t seed);
  ~SqlitePowerCut();
  SqlitePowerCut(const SqlitePowerCut&) = delete;
  SqlitePowerCut& operator=(const SqlitePowerCut&) = delete;

  bool ok() const { return ok_; }
  bool cut() const;
  // Writes, syncs, truncations and deletions of watched files so far.
  int64_t operations() const;
  // Cuts the power now (when the operation under test has already ended).
  void Cut();
  // Call once every connection to the watched files is closed. False when a
  // file could not be rewritten.
  bool Recover();

 private:
  bool ok_ = false;
};
