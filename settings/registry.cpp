// The settings registry in one SQLite file.
#include "settings/registry.h"

#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/sqlite_statement.h"
#include "platform/xdg_paths.h"

namespace {

// Marks a file as ours, so that another program's database named by mistake
// is refused instead of having registry tables added to it.
constexpr int64_t kApplicationId = 0x48524547;  // "HREG"

constexpr const char* kSchema = R"sql(
CREATE TABLE reg_keys (
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES reg_keys (id) ON DELETE CASCADE,  -- NULL for the root
  name TEXT NOT NULL,    -- as written
  folded TEXT NOT NULL,  -- FoldCase(name), what names compare by
  UNIQUE (parent, folded));
CREATE TABLE reg_values (
  key_id INTEGER NOT NULL REFERENCES reg_keys (id) ON DELETE CASCADE,
  name TEXT NOT NULL,       -- as first written; "" is the default value
  folded TEXT NOT NULL,     -- FoldCase(name)
  type INTEGER NOT NULL,    -- Windows value type number
  data BLOB NOT NULL,
  PRIMARY KEY (key_id, folded)) WITHOUT ROWID;
INSERT INTO reg_keys (id, parent, name, folded) VALUES (1, NULL, '', '');
PRAGMA application_id = 1213351239;
PRAGMA user_version = 1;
)sql";
static_assert(kApplicationId == 1213351239);

bool ValidKeyName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace

std::string Registry::DefaultPath() {
  if (const char* path = std::getenv("HORALOG_REGISTRY"); path && *path) return path;
  return ConfigHome() + "/horalog/registry.db";
}

Registry::Registry(std::string path) : path_(std::move(path)) {}

Status Registry::Fail(const std::string& message, bool notFound) {
  failure_ = Status::Failure(notFound ? kNotFound : Status::kFailed, message);
  return failure_;
}

Status Registry::SqlFail(const std::string& what) {
  return Fail(what + ": " + connection_.errorMessage());
}

Status Registry::Start() {
  failure_ = Status::Ok();
  return Connect();
}

Status Registry::Connect() {
  if (connection_.isOpen()) return Status::Ok();
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Fail("cannot create " + folder.string() + ": " + ec.message());
  }
  if (connection_.Open(path_, true) != SQLITE_OK) {
    return Fail("cannot open " + path_ + ": " + connection_.errorMessage());
  }
  bool ok = connection_.Exec("PRAGMA foreign_keys = ON") == SQLITE_OK;
  if (ok && busyTimeoutMs_ != SqliteConnection::kBusyTimeoutMs) {
    ok = connection_.Exec("PRAGMA busy_timeout = " + std::to_string(busyTimeoutMs_)) == SQLITE_OK;
  }
  Status status = ok ? Initialize() : SqlFail(path_);
  // A failed connection is not kept: the next operation tries again, so a
  // lock that has gone by then does not leave this object broken.
  if (!status.ok()) connection_.Close();
  return status;
}

Status Registry::Initialize() {
  // Reading first keeps the common case (an existing registry) free of any
  // write lock, so readers in two processes never wait for each other here.
  auto state = [this](int64_t* applicationId, int64_t* objects) {
    SqliteStatement id;
    if (id.Prepare(connection_, "PRAGMA application_id") != SQLITE_OK || id.Step() != SQLITE_ROW) {
      return SqlFail(path_);
    }
    *applicationId = id.ColumnInt64(0);
    SqliteStatement count;
    if (count.Prepare(connection_, "SELECT count(*) FROM sqlite_master") != SQLITE_OK ||
        count.Step() != SQLITE_ROW) {
      return SqlFail(path_);
    }
    *objects = count.ColumnInt64(0);
    return Status::Ok();
  };
  int64_t applicationId = 0;
  int64_t objects = 0;
  if (Status read = state(&applicationId, &objects); !read.ok()) return read;
  if (applicationId == kApplicationId) return Status::Ok();
  if (applicationId != 0 || objects != 0) return Fail(path_ + " is not a registry file");

  SqliteTransaction transaction(connection_);
  if (transaction.status() != SQLITE_OK) return SqlFail(path_);
  // Another process may have made the file between the check and the lock.
  if (Status read = state(&applicationId, &objects); !read.ok()) return read;
  if (applicationId == kApplicationId) return Status::Ok();
  if (applicationId != 0 || objects != 0) return Fail(path_ + " is not a registry file");
  if (connection_.Exec(kSchema) != SQLITE_OK) return SqlFail(path_);
  if (transaction.Commit() != SQLITE_OK) return SqlFail(path_);
  return Status::Ok();
}

