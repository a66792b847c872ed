// An emulated handheld's image file, kept in SQLite: the file, its four
// databases and their records.
#include "emulator/handheld_image.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <utility>

#include "emulator/image_file.h"

namespace image_file {

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::u16string Utf16Text(const std::vector<uint8_t>& bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  }
  return text;
}

// The object identifier and record count of database: SQLITE_ROW when
// found, SQLITE_DONE when there is no such database, else the failure.
int LookUpDatabase(ImageConnection& c, const std::string& database, CeOid* oid, int64_t* count) {
  Query q(c, "SELECT oid, count FROM databases WHERE name = ?1");
  const int rc = q.Text(1, database).Step();
  if (rc == SQLITE_ROW) {
    if (oid) *oid = static_cast<CeOid>(q.row().ColumnInt64(0));
    if (count) *count = q.row().ColumnInt64(1);
  }
  return rc;
}

bool InsertRecord(ImageConnection& c, CeOid db, const std::vector<CeValue>& values) {
  Query q(c, "INSERT INTO records (db, key, count, props) VALUES (?1, ?2, ?3, ?4)");
  return q.Int(1, db)
      .Int(2, values[0].integer)
      .Int(3, static_cast<int64_t>(values.size()))
      .Blob(4, BuildPropertyBuffer(values))
      .Run();
}

bool AddToCount(ImageConnection& c, CeOid db, int64_t delta) {
  return Query(c, "UPDATE databases SET count = count + ?2 WHERE oid = ?1")
      .Int(1, db)
      .Int(2, delta)
      .Run();
}

}  // namespace image_file

using namespace image_file;

namespace {

// Marks a file as a handheld image ("HHIM"), so that no other SQLite file is
// ever taken for one and written to.
constexpr int64_t kApplicationId = 0x4848494D;

// Databases get object identifiers far above any record's, as a handheld's
// object store keeps them apart.
constexpr CeOid kFirstDatabaseOid = 0xF0000001u;

// records.props holds the property list exactly as a read returns it, so a
// read is one row fetched and no re-encoding; records.key repeats property 0
// for the sort index.
constexpr const char* kSchema = R"(
BEGIN;
PRAGMA application_id = 1212696909;
CREATE TABLE databases (
  name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  oid INTEGER NOT NULL UNIQUE,   -- the database's object identifier
  count INTEGER NOT NULL);       -- its records, kept so the limit costs no scan
CREATE TABLE records (
  oid INTEGER PRIMARY KEY AUTOINCREMENT,  -- the record's object identifier; insertion order
  db INTEGER NOT NULL,                    -- databases.oid
  key INTEGER NOT NULL,                   -- property 0x10003
  count INTEGER NOT NULL,                 -- properties in props
  props BLOB NOT NULL);                   -- 16-byte values, then their UTF-16 strings
CREATE INDEX records_by_key ON records (db, key);
CREATE TABLE registry_keys (
  root INTEGER NOT NULL,
  path BLOB NOT NULL,                     -- folded UTF-16LE, components joined by "\"
  PRIMARY KEY (root, path)) WITHOUT ROWID;
CREATE TABLE registry (
  root INTEGER NOT NULL,
  path BLOB NOT NULL,                     -- as registry_keys.path
  folded BLOB NOT NULL,                   -- the value name folded, what names compare by
  name BLOB NOT NULL,                     -- the value name as given, UTF-16LE
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY (root, path, folded)) WITHOUT ROWID;
CREATE TABLE faults (
  what TEXT NOT NULL,                     -- open, count, seek, read or short
  db TEXT NOT NULL,
  n INTEGER NOT NULL,                     -- sort position, 0 for open and count
  PRIMARY KEY (what, db, n)) WITHOUT ROWID;
CREATE TABLE settings (
  name TEXT NOT NULL PRIMARY KEY,
  value INTEGER NOT NULL);
INSERT INTO settings VALUES ('delay', 0);
COMMIT;
)";

}  // namespace

