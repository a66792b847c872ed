// Brings a store the Windows programs wrote into the Linux store of its handheld.
#include "store/windows_store_import.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_system.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/store_file_kind.h"
#include "store/windows_store_reader.h"

namespace {

namespace fs = std::filesystem;

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Errno(int err) { return std::strerror(err); }

// Gives the file at from a second name, to, never over another file; a
// copy where the file system has no links. A name already given to the
// same file (by an import killed before it ended) is fine.
int KeepAs(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  if (err == EEXIST && SameFile(from, to)) return 0;
  if (err != EPERM && err != EXDEV && err != ENOTSUP) return err;
  return CopyFileNoOverwrite(from, to);
}

// A rename survives a power cut only once its folder is on disk.
void SyncFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A lock file beside a Jet file means a Windows program may still have it
// open (or crashed while it did).
std::string LockFileBeside(const std::string& source) {
  const fs::path path(source);
  for (const char* extension : {".ldb", ".laccdb", ".LDB", ".LACCDB"}) {
    fs::path lock = path;
    lock.replace_extension(extension);
    if (Exists(lock.string())) return lock.string();
  }
  return "";
}

std::string DayText(int32_t grpdate) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", PackedYear(grpdate), PackedMonth(grpdate),
                PackedDay(grpdate));
  return text;
}

}  // namespace

Status WriteImportedRows(const std::string& path, const WindowsStoreRows& rows) {
  SqliteConnection connection;
  if (connection.Open(path, false) != SQLITE_OK ||
      connection.Exec("BEGIN IMMEDIATE") != SQLITE_OK) {
    return Status::Failure(connection.errorMessage());
  }
  SqliteStatement account, item, record, span;
  bool ok = account.Prepare(connection, "INSERT INTO accountName VALUES (?, ?)") == SQLITE_OK &&
            item.Prepare(connection, "INSERT INTO itemName VALUES (?, ?, ?)") == SQLITE_OK &&
            record.Prepare(connection, "INSERT INTO hlgroup VALUES (?, ?, ?, ?, ?, ?, ?, ?)") ==
                SQLITE_OK &&
            span.Prepare(connection, "INSERT INTO hltime VALUES (?, ?, ?)") == SQLITE_OK;
  // Each row bound by bind and inserted by statement, until one fails.
  auto insertEach = [&ok](SqliteStatement& statement, const auto& list, auto bind) {
    for (size_t i = 0; ok && i < list.size(); ++i) {
      bind(list[i]);
      ok = ok && statement.Step() == SQLITE_DONE && statement.Reset() == SQLITE_OK;
    }
  };
  insertEach(account, rows.accounts, [&](const auto& row) {
    account.BindInt64(1, row.id);
    account.BindText(2, row.name);
  });
  insertEach(item, rows.items, [&](const auto& row) {
    item.BindInt64(1, row.id);
    item.BindInt64(2, row.parent);
    item.BindText(3, row.name);
  });
  insertEach(record, rows.records, [&](const WindowsTimeRecord& r) {
    record.BindInt64(1, r.id);
    record.BindInt64(2, r.grpdate);
    record.BindInt64(3, r.acct);
    record.BindInt64(4, r.item);
    record.BindText(5, r.notes);
    record.BindInt64(6, r.invoiced ? 1 : 0);
    record.BindDouble(7, r.invoicedate);
    record.BindInt64(8, r.deleted ? 1 : 0);
  });
  insertEach(span, rows.spans, [&](const auto& row) {
    span.BindInt64(1, row.parent);
    span.BindInt64(2, row.starttime);
    span.BindInt64(3, row.duration);
  });
  account.Finalize();
  item.Finalize();
  record.Finalize();
  span.Finalize();
  if (!ok || connection.Exec("COMMIT") != SQLITE_OK) {
    Status failure = Status::Failure(connection.errorMessage());
    connection.Exec("ROLLBACK");
    return failure;
  }
  return Status::Ok();
}

std::string WindowsStoreImport::DeviceFromFileName(const std::string& path) {
  std::string name = fs::path(path).stem().string();
  const std::string windows = ".windows";
  if (name.size() > windows.size() &&
      name.compare(name.size() - windows.size(), windows.size(), windows) == 0) {
    name.resize(name.size() - windows.size());
  }
  return name;
}