void Registry::SetBusyTimeout(int milliseconds) {
  busyTimeoutMs_ = milliseconds;
  if (connection_.isOpen()) {
    connection_.Exec("PRAGMA busy_timeout = " + std::to_string(milliseconds));
  }
}

Status Registry::Begin(std::optional<SqliteTransaction>* transaction) {
  if (inTransaction_) return Status::Ok();
  transaction->emplace(connection_);
  if ((*transaction)->status() != SQLITE_OK) return SqlFail("cannot begin a change");
  return Status::Ok();
}

Status Registry::Commit(std::optional<SqliteTransaction>* transaction) {
  if (!transaction->has_value()) return Status::Ok();
  if ((*transaction)->Commit() != SQLITE_OK) return SqlFail("cannot commit a change");
  return Status::Ok();
}

Status Registry::WorkFailure() const {
  // The last operation's failure; work that failed on its own has no words.
  return failure_.ok() ? Status::Failure(std::string()) : failure_;
}

Status Registry::RunInTransaction(const std::function<bool()>& work) {
  if (Status started = Start(); !started.ok()) return started;
  if (inTransaction_) return work() ? Status::Ok() : WorkFailure();
  std::optional<SqliteTransaction> transaction;
  if (Status begun = Begin(&transaction); !begun.ok()) return begun;
  inTransaction_ = true;
  const bool ok = work();
  inTransaction_ = false;
  if (!ok) return WorkFailure();
  return Commit(&transaction);
}

Status Registry::KeyExists(RegistryKey key, bool* exists) {
  SqliteStatement statement;
  if (statement.Prepare(connection_, "SELECT 1 FROM reg_keys WHERE id = ?1") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK) {
    return SqlFail("cannot read key");
  }
  const int rc = statement.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlFail("cannot read key");
  *exists = rc == SQLITE_ROW;
  return Status::Ok();
}

Status Registry::CheckKey(RegistryKey key, const char* gone) {
  bool exists = false;
  if (Status read = KeyExists(key, &exists); !read.ok()) return read;
  return exists ? Status::Ok() : Fail(gone, true);
}

Status Registry::FindKey(RegistryKey parent, const std::string& folded, RegistryKey* out) {
  SqliteStatement statement;
  if (statement.Prepare(connection_, "SELECT id FROM reg_keys WHERE parent = ?1 AND folded = ?2") !=
          SQLITE_OK ||
      statement.BindInt64(1, parent) != SQLITE_OK || statement.BindText(2, folded) != SQLITE_OK) {
    return SqlFail("cannot read key");
  }
  const int rc = statement.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlFail("cannot read key");
  *out = rc == SQLITE_ROW ? statement.ColumnInt64(0) : 0;
  return Status::Ok();
}

Status Registry::OpenKey(RegistryKey parent, const std::string& name, RegistryKey* out) {
  if (!ValidKeyName(name)) return Fail("invalid key name \"" + name + "\"");
  if (Status started = Start(); !started.ok()) return started;
  RegistryKey key = 0;
  if (Status found = FindKey(parent, FoldCase(name), &key); !found.ok()) return found;
  if (key == 0) return Fail("key not found: " + name, true);
  *out = key;
  return Status::Ok();
}