HandheldImage::HandheldImage(std::string path) : path_(std::move(path)) {}
HandheldImage::~HandheldImage() = default;
HandheldImage::HandheldImage(HandheldImage&&) noexcept = default;
HandheldImage& HandheldImage::operator=(HandheldImage&&) noexcept = default;

Status HandheldImage::Create(const std::string& path, const std::u16string& name,
                             const std::optional<std::u16string>& owner, bool force) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!force && (fs::exists(path, ec) || fs::is_symlink(path, ec))) {
    return Status::Failure(path + " already exists");
  }
  // The image is built beside its final place and linked there only when
  // complete, so no half-made image is ever seen and, without force, an
  // image that appeared meanwhile is not overwritten.
  std::string temp = path + ".new-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    return Status::Failure("cannot create " + path + ": " + std::strerror(errno));
  }
  ::close(fd);
  std::string error;
  bool ok = false;
  {
    SqliteConnection connection;
    ok = connection.Open(temp, false) == SQLITE_OK && connection.Exec(kSchema) == SQLITE_OK;
    for (size_t i = 0; ok && i < std::size(kHandheldDatabases); ++i) {
      SqliteStatement insert;
      ok = insert.Prepare(connection, "INSERT INTO databases VALUES (?1, ?2, 0)") == SQLITE_OK &&
           insert.BindText(1, kHandheldDatabases[i]) == SQLITE_OK &&
           insert.BindInt64(2, kFirstDatabaseOid + i) == SQLITE_OK && insert.Step() == SQLITE_DONE;
    }
    if (!ok) error = "cannot write " + path + ": " + connection.errorMessage();
  }
  if (ok) {
    HandheldImage image(temp);
    std::u16string terminated = name + u'\0';
    Status set = image.SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_SZ,
                                        Utf16Bytes(terminated));
    if (set.ok() && owner) {
      terminated = *owner + u'\0';
      set = image.SetRegistryValue(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner",
                                   CE_REG_BINARY, Utf16Bytes(terminated));
    }
    ok = set.ok();
    if (!ok) error = set.message();
  }
  if (ok) {
    if (force) {
      // A journal left by the image being replaced must not be played into
      // the new one.
      fs::remove(path + "-journal", ec);
      if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
      }
    } else if (::link(temp.c_str(), path.c_str()) != 0) {
      error = errno == EEXIST ? path + " already exists"
                              : "cannot write " + path + ": " + std::strerror(errno);
      ok = false;
    }
  }
  fs::remove(temp, ec);
  return ok ? Status::Ok() : Status::Failure(std::move(error));
}

Status HandheldImage::Open() {
  Close();
  std::unique_ptr<Connection> own;
  if (!Acquire(&own)) return Status::Failure(error_);
  kept_ = std::move(own);
  return Status::Ok();
}

void HandheldImage::Close() { kept_.reset(); }

void HandheldImage::HoldReads(bool hold) {
  holdReads_ = hold;
  if (!hold && kept_) EndReading(*kept_);
}

HandheldImage::Connection* HandheldImage::Acquire(std::unique_ptr<Connection>* own) {
  error_.clear();
  if (kept_) return kept_.get();
  auto c = std::make_unique<Connection>();
  if (c->db.Open(path_, false) != SQLITE_OK) {
    error_ = "cannot open " + path_ + ": " + c->db.errorMessage();
    return nullptr;
  }
  int64_t id = 0;
  {
    Query q(*c, "PRAGMA application_id");
    if (q.Step() == SQLITE_ROW) id = q.row().ColumnInt64(0);
  }
  if (id != kApplicationId) {
    error_ = path_ + " is not a handheld image";
    return nullptr;
  }
  // The image plays a handheld's memory: a change must survive the program
  // that makes it being killed, which SQLite's journal ensures without
  // waiting for the disk; only a power cut could cost the last changes.
  // Waiting for the disk made each record the desktop deletes cost a sync.
  c->db.Exec("PRAGMA synchronous = OFF");
  // A synchronization reads every record of a full image once: mapped, its
  // pages are read in place instead of copied out of the file cache.
  c->db.Exec("PRAGMA mmap_size = 268435456");
  *own = std::move(c);
  return own->get();
}

