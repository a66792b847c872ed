// Brings a store the Windows programs wrote into the Linux store of its
// handheld: every account, item, time record (invoiced ones included, which
// no longer exist on the handheld) and span, values checked one by one.
//
// All or nothing: the new store is written in one transaction into a file
// beside the store, made from the template, and renamed over the store only
// once complete, so a failure or a killed process leaves the store as it was
// (at most an unfinished "<store>.importing" beside it, which the next
// import removes). The Windows file is never opened for writing.
//
// Records imported are stored exactly as a synchronization stores them: the
// next synchronization replaces the uninvoiced ones from the handheld and
// keeps the invoiced ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"
#include "store/store_location.h"

class SqliteConnection;
struct WindowsStoreRows;

// Writes rows into the empty store at path (a copy of the template) in one
// transaction, by one prepared statement per table. On failure SQLite's
// reason (Status::kFailed), and nothing written.
Status WriteImportedRows(const std::string& path, const WindowsStoreRows& rows);

class WindowsStoreImport {
 public:
  struct Options {
    std::string source;               // the Windows store (.mdb or .accdb)
    std::string device;               // the handheld; empty: the source's file name
    bool replace = false;             // replace a store that holds records
    std::string encoding = "CP1252";  // the code page of Jet 3 texts
  };

  struct Result {
    // Imported, or a failure (Status::kFailed) that says why nothing was.
    Status status = Status::Ok();
    std::vector<std::string> warnings;
    std::string device;
    std::string storePath;
    std::string keptAs;   // where the store that was replaced is kept, if any
    std::string movedTo;  // where a Windows store found at the store path went
    std::string format;   // "Jet 4"...
    size_t accounts = 0, items = 0, records = 0, spans = 0;
    int32_t firstDay = 0, lastDay = 0;  // packed days; 0 without records
  };

  explicit WindowsStoreImport(StoreFolders folders) : folders_(std::move(folders)) {}

  Result Run(const Options& options) const;

  // The lines horalog prints for a result.
  static std::vector<std::string> Summary(const Result& result);
  // "Pocket_PC" for ".../Pocket_PC.mdb" or "Pocket_PC.windows.mdb".
  static std::string DeviceFromFileName(const std::string& path);

 private:
  // The steps of Run: whether the store there now may be replaced (old
  // then holds its write lock), and the new store written and put in place.
  static Status MayReplace(const Options& options, const std::string& base, SqliteConnection* old,
                           Result* result);
  Status WriteNewStore(const std::string& part, const WindowsStoreRows& rows) const;
  static Status PutInPlace(const std::string& part, const Result& result);

  StoreFolders folders_;
};