Status Registry::CreateKey(RegistryKey parent, const std::string& name, RegistryKey* out) {
  if (!ValidKeyName(name)) return Fail("invalid key name \"" + name + "\"");
  if (Status started = Start(); !started.ok()) return started;
  const std::string folded = FoldCase(name);
  RegistryKey key = 0;
  if (Status found = FindKey(parent, folded, &key); !found.ok()) return found;
  if (key != 0) {
    *out = key;
    return Status::Ok();
  }
  // Only a missing key costs a write lock; the insert is repeated under the
  // lock because another process may have created the key meanwhile.
  std::optional<SqliteTransaction> transaction;
  if (Status begun = Begin(&transaction); !begun.ok()) return begun;
  if (Status there = CheckKey(parent, "parent key no longer exists"); !there.ok()) return there;
  SqliteStatement insert;
  if (insert.Prepare(connection_,
                     "INSERT OR IGNORE INTO reg_keys (parent, name, folded) VALUES (?1, ?2, ?3)") !=
          SQLITE_OK ||
      insert.BindInt64(1, parent) != SQLITE_OK || insert.BindText(2, name) != SQLITE_OK ||
      insert.BindText(3, folded) != SQLITE_OK || insert.Step() != SQLITE_DONE) {
    return SqlFail("cannot create key " + name);
  }
  if (Status found = FindKey(parent, folded, &key); !found.ok()) return found;
  if (key == 0) return Fail("cannot create key " + name);
  if (Status committed = Commit(&transaction); !committed.ok()) return committed;
  *out = key;
  return Status::Ok();
}

Status Registry::DeleteKey(RegistryKey parent, const std::string& name) {
  if (!ValidKeyName(name)) return Fail("invalid key name \"" + name + "\"");
  if (Status started = Start(); !started.ok()) return started;
  std::optional<SqliteTransaction> transaction;
  if (Status begun = Begin(&transaction); !begun.ok()) return begun;
  RegistryKey key = 0;
  if (Status found = FindKey(parent, FoldCase(name), &key); !found.ok()) return found;
  if (key == 0) return Fail("key not found: " + name, true);
  // Sub-keys and values go with the key through ON DELETE CASCADE.
  SqliteStatement statement;
  if (statement.Prepare(connection_, "DELETE FROM reg_keys WHERE id = ?1") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK || statement.Step() != SQLITE_DONE) {
    return SqlFail("cannot delete key " + name);
  }
  return Commit(&transaction);
}

Status Registry::OpenKeyPath(RegistryKey parent, const std::vector<std::string>& names,
                             RegistryKey* out) {
  RegistryKey key = parent;
  for (const std::string& name : names) {
    if (Status opened = OpenKey(key, name, &key); !opened.ok()) return opened;
  }
  if (names.empty()) {
    if (Status started = Start(); !started.ok()) return started;
    bool exists = false;
    if (Status read = KeyExists(key, &exists); !read.ok()) return read;
    if (!exists) return Fail("key not found", true);
  }
  *out = key;
  return Status::Ok();
}

Status Registry::CreateKeyPath(RegistryKey parent, const std::vector<std::string>& names,
                               RegistryKey* out) {
  if (names.empty()) return OpenKeyPath(parent, names, out);
  RegistryKey key = parent;
  for (const std::string& name : names) {
    if (Status created = CreateKey(key, name, &key); !created.ok()) return created;
  }
  *out = key;
  return Status::Ok();
}

Status Registry::QueryValue(RegistryKey key, const std::string& name, RegistryValue* out) {
  if (Status started = Start(); !started.ok()) return started;
  SqliteStatement statement;
  if (statement.Prepare(connection_,
                        "SELECT name, type, data FROM reg_values "
                        "WHERE key_id = ?1 AND folded = ?2") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK ||
      statement.BindText(2, FoldCase(name)) != SQLITE_OK) {
    return SqlFail("cannot read value " + name);
  }
  const int rc = statement.Step();
  if (rc == SQLITE_DONE) return Fail("value not found: " + name, true);
  if (rc != SQLITE_ROW) return SqlFail("cannot read value " + name);
  out->name = statement.ColumnText(0);
  out->type = static_cast<uint32_t>(statement.ColumnInt64(1));
  out->data = statement.ColumnBlob(2);
  return Status::Ok();
}

