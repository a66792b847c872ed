// Reads the four tables of a store the Windows programs wrote (a Jet 3 or
// Jet 4 .mdb, or an Access 2007+ .accdb) through mdbtools' C library, never
// its text output, which loses dates, characters beyond the Basic
// Multilingual Plane and the difference between NULL and empty text.
//
// Jet keeps no checksums: a damaged file reads as values silently changed.
// Every value is therefore checked, and the first one out of range ends the
// read with the table and row it is in. The file is only ever opened for
// reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"
#include "store/records.h"

struct UConverter;  // ICU's converter, for Jet 3 texts

// A time record as it is kept: the exact OLE date of its invoicing.
struct WindowsTimeRecord {
  int32_t id = 0;
  int32_t grpdate = 0;
  int32_t acct = 0;
  int32_t item = 0;
  std::string notes;  // UTF-8, the store's rules applied
  bool invoiced = false;
  double invoicedate = 2.0;  // OLE date; a NULL reads as 1 January 1900
  bool deleted = false;
};

struct WindowsStoreRows {
  std::string format;  // "Jet 3", "Jet 4" or "ACE 12"...
  int codePage = 0;    // the file's own code page (Jet 3 texts are in it)
  std::vector<AccountEntry> accounts;
  std::vector<ItemEntry> items;
  std::vector<WindowsTimeRecord> records;
  std::vector<TimeSpan> spans;
  // Values cut to the store's limits, and the like: said, not refused.
  std::vector<std::string> warnings;
};

// The range of a Jet date: 1 January 100 to 31 December 9999, 23:59:59.
constexpr double kOldestJetDate = -657434.0;
constexpr double kNewestJetDate = 2958465.99999;

class WindowsStoreReader {
 public:
  // encoding: the code page Jet 3 texts are read in (Jet 4 and ACE keep
  // UTF-16 and need none), as iconv names it.
  explicit WindowsStoreReader(std::string encoding = "CP1252") : encoding_(std::move(encoding)) {}

  // Reads the file at path. A failure (Status::kFailed) names the file's
  // fault.
  Status Read(const std::string& path, WindowsStoreRows* rows);
  // The same for a file's bytes in memory (the fuzz target's way in).
  // mdbtools runs in a child process: a file that crashes it, or keeps it
  // busy past kReadSeconds, is refused as damaged.
  Status ReadBytes(const std::string& bytes, WindowsStoreRows* rows);

 private:
  // How long mdbtools may take on one file before it counts as damaged.
  static constexpr unsigned kReadSeconds = 120;
  static Status Check(const std::string& head, uint64_t size);
  // The reading itself, in this process.
  static Status ReadHere(const std::string& bytes, UConverter* codePage, WindowsStoreRows* rows);
  std::string encoding_;
};
