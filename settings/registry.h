// The settings registry: a Windows-like key tree of typed values, kept in one
// SQLite file so that both programs and the tools share it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_transaction.h"
#include "platform/status.h"
#include "platform/utf8.h"

// Value types, numbered as Windows numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// A key handle: the key's row in the registry file; 0 is no key.
using RegistryKey = int64_t;
// HKEY_CURRENT_USER, the only root kept.
constexpr RegistryKey kHkeyCurrentUser = 1;

struct RegistryValue {
  std::string name;        // as written (letter case kept)
  uint32_t type = kRegSz;  // kRegSz, kRegBinary, kRegDword or any other number read from a file
  std::vector<uint8_t>
      data;  // REG_SZ: UTF-8 text with its terminating zero; REG_DWORD: 4 bytes little-endian
};

// Key and value names compare case-insensitively with simple per-character
// case folding, as Windows compares them. Each operation is one transaction,
// so two processes may read and write at once; the connection is opened on
// first use and closed with the object. Every operation fails with the reason
// in its Status: kNotFound for a key or value that does not exist, kFailed
// for the file, a lock or a bad name.
// A file that is not a registry (not a database, or another program's
// database) is never changed: every operation on it fails.
class Registry {
 public:
  // ERROR_FILE_NOT_FOUND as a result code, as the handheld gives it for
  // something missing.
  static constexpr int32_t kNotFound = Status::kNotFound;

  // HORALOG_REGISTRY when set, else $XDG_CONFIG_HOME/horalog/registry.db.
  static std::string DefaultPath();

  explicit Registry(std::string path = DefaultPath());

  // A name is one key name: not empty and without "\". CreateKey fails when
  // parent no longer exists.
  Status OpenKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  Status CreateKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  // Deletes the sub-key name of parent with all its sub-keys and values.
  Status DeleteKey(RegistryKey parent, const std::string& name);
  // The key reached from parent through names, one level each; an empty list
  // is parent itself. CreateKeyPath creates the missing levels.
  Status OpenKeyPath(RegistryKey parent, const std::vector<std::string>& names, RegistryKey* out);
  Status CreateKeyPath(RegistryKey parent, const std::vector<std::string>& names, RegistryKey* out);

  // Name "" is the key's default value. SetValue keeps the letter case of a
  // value's name as first written.
  Status QueryValue(RegistryKey key, const std::string& name, RegistryValue* out);
  Status SetValue(RegistryKey key, const std::string& name, uint32_t type,
                  const std::vector<uint8_t>& data);
  Status DeleteValue(RegistryKey key, const std::string& name);

  // Values and sub-key names of key, in case-folded name order.
  Status ListValues(RegistryKey key, std::vector<RegistryValue>* out);
  Status ListSubKeys(RegistryKey key, std::vector<std::string>* out);

  // The name of key as written ("" for the root).
  Status KeyName(RegistryKey key, std::string* out);

  // Runs work, whose operations then share one write transaction: committed
  // when work returns true, rolled back otherwise (also when the commit
  // fails). Fails when the transaction could not be had, or when work
  // failed: with the failure of its last operation, if that one failed.
  Status RunInTransaction(const std::function<bool()>& work);

  // How long an operation waits for another process's lock before it fails
  // (default SqliteConnection::kBusyTimeoutMs).
  void SetBusyTimeout(int milliseconds);

  const std::string& path() const { return path_; }

 private:
  Status Connect();
  Status Initialize();
  Status Start();
  Status Fail(const std::string& message, bool notFound = false);
  Status SqlFail(const std::string& what);
  Status Begin(std::optional<SqliteTransaction>* transaction);
  Status Commit(std::optional<SqliteTransaction>* transaction);
  Status KeyExists(RegistryKey key, bool* exists);
  // Ok when key is there; else fails with gone as not found (another
  // program may have deleted it meanwhile).
  Status CheckKey(RegistryKey key, const char* gone);
  // Start, then CheckKey: how every listing begins.
  Status StartList(RegistryKey key);
  // What RunInTransaction gives when work returned false.
  Status WorkFailure() const;
  Status FindKey(RegistryKey parent, const std::string& folded, RegistryKey* out);

  std::string path_;
  SqliteConnection connection_;
  // The last operation's failure, for RunInTransaction to give when work
  // fails; Ok when that operation did not fail.
  Status failure_ = Status::Ok();
  bool inTransaction_ = false;
  int busyTimeoutMs_ = SqliteConnection::kBusyTimeoutMs;
};
