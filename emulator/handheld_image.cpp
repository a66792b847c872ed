// An emulated handheld's image file, kept in SQLite.
#include "emulator/handheld_image.h"

#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <span>
#include <utility>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "platform/sqlite_transaction.h"
#include "platform/utf16.h"
#include "store/ole_date.h"

namespace {

// Marks a file as a handheld image ("HHIM"), so that no other SQLite file is
// ever taken for one and written to.
constexpr int64_t kApplicationId = 0x4848494D;

// Databases get object identifiers far above any record's, as a handheld's
// object store keeps them apart.
constexpr CeOid kFirstDatabaseOid = 0xF0000001u;

// Property identifiers of the layouts: position 0 is always the key property.
constexpr uint32_t kIntProperty2 = 0x20003;
constexpr uint32_t kIntProperty3 = 0x30003;
constexpr uint32_t kIntProperty4 = 0x40003;
constexpr uint32_t kTextProperty2 = 0x2001F;
constexpr uint32_t kTextProperty3 = 0x3001F;
constexpr uint32_t kTextProperty5 = 0x5001F;

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

constexpr std::array<const char*, 5> kFaultWords = {"open", "count", "seek", "read", "short"};

const char* FaultWord(HandheldFault what) { return kFaultWords[static_cast<size_t>(what)]; }

bool FaultFromWord(const std::string& word, HandheldFault* out) {
  for (size_t i = 0; i < kFaultWords.size(); ++i) {
    if (word == kFaultWords[i]) {
      *out = static_cast<HandheldFault>(i);
      return true;
    }
  }
  return false;
}

bool IsHandheldDatabase(const std::string& name) {
  for (const char* known : kHandheldDatabases) {
    if (name == known) return true;
  }
  return false;
}

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

// Simple per-character case folding, as the handheld compares registry names.
std::u16string FoldCase(const std::u16string& text) {
  std::u16string folded;
  folded.reserve(text.size());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U16_NEXT(text.data(), i, length, c);
    const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (U_IS_BMP(f)) {
      folded.push_back(static_cast<char16_t>(f));
    } else {
      folded.push_back(static_cast<char16_t>(U16_LEAD(f)));
      folded.push_back(static_cast<char16_t>(U16_TRAIL(f)));
    }
  }
  return folded;
}

// "\ControlPanel\\Owner\" and "controlpanel\owner" are one key: empty
// components are dropped and letter case folded.
std::u16string NormalKey(const std::u16string& key) {
  std::u16string out;
  std::u16string part;
  for (size_t i = 0; i <= key.size(); ++i) {
    if (i == key.size() || key[i] == u'\\') {
      if (!part.empty()) {
        if (!out.empty()) out.push_back(u'\\');
        out += part;
        part.clear();
      }
    } else {
      part.push_back(key[i]);
    }
  }
  return FoldCase(out);
}

// One open image file, with its statements prepared once.
struct ImageConnection {
  SqliteConnection db;
  std::map<std::string, std::unique_ptr<SqliteStatement>> statements;
  std::unique_ptr<SqliteTransaction> batch;  // set while a Batch runs
  bool batchFailed = false;
  bool reading = false;  // a read transaction kept open by HoldReads
  // Each database's sort order as last read, while the image is unchanged:
  // since then no write of this connection's, and the same data version
  // (which moves when another connection writes).
  std::map<CeOid, std::vector<HandheldSortEntry>> sortOrders;
  int64_t sortOrdersVersion = -1;
};

// Ends a read transaction kept for a burst of reads, before a write or when
// the reads are done.
void EndReading(ImageConnection& c) {
  if (c.reading) c.db.Exec("COMMIT");
  c.reading = false;
}