Status WindowsStoreImport::MayReplace(const Options& options, const std::string& base,
                                      SqliteConnection* old, Result* result) {
  const StoreFileKind kind = DetectStoreFileKind(result->storePath);
  const bool convertInPlace = IsWindowsStore(kind) && SameFile(options.source, result->storePath);
  bool keep = false;
  if (kind == StoreFileKind::Sqlite) {
    sqlite3_int64 held = 0;
    SqliteStatement count;
    if (old->Open(result->storePath, false) != SQLITE_OK ||
        old->Exec("BEGIN IMMEDIATE") != SQLITE_OK ||
        count.Prepare(*old, "SELECT count(*) FROM hlgroup") != SQLITE_OK ||
        count.Step() != SQLITE_ROW) {
      // A store that cannot be read holds what no one can tell.
      keep = true;
    } else {
      held = count.ColumnInt64(0);
      keep = held > 0;
    }
    count.Finalize();
    if (keep && !options.replace) {
      return Status::Failure(
          "the store of " + result->device + " (" + result->storePath + ") already holds " +
          (held > 0 ? std::to_string(held) + " time records" : "data that cannot be read") +
          ": nothing was imported. --replace keeps it as " + base +
          ".before-import.mdb and replaces it");
    }
  } else if (kind == StoreFileKind::Other || (IsWindowsStore(kind) && !convertInPlace)) {
    keep = true;
    if (!options.replace) {
      return Status::Failure("the store of " + result->device + " (" + result->storePath + ") is " +
                             (kind == StoreFileKind::Other
                                  ? "a file that is no store"
                                  : "another Windows store, not yet imported") +
                             ": nothing was imported. --replace keeps it as " + base +
                             ".before-import.mdb and replaces it");
    }
  }
  if (keep) result->keptAs = base + ".before-import.mdb";
  if (convertInPlace) result->movedTo = base + ".windows.mdb";
  for (const std::string& name : {result->keptAs, result->movedTo}) {
    if (!name.empty() && Exists(name) && !SameFile(name, result->storePath)) {
      return Status::Failure(name + " already exists: move it away, then import again");
    }
  }
  return Status::Ok();
}

Status WindowsStoreImport::WriteNewStore(const std::string& part,
                                         const WindowsStoreRows& rows) const {
  // A killed import's file is its own to remove.
  ::unlink(part.c_str());
  if (int err = CopyFileNoOverwrite(WithSeparator(folders_.execPath) + "HR_Template.mdb", part);
      err != 0) {
    return Status::Failure(StoreCreationMessage(err) + " (" + part + ": " + Errno(err) + ")");
  }
  if (Status written = WriteImportedRows(part, rows); !written.ok()) {
    ::unlink(part.c_str());
    return Status::Failure("cannot write " + part + ": " + written.message());
  }
  return Status::Ok();
}

Status WindowsStoreImport::PutInPlace(const std::string& part, const Result& result) {
  for (const std::string& name : {result.keptAs, result.movedTo}) {
    if (name.empty()) continue;
    if (int err = KeepAs(result.storePath, name); err != 0) {
      ::unlink(part.c_str());
      return Status::Failure("cannot keep " + result.storePath + " as " + name + ": " + Errno(err));
    }
  }
  if (::rename(part.c_str(), result.storePath.c_str()) != 0) {
    const int err = errno;
    ::unlink(part.c_str());
    return Status::Failure("cannot put the new store in place: " + Errno(err));
  }
  SyncFolder(result.storePath);
  return Status::Ok();
}

WindowsStoreImport::Result WindowsStoreImport::Run(const Options& options) const {
  Result result;
  result.device = options.device.empty() ? DeviceFromFileName(options.source) : options.device;
  if (result.device.empty() ||
      result.device.find_first_of(std::string("/\0", 2)) != std::string::npos) {
    result.status = Status::Failure("\"" + result.device + "\" cannot be a handheld's name");
    return result;
  }
  result.storePath = StoreFilePath(folders_, result.device);
  const std::string base = WithSeparator(folders_.dataPath) + result.device;
  if (const std::string lock = LockFileBeside(options.source); !lock.empty()) {
    result.warnings.push_back(lock + " is beside it: a Windows program may still have the store " +
                              "open; it is read as it is, and never written");
  }

  WindowsStoreRows rows;
  if (Status read = WindowsStoreReader(options.encoding).Read(options.source, &rows); !read.ok()) {
    result.status = Status::Failure("cannot import " + options.source + ": " + read.message());
    return result;
  }
  result.format = rows.format;
  result.warnings.insert(result.warnings.end(), rows.warnings.begin(), rows.warnings.end());

  // What the store path holds now decides whether the import may replace it.
  SqliteConnection old;  // holds the old store's write lock until it is replaced
  result.status = MayReplace(options, base, &old, &result);
  // The new store, complete, under a name of its own.
  const std::string part = result.storePath + ".importing";
  if (result.status.ok()) result.status = WriteNewStore(part, rows);
  if (result.status.ok()) result.status = PutInPlace(part, result);
  if (!result.status.ok()) return result;
  old.Close();

  result.accounts = rows.accounts.size();
  result.items = rows.items.size();
  result.records = rows.records.size();
  result.spans = rows.spans.size();
  for (const WindowsTimeRecord& record : rows.records) {
    if (result.firstDay == 0 || record.grpdate < result.firstDay) result.firstDay = record.grpdate;
    result.lastDay = std::max(result.lastDay, record.grpdate);
  }
  return result;
}

std::vector<std::string> WindowsStoreImport::Summary(const Result& result) {
  std::vector<std::string> lines = {
      "Imported " + result.device + " (" + result.format + ") into " + result.storePath,
      "accountName\t" + std::to_string(result.accounts),
      "itemName\t" + std::to_string(result.items),
      "hlgroup\t" + std::to_string(result.records),
      "hltime\t" + std::to_string(result.spans),
  };
  if (result.records > 0) {
    lines.push_back("first day\t" + DayText(result.firstDay));
    lines.push_back("last day\t" + DayText(result.lastDay));
  }
  if (!result.keptAs.empty()) lines.push_back("The store it replaced is kept as " + result.keptAs);
  if (!result.movedTo.empty()) lines.push_back("The Windows store is now " + result.movedTo);
  return lines;
}