Status Registry::SetValue(RegistryKey key, const std::string& name, uint32_t type,
                          const std::vector<uint8_t>& data) {
  if (Status started = Start(); !started.ok()) return started;
  std::optional<SqliteTransaction> transaction;
  if (Status begun = Begin(&transaction); !begun.ok()) return begun;
  if (Status there = CheckKey(key, "key no longer exists"); !there.ok()) return there;
  SqliteStatement statement;
  if (statement.Prepare(connection_,
                        "INSERT INTO reg_values (key_id, name, folded, type, data) "
                        "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key_id, folded) "
                        "DO UPDATE SET type = excluded.type, data = excluded.data") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK || statement.BindText(2, name) != SQLITE_OK ||
      statement.BindText(3, FoldCase(name)) != SQLITE_OK ||
      statement.BindInt64(4, type) != SQLITE_OK || statement.BindBlob(5, data) != SQLITE_OK ||
      statement.Step() != SQLITE_DONE) {
    return SqlFail("cannot write value " + name);
  }
  return Commit(&transaction);
}

Status Registry::DeleteValue(RegistryKey key, const std::string& name) {
  if (Status started = Start(); !started.ok()) return started;
  std::optional<SqliteTransaction> transaction;
  if (Status begun = Begin(&transaction); !begun.ok()) return begun;
  SqliteStatement statement;
  if (statement.Prepare(connection_, "DELETE FROM reg_values WHERE key_id = ?1 AND folded = ?2") !=
          SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK ||
      statement.BindText(2, FoldCase(name)) != SQLITE_OK || statement.Step() != SQLITE_DONE) {
    return SqlFail("cannot delete value " + name);
  }
  if (connection_.changes() == 0) return Fail("value not found: " + name, true);
  return Commit(&transaction);
}

Status Registry::StartList(RegistryKey key) {
  if (Status started = Start(); !started.ok()) return started;
  return CheckKey(key, "key not found");
}

Status Registry::ListValues(RegistryKey key, std::vector<RegistryValue>* out) {
  if (Status started = StartList(key); !started.ok()) return started;
  SqliteStatement statement;
  if (statement.Prepare(connection_,
                        "SELECT name, type, data FROM reg_values WHERE key_id = ?1 "
                        "ORDER BY folded") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK) {
    return SqlFail("cannot list values");
  }
  std::vector<RegistryValue> values;
  int rc;
  while ((rc = statement.Step()) == SQLITE_ROW) {
    values.push_back({statement.ColumnText(0), static_cast<uint32_t>(statement.ColumnInt64(1)),
                      statement.ColumnBlob(2)});
  }
  if (rc != SQLITE_DONE) return SqlFail("cannot list values");
  *out = std::move(values);
  return Status::Ok();
}

Status Registry::ListSubKeys(RegistryKey key, std::vector<std::string>* out) {
  if (Status started = StartList(key); !started.ok()) return started;
  SqliteStatement statement;
  if (statement.Prepare(connection_,
                        "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY folded") !=
          SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK) {
    return SqlFail("cannot list keys");
  }
  std::vector<std::string> names;
  int rc;
  while ((rc = statement.Step()) == SQLITE_ROW) names.push_back(statement.ColumnText(0));
  if (rc != SQLITE_DONE) return SqlFail("cannot list keys");
  *out = std::move(names);
  return Status::Ok();
}

Status Registry::KeyName(RegistryKey key, std::string* out) {
  if (Status started = Start(); !started.ok()) return started;
  SqliteStatement statement;
  if (statement.Prepare(connection_, "SELECT name FROM reg_keys WHERE id = ?1") != SQLITE_OK ||
      statement.BindInt64(1, key) != SQLITE_OK) {
    return SqlFail("cannot read key");
  }
  const int rc = statement.Step();
  if (rc == SQLITE_DONE) return Fail("key not found", true);
  if (rc != SQLITE_ROW) return SqlFail("cannot read key");
  *out = statement.ColumnText(0);
  return Status::Ok();
}