// A cached statement, reset when the call is done with it: a statement left
// stepping would hold a read lock and keep the tool from writing.
class Query {
 public:
  Query(ImageConnection& connection, const std::string& sql) {
    auto& slot = connection.statements[sql];
    if (!slot) {
      auto statement = std::make_unique<SqliteStatement>();
      rc_ = statement->Prepare(connection.db, sql);
      if (rc_ != SQLITE_OK) {
        connection.statements.erase(sql);
        return;
      }
      slot = std::move(statement);
    }
    statement_ = slot.get();
  }
  ~Query() {
    if (statement_) statement_->Reset();
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  bool ok() const { return statement_ != nullptr && rc_ == SQLITE_OK; }
  Query& Int(int index, int64_t value) {
    if (ok()) rc_ = statement_->BindInt64(index, value);
    return *this;
  }
  Query& Text(int index, const std::string& value) {
    if (ok()) rc_ = statement_->BindText(index, value);
    return *this;
  }
  Query& Blob(int index, const std::vector<uint8_t>& value) {
    if (ok()) rc_ = statement_->BindBlob(index, value);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the failure.
  int Step() {
    if (!ok()) return rc_ == SQLITE_OK ? SQLITE_MISUSE : rc_;
    const int rc = statement_->Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) rc_ = rc;
    return rc;
  }
  // Runs a statement that returns no rows.
  bool Run() { return Step() == SQLITE_DONE; }
  SqliteStatement& row() { return *statement_; }

 private:
  SqliteStatement* statement_ = nullptr;
  int rc_ = SQLITE_OK;
};

// The object identifier and record count of database: SQLITE_ROW when
// found, SQLITE_DONE when there is no such database, else the failure.
int LookUpDatabase(ImageConnection& c, const std::string& database, CeOid* oid,
                   int64_t* count = nullptr) {
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

std::vector<CeValue> AccountValues(int32_t id, const std::u16string& name) {
  return {{kKeyProperty, id, {}}, {kTextProperty2, 0, name}};
}
std::vector<CeValue> ItemValues(int32_t id, int32_t account, const std::u16string& name) {
  return {{kKeyProperty, id, {}}, {kIntProperty2, account, {}}, {kTextProperty3, 0, name}};
}
std::vector<CeValue> RecordValues(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                                  const std::u16string& notes) {
  return {{kKeyProperty, id, {}},
          {kIntProperty2, grpdate, {}},
          {kIntProperty3, account, {}},
          {kIntProperty4, item, {}},
          {kTextProperty5, 0, notes}};
}
std::vector<CeValue> SpanValues(int32_t recordId, int32_t starttime, int32_t duration) {
  return {
      {kKeyProperty, recordId, {}}, {kIntProperty2, starttime, {}}, {kIntProperty3, duration, {}}};
}

}  // namespace

struct HandheldImage::Connection : ImageConnection {};

HandheldImage::HandheldImage(std::string path) : path_(std::move(path)) {}
HandheldImage::~HandheldImage() = default;
HandheldImage::HandheldImage(HandheldImage&&) noexcept = default;
HandheldImage& HandheldImage::operator=(HandheldImage&&) noexcept = default;

bool HandheldImage::Create(const std::string& path, const std::u16string& name,
                           const std::optional<std::u16string>& owner, bool force,
                           std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!force && (fs::exists(path, ec) || fs::is_symlink(path, ec))) {
    *error = path + " already exists";
    return false;
  }
  // The image is built beside its final place and linked there only when
  // complete, so no half-made image is ever seen and, without force, an
  // image that appeared meanwhile is not overwritten.
  std::string temp = path + ".new-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  ::close(fd);
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
    if (!ok) *error = "cannot write " + path + ": " + connection.errorMessage();
  }
  if (ok) {
    HandheldImage image(temp);
    std::u16string terminated = name + u'\0';
    ok = image.SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_SZ,
                                Utf16Bytes(terminated));
    if (ok && owner) {
      terminated = *owner + u'\0';
      ok = image.SetRegistryValue(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner",
                                  CE_REG_BINARY, Utf16Bytes(terminated));
    }
    if (!ok) *error = image.error();
  }
  if (ok) {
    if (force) {
      // A journal left by the image being replaced must not be played into
      // the new one.
      fs::remove(path + "-journal", ec);
      if (::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
      }
    } else if (::link(temp.c_str(), path.c_str()) != 0) {
      *error = errno == EEXIST ? path + " already exists"
                               : "cannot write " + path + ": " + std::strerror(errno);
      ok = false;
    }
  }
  fs::remove(temp, ec);
  return ok;
}