bool HandheldImage::NoDatabase(const std::string& database) {
  error_ = "no database " + database + " in " + path_;
  return false;
}

bool HandheldImage::Fail(Connection& connection, const std::string& what) {
  error_ = what + ": " + connection.db.errorMessage();
  return false;
}

bool HandheldImage::Write(const std::function<bool(Connection&)>& change) {
  std::unique_ptr<Connection> own;
  Connection* c = Acquire(&own);
  if (!c) return false;
  if (c->batch) {
    const bool ok = change(*c);
    if (!ok) c->batchFailed = true;
    return ok;
  }
  EndReading(*c);
  SqliteTransaction transaction(c->db);
  if (transaction.status() != SQLITE_OK) return Fail(*c, "cannot write " + path_);
  if (!change(*c)) return false;
  if (transaction.Commit() != SQLITE_OK) return Fail(*c, "cannot write " + path_);
  return true;
}

bool HandheldImage::Read(const std::function<bool(Connection&)>& query) {
  std::unique_ptr<Connection> own;
  Connection* c = Acquire(&own);
  if (!c) return false;
  // A deferred BEGIN: the file's shared lock is taken by the first read and
  // kept for the ones after it, instead of being taken and dropped each time.
  if (holdReads_ && c == kept_.get() && !c->batch && !c->reading) {
    c->reading = c->db.Exec("BEGIN") == SQLITE_OK;
  }
  return query(*c);
}

Status HandheldImage::Batch(const std::function<bool()>& body) {
  const bool opened = !kept_;
  if (opened) {
    if (Status open = Open(); !open.ok()) return open;
  }
  Connection& c = *kept_;
  if (c.batch) {
    const bool ok = body();
    if (!ok) c.batchFailed = true;
    return Done(ok);
  }
  EndReading(c);
  c.batch = std::make_unique<SqliteTransaction>(c.db);
  c.batchFailed = false;
  bool ok = c.batch->status() == SQLITE_OK ? true : Fail(c, "cannot write " + path_);
  ok = ok && body() && !c.batchFailed;
  if (ok && c.batch->Commit() != SQLITE_OK) ok = Fail(c, "cannot write " + path_);
  c.batch.reset();
  if (opened) Close();
  return Done(ok);
}

bool HandheldImage::Put(const char* database, std::vector<CeValue> values, bool replace) {
  return Write([&](Connection& c) {
    CeOid db = 0;
    int64_t count = 0;
    const int rc = LookUpDatabase(c, database, &db, &count);
    if (rc == SQLITE_DONE) return NoDatabase(database);
    if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    if (replace) {
      Query update(c, "UPDATE records SET count = ?3, props = ?4 WHERE db = ?1 AND key = ?2");
      if (!update.Int(1, db)
               .Int(2, values[0].integer)
               .Int(3, static_cast<int64_t>(values.size()))
               .Blob(4, BuildPropertyBuffer(values))
               .Run()) {
        return Fail(c, "cannot write " + path_);
      }
      if (c.db.changes() > 0) return true;
    }
    if (count >= kMaxCeRecords) {
      error_ = std::string(database) + " is full: a database holds at most " +
               std::to_string(kMaxCeRecords) + " records";
      return false;
    }
    if (!InsertRecord(c, db, values) || !AddToCount(c, db, 1)) {
      return Fail(c, "cannot write " + path_);
    }
    return true;
  });
}

Status HandheldImage::PutAccount(int32_t id, const std::u16string& name) {
  return Done(Put("HLAccountName", AccountValues(id, name), true));
}