bool HandheldImage::Open() {
  Close();
  std::unique_ptr<Connection> own;
  if (!Acquire(&own)) return false;
  kept_ = std::move(own);
  return true;
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
  c->sortOrders.clear();
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

bool HandheldImage::Batch(const std::function<bool()>& body) {
  const bool opened = !kept_;
  if (opened && !Open()) return false;
  Connection& c = *kept_;
  if (c.batch) {
    const bool ok = body();
    if (!ok) c.batchFailed = true;
    return ok;
  }
  EndReading(c);
  c.sortOrders.clear();
  c.batch = std::make_unique<SqliteTransaction>(c.db);
  c.batchFailed = false;
  bool ok = c.batch->status() == SQLITE_OK ? true : Fail(c, "cannot write " + path_);
  ok = ok && body() && !c.batchFailed;
  if (ok && c.batch->Commit() != SQLITE_OK) ok = Fail(c, "cannot write " + path_);
  c.batch.reset();
  if (opened) Close();
  return ok;
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

bool HandheldImage::PutAccount(int32_t id, const std::u16string& name) {
  return Put("HLAccountName", AccountValues(id, name), true);
}

bool HandheldImage::PutItem(int32_t id, int32_t account, const std::u16string& name) {
  return Put("HLItemName", ItemValues(id, account, name), true);
}

bool HandheldImage::PutRecord(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                              const std::u16string& notes) {
  return Put("HLGroup", RecordValues(id, grpdate, account, item, notes), true);
}

bool HandheldImage::AddSpan(int32_t recordId, int32_t starttime, int32_t duration) {
  return Put("HLTime", SpanValues(recordId, starttime, duration), false);
}

int64_t HandheldImage::Remove(const std::string& database, int32_t key) {
  int64_t removed = -1;
  const bool ok = Write([&](Connection& c) {
    CeOid db = 0;
    const int rc = LookUpDatabase(c, database, &db);
    if (rc == SQLITE_DONE) return NoDatabase(database);
    if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    Query q(c, "DELETE FROM records WHERE db = ?1 AND key = ?2");
    if (!q.Int(1, db).Int(2, key).Run()) return Fail(c, "cannot write " + path_);
    removed = c.db.changes();
    return AddToCount(c, db, -removed) || Fail(c, "cannot write " + path_);
  });
  return ok ? removed : -1;
}

bool HandheldImage::Generate(const HandheldGenerateOptions& o) {
  if (o.records < 0 || o.spansPerRecord < 0 || o.accounts < 0 || o.itemsPerAccount < 0) {
    error_ = "counts must not be negative";
    return false;
  }
  if (o.records > kMaxCeRecords || o.accounts > kMaxCeRecords ||
      (o.itemsPerAccount > 0 && o.accounts > kMaxCeRecords / o.itemsPerAccount) ||
      (o.spansPerRecord > 0 && o.records > kMaxCeRecords / o.spansPerRecord)) {
    error_ = "a database holds at most " + std::to_string(kMaxCeRecords) + " records";
    return false;
  }
  static const char* const kWords[] = {"meeting", "call",   "review", "draft",  "client",
                                       "report",  "design", "travel", "notes",  "follow-up",
                                       "budget",  "plan",   "fix",    "weekly", "site visit"};
  // The C++ standard fixes the engine's output to the bit, so a seed gives the
  // same image everywhere; the distributions are not, so none is used.
  std::mt19937 random(o.seed);
  auto pick = [&random](uint32_t n) { return static_cast<int32_t>(random() % n); };
  return Write([&](Connection& c) {
    CeOid oids[4];
    for (size_t i = 0; i < 4; ++i) {
      const int rc = LookUpDatabase(c, kHandheldDatabases[i], &oids[i]);
      if (rc == SQLITE_DONE) return NoDatabase(kHandheldDatabases[i]);
      if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    }
    if (!Query(c, "DELETE FROM records").Run()) return Fail(c, "cannot write " + path_);
    const int64_t items = o.accounts * o.itemsPerAccount;
    const int64_t spans = o.records * o.spansPerRecord;
    const int64_t counts[4] = {o.accounts, items, o.records, spans};
    for (size_t i = 0; i < 4; ++i) {
      Query q(c, "UPDATE databases SET count = ?2 WHERE oid = ?1");
      if (!q.Int(1, oids[i]).Int(2, counts[i]).Run()) return Fail(c, "cannot write " + path_);
    }
    for (int32_t a = 1; a <= o.accounts; ++a) {
      if (!InsertRecord(c, oids[0],
                        AccountValues(a, u"Account " + Utf8ToUtf16(std::to_string(a))))) {
        return Fail(c, "cannot write " + path_);
      }
      for (int32_t i = 1; i <= o.itemsPerAccount; ++i) {
        const int32_t id = static_cast<int32_t>((a - 1) * o.itemsPerAccount + i);
        const std::u16string name =
            Utf8ToUtf16("Item " + std::to_string(a) + "." + std::to_string(i));
        if (!InsertRecord(c, oids[1], ItemValues(id, a, name))) {
          return Fail(c, "cannot write " + path_);
        }
      }
    }
    constexpr int64_t kFirstDay = 12053;  // 2003-01-01
    for (int32_t r = 1; r <= o.records; ++r) {
      int year, month, day;
      CivilFromDays(kFirstDay + pick(3 * 365), &year, &month, &day);
      const int32_t account = o.accounts > 0 ? 1 + pick(static_cast<uint32_t>(o.accounts)) : 0;
      const int32_t item = o.itemsPerAccount > 0
                               ? static_cast<int32_t>((account - 1) * o.itemsPerAccount) + 1 +
                                     pick(static_cast<uint32_t>(o.itemsPerAccount))
                               : 0;
      std::string notes;
      for (int32_t w = pick(8); w > 0; --w) {
        if (!notes.empty()) notes += ' ';
        notes += kWords[pick(std::size(kWords))];
      }
      if (!InsertRecord(c, oids[2],
                        RecordValues(r, year * 65536 + month * 256 + day, account, item,
                                     Utf8ToUtf16(notes)))) {
        return Fail(c, "cannot write " + path_);
      }
      for (int32_t s = 0; s < o.spansPerRecord; ++s) {
        const int32_t start = 7 * 3600 + pick(11 * 3600);
        const int32_t minutes = 5 + pick(236);
        if (!InsertRecord(c, oids[3], SpanValues(r, start, minutes))) {
          return Fail(c, "cannot write " + path_);
        }
      }
    }
    return true;
  });
}

bool HandheldImage::SetFault(HandheldFault what, const std::string& database, int64_t n) {
  if (!IsHandheldDatabase(database)) {
    error_ = "no database " + database;
    return false;
  }
  if (what == HandheldFault::Open || what == HandheldFault::Count) n = 0;
  if (n < 0) {
    error_ = "a record position is not negative";
    return false;
  }
  return Write([&](Connection& c) {
    Query q(c, "INSERT OR IGNORE INTO faults VALUES (?1, ?2, ?3)");
    return q.Text(1, FaultWord(what)).Text(2, database).Int(3, n).Run() ||
           Fail(c, "cannot write " + path_);
  });
}

bool HandheldImage::SetDelay(int milliseconds) {
  if (milliseconds < 0) {
    error_ = "a delay is not negative";
    return false;
  }
  return Write([&](Connection& c) {
    return Query(c, "UPDATE settings SET value = ?1 WHERE name = 'delay'")
               .Int(1, milliseconds)
               .Run() ||
           Fail(c, "cannot write " + path_);
  });
}

bool HandheldImage::ClearFaults() {
  return Write([&](Connection& c) {
    return (Query(c, "DELETE FROM faults").Run() &&
            Query(c, "UPDATE settings SET value = 0 WHERE name = 'delay'").Run()) ||
           Fail(c, "cannot write " + path_);
  });
}

bool HandheldImage::Faults(std::vector<HandheldFaultEntry>* out) {
  out->clear();
  return Read([&](Connection& c) {
    Query q(c, "SELECT what, db, n FROM faults");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      HandheldFaultEntry entry;
      // A word this program does not know is a fault it cannot show.
      if (!FaultFromWord(q.row().ColumnText(0), &entry.what)) continue;
      entry.database = q.row().ColumnText(1);
      entry.n = q.row().ColumnInt64(2);
      out->push_back(std::move(entry));
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
}

int HandheldImage::Delay() {
  int delay = -1;
  Read([&](Connection& c) {
    Query q(c, "SELECT value FROM settings WHERE name = 'delay'");
    if (q.Step() != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    delay = static_cast<int>(q.row().ColumnInt64(0));
    return true;
  });
  return delay;
}

bool HandheldImage::SetRegistryValue(uint32_t root, const std::u16string& key,
                                     const std::u16string& name, uint32_t type,
                                     const std::vector<uint8_t>& data) {
  const std::u16string path = NormalKey(key);
  return Write([&](Connection& c) {
    // The key and every key above it exist from now on.
    for (size_t end = 0; end <= path.size(); ++end) {
      if (end != path.size() && path[end] != u'\\') continue;
      Query q(c, "INSERT OR IGNORE INTO registry_keys VALUES (?1, ?2)");
      if (!q.Int(1, root).Blob(2, Utf16Bytes(path.substr(0, end))).Run()) {
        return Fail(c, "cannot write " + path_);
      }
    }
    Query q(c, "INSERT OR REPLACE INTO registry VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    return q.Int(1, root)
               .Blob(2, Utf16Bytes(path))
               .Blob(3, Utf16Bytes(FoldCase(name)))
               .Blob(4, Utf16Bytes(name))
               .Int(5, type)
               .Blob(6, data)
               .Run() ||
           Fail(c, "cannot write " + path_);
  });
}

bool HandheldImage::DeleteRegistryValue(uint32_t root, const std::u16string& key,
                                        const std::u16string& name) {
  return Write([&](Connection& c) {
    Query q(c, "DELETE FROM registry WHERE root = ?1 AND path = ?2 AND folded = ?3");
    return q.Int(1, root)
               .Blob(2, Utf16Bytes(NormalKey(key)))
               .Blob(3, Utf16Bytes(FoldCase(name)))
               .Run() ||
           Fail(c, "cannot write " + path_);
  });
}

bool HandheldImage::HasRegistryKey(uint32_t root, const std::u16string& key) {
  const std::u16string path = NormalKey(key);
  bool exists = false;
  Read([&](Connection& c) {
    if (path.empty()) return exists = true;
    Query q(c, "SELECT 1 FROM registry_keys WHERE root = ?1 AND path = ?2");
    const int rc = q.Int(1, root).Blob(2, Utf16Bytes(path)).Step();
    exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
  return exists;
}

bool HandheldImage::RegistryValue(uint32_t root, const std::u16string& key,
                                  const std::u16string& name, uint32_t* type,
                                  std::vector<uint8_t>* data) {
  bool exists = false;
  Read([&](Connection& c) {
    Query q(c, "SELECT type, data FROM registry WHERE root = ?1 AND path = ?2 AND folded = ?3");
    const int rc = q.Int(1, root)
                       .Blob(2, Utf16Bytes(NormalKey(key)))
                       .Blob(3, Utf16Bytes(FoldCase(name)))
                       .Step();
    if (rc == SQLITE_ROW) {
      exists = true;
      *type = static_cast<uint32_t>(q.row().ColumnInt64(0));
      *data = q.row().ColumnBlob(1);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
  return exists;
}

bool HandheldImage::RegistrySubkeys(uint32_t root, const std::u16string& key,
                                    std::vector<std::u16string>* out) {
  out->clear();
  std::u16string prefix = NormalKey(key);
  if (!prefix.empty()) prefix.push_back(u'\\');
  return Read([&](Connection& c) {
    // A handheld's registry is small: its keys are read whole.
    Query q(c, "SELECT path FROM registry_keys WHERE root = ?1");
    q.Int(1, root);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      const std::u16string path = Utf16Text(q.row().ColumnBlob(0));
      if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
          path.find(u'\\', prefix.size()) != std::u16string::npos) {
        continue;
      }
      out->push_back(path.substr(prefix.size()));
    }
    std::sort(out->begin(), out->end());
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
}

bool HandheldImage::RegistryValues(uint32_t root, const std::u16string& key,
                                   std::vector<RegistryEntry>* out) {
  out->clear();
  return Read([&](Connection& c) {
    Query q(c,
            "SELECT name, type, data FROM registry WHERE root = ?1 AND path = ?2 ORDER BY folded");
    q.Int(1, root).Blob(2, Utf16Bytes(NormalKey(key)));
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      out->push_back({Utf16Text(q.row().ColumnBlob(0)),
                      static_cast<uint32_t>(q.row().ColumnInt64(1)), q.row().ColumnBlob(2)});
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
}

bool HandheldImage::Records(const std::string& database, std::vector<std::vector<CeValue>>* out) {
  out->clear();
  return Read([&](Connection& c) {
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
  });
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

bool HandheldImage::FindDatabase(const std::string& database, CeOid* oid) {
  return Read([&](Connection& c) {
    const int rc = LookUpDatabase(c, database, oid);
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  });
}

bool HandheldImage::DatabaseName(CeOid oid, std::string* database) {
  return Read([&](Connection& c) {
    Query q(c, "SELECT name FROM databases WHERE oid = ?1");
    const int rc = q.Int(1, oid).Step();
    if (rc == SQLITE_ROW) *database = q.row().ColumnText(0);
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  });
}

bool HandheldImage::SortOrder(CeOid database, std::vector<HandheldSortEntry>* out) {
  out->clear();
  return Read([&](Connection& c) {
    // A synchronization opens each large database twice: the second open
    // finds its order kept, unless the image changed in between.
    int64_t version = -1;
    if (&c == kept_.get()) {
      Query v(c, "PRAGMA data_version");
      if (v.Step() == SQLITE_ROW) version = v.row().ColumnInt64(0);
    }
    if (version != c.sortOrdersVersion) c.sortOrders.clear();
    c.sortOrdersVersion = version;
    if (auto kept = c.sortOrders.find(database); kept != c.sortOrders.end() && version >= 0) {
      *out = kept->second;
      return true;
    }
    Query q(c, "SELECT key, oid FROM records WHERE db = ?1 ORDER BY key, oid");
    q.Int(1, database);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      out->push_back({static_cast<int32_t>(q.row().ColumnInt64(0)),
                      static_cast<CeOid>(q.row().ColumnInt64(1))});
    }
    if (rc != SQLITE_DONE) return Fail(c, "cannot read " + path_);
    if (version >= 0) c.sortOrders[database] = *out;
    return true;
  });
}

bool HandheldImage::ReadRecord(CeOid record, CeOid* database, uint16_t* count,
                               std::vector<uint8_t>* buffer) {
  return Read([&](Connection& c) {
    Query q(c, "SELECT db, count, props FROM records WHERE oid = ?1");
    const int rc = q.Int(1, record).Step();
    if (rc == SQLITE_ROW) {
      *database = static_cast<CeOid>(q.row().ColumnInt64(0));
      *count = static_cast<uint16_t>(q.row().ColumnInt64(1));
      *buffer = q.row().ColumnBlob(2);
    }
    return rc == SQLITE_ROW || (rc != SQLITE_DONE && Fail(c, "cannot read " + path_));
  });
}

bool HandheldImage::ReadRecords(CeOid database, std::span<const HandheldSortEntry> wanted,
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
  return ok;
}

bool HandheldImage::DeleteRecord(CeOid record) {
  return Write([&](Connection& c) {
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
  });
}