Status HandheldImage::PutItem(int32_t id, int32_t account, const std::u16string& name) {
  return Done(Put("HLItemName", ItemValues(id, account, name), true));
}

Status HandheldImage::PutRecord(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                                const std::u16string& notes) {
  return Done(Put("HLGroup", RecordValues(id, grpdate, account, item, notes), true));
}

Status HandheldImage::AddSpan(int32_t recordId, int32_t starttime, int32_t duration) {
  return Done(Put("HLTime", SpanValues(recordId, starttime, duration), false));
}

Status HandheldImage::Remove(const std::string& database, int32_t key, int64_t* removed) {
  const bool ok = Write([&](Connection& c) {
    CeOid db = 0;
    const int rc = LookUpDatabase(c, database, &db);
    if (rc == SQLITE_DONE) return NoDatabase(database);
    if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    Query q(c, "DELETE FROM records WHERE db = ?1 AND key = ?2");
    if (!q.Int(1, db).Int(2, key).Run()) return Fail(c, "cannot write " + path_);
    *removed = c.db.changes();
    return AddToCount(c, db, -*removed) || Fail(c, "cannot write " + path_);
  });
  return Done(ok);
}

Status HandheldImage::Records(const std::string& database, std::vector<std::vector<CeValue>>* out) {
  out->clear();
  return Done(Read([&](Connection& c) {
    CeOid db = 0;
    int rc = LookUpDatabase(c, database, &db);
    if (rc == SQLITE_DONE) return NoDatabase(database);
    if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    Query q(c, "SELECT count, props FROM records WHERE db = ?1 ORDER BY key, oid");
    q.Int(1, db);
    while ((rc = q.Step()) == SQLITE_ROW) {
      std::vector<CeValue> values;
      const auto count = static_cast<uint16_t>(q.row().ColumnInt64(0));
      if (!ReadPropertyBuffer(q.row().ColumnBlob(1), count, &values)) {
        error_ = "a record of " + database + " in " + path_ + " is damaged";
        return false;
      }
      out->push_back(std::move(values));
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  }));
}

int64_t HandheldImage::RecordCount(const std::string& database) {
  int64_t count = -1;
  Read([&](Connection& c) {
    const int rc = LookUpDatabase(c, database, nullptr, &count);
    if (rc == SQLITE_DONE) return NoDatabase(database);
    return rc == SQLITE_ROW || Fail(c, "cannot read " + path_);
  });
  return count;
}

Status HandheldImage::FindDatabase(const std::string& database, CeOid* oid) {
  return Found(Read([&](Connection& c) {
    const int rc = LookUpDatabase(c, database, oid);
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  }));
}

Status HandheldImage::DatabaseName(CeOid oid, std::string* database) {
  return Found(Read([&](Connection& c) {
    Query q(c, "SELECT name FROM databases WHERE oid = ?1");
    const int rc = q.Int(1, oid).Step();
    if (rc == SQLITE_ROW) *database = q.row().ColumnText(0);
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  }));
}

Status HandheldImage::SortOrderAfter(CeOid database, const HandheldSortEntry* after, size_t limit,
                                     std::vector<HandheldSortEntry>* out) {
  return Done(Read([&](Connection& c) {
    // A range of the (db, key) index, which holds the object identifiers.
    Query q(c,
            "SELECT key, oid FROM records WHERE db = ?1 AND key >= ?2 AND (key > ?2 OR oid > ?3) "
            "ORDER BY key, oid LIMIT ?4");
    q.Int(1, database)
        .Int(2, after ? after->key : INT64_MIN)
        .Int(3, after ? static_cast<int64_t>(after->oid) : -1)
        .Int(4, static_cast<int64_t>(std::min<size_t>(limit, INT64_MAX)));
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      out->push_back({static_cast<int32_t>(q.row().ColumnInt64(0)),
                      static_cast<CeOid>(q.row().ColumnInt64(1))});
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  }));
}

Status HandheldImage::ReadRecord(CeOid record, CeOid* database, uint16_t* count,
                                 std::vector<uint8_t>* buffer) {
  return Found(Read([&](Connection& c) {
    Query q(c, "SELECT db, count, props FROM records WHERE oid = ?1");
    const int rc = q.Int(1, record).Step();
    if (rc == SQLITE_ROW) {
      *database = static_cast<CeOid>(q.row().ColumnInt64(0));
      *count = static_cast<uint16_t>(q.row().ColumnInt64(1));
      *buffer = q.row().ColumnBlob(2);
    }
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  }));
}

Status HandheldImage::ReadRecords(CeOid database, std::span<const HandheldSortEntry> wanted,
                                  std::vector<StoredRecord>* out) {
  // Each wanted record's place in out, by object identifier.
  std::vector<std::pair<CeOid, size_t>> places(wanted.size());
  for (size_t k = 0; k < wanted.size(); ++k) places[k] = {wanted[k].oid, k};
  std::sort(places.begin(), places.end());
  // A place no record fills keeps object identifier 0, which no record has.
  if (out->size() < wanted.size()) out->resize(wanted.size());
  for (size_t k = 0; k < wanted.size(); ++k) (*out)[k].oid = 0;
  auto keep = [&](CeOid oid, const SqliteStatement& row) {
    auto place = std::lower_bound(places.begin(), places.end(), std::pair<CeOid, size_t>{oid, 0});
    if (place == places.end() || place->first != oid) return;
    StoredRecord& record = (*out)[place->second];
    record.oid = oid;
    record.count = static_cast<uint16_t>(row.ColumnInt64(1));
    row.ColumnBlob(2, &record.buffer);
  };
  const bool ok = Read([&](Connection& c) {
    if (places.empty()) return true;
    const CeOid first = places.front().first, last = places.back().first;
    int rc;
    // Records written in their database's order lie together: one walk
    // along the table reads them, where a look-up each costs several times
    // as much. Scattered ones are looked up one by one. ("+db": the index on
    // the database would have the walk go through all of its records.)
    if (last - first < 4 * places.size()) {
      Query q(c, "SELECT oid, count, props FROM records WHERE oid BETWEEN ?1 AND ?2 AND +db = ?3");
      q.Int(1, first).Int(2, last).Int(3, database);
      while ((rc = q.Step()) == SQLITE_ROW) {
        keep(static_cast<CeOid>(q.row().ColumnInt64(0)), q.row());
      }
      return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
    }
    for (const auto& [oid, place] : places) {
      Query q(c, "SELECT oid, count, props FROM records WHERE oid = ?1 AND +db = ?2");
      rc = q.Int(1, oid).Int(2, database).Step();
      if (rc == SQLITE_ROW) keep(oid, q.row());
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(c, "cannot read " + path_);
    }
    return true;
  });
  // What was not found is left out, the rest keeps its order.
  size_t n = 0;
  for (size_t k = 0; k < wanted.size(); ++k) {
    if ((*out)[k].oid == 0) continue;
    if (n != k) std::swap((*out)[n], (*out)[k]);
    ++n;
  }
  out->resize(n);
  return Done(ok);
}

Status HandheldImage::DeleteRecord(CeOid record) {
  return Found(Write([&](Connection& c) {
    CeOid db = 0;
    {
      Query q(c, "SELECT db FROM records WHERE oid = ?1");
      const int rc = q.Int(1, record).Step();
      if (rc != SQLITE_ROW) return rc != SQLITE_DONE && Fail(c, "cannot read " + path_);
      db = static_cast<CeOid>(q.row().ColumnInt64(0));
    }
    return (Query(c, "DELETE FROM records WHERE oid = ?1").Int(1, record).Run() &&
            AddToCount(c, db, -1)) ||
           Fail(c, "cannot write " + path_);
  }));
}
