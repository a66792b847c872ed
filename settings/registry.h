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
// first use and closed with the object. Every operation returns false on any
// failure (missing key, unreadable file) and keeps the reason in lastError().
// A file that is not a registry (not a database, or another program's
// database) is never changed: every operation on it fails.
class Registry {
 public:
  // HORALOG_REGISTRY when set, else $XDG_CONFIG_HOME/horalog/registry.db.
  static std::string DefaultPath();

  explicit Registry(std::string path = DefaultPath());

  // A name is one key name: not empty and without "\". CreateKey fails when
  // parent no longer exists.
  bool OpenKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  bool CreateKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  // Deletes the sub-key name of parent with all its sub-keys and values.
  bool DeleteKey(RegistryKey parent, const std::string& name);
  // The key reached from parent through names, one level each; an empty list
  // is parent itself. CreateKeyPath creates the missing levels.
  bool OpenKeyPath(RegistryKey parent, const std::vector<std::string>& names, RegistryKey* out);
  bool CreateKeyPath(RegistryKey parent, const std::vector<std::string>& names, RegistryKey* out);

  // Name "" is the key's default value. SetValue keeps the letter case of a
  // value's name as first written.
  bool QueryValue(RegistryKey key, const std::string& name, RegistryValue* out);
  bool SetValue(RegistryKey key, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data);
  bool DeleteValue(RegistryKey key, const std::string& name);

  // Values and sub-key names of key, in case-folded name order.
  bool ListValues(RegistryKey key, std::vector<RegistryValue>* out);
  bool ListSubKeys(RegistryKey key, std::vector<std::string>* out);

  // The name of key as written ("" for the root).
  bool KeyName(RegistryKey key, std::string* out);

  // Runs work, whose operations then share one write transaction: committed
  // when work returns true, rolled back otherwise (also when the commit
  // fails). False when work failed or the transaction could not be had.
  bool RunInTransaction(const std::function<bool()>& work);

  // How long an operation waits for another process's lock before it fails
  // (default SqliteConnection::kBusyTimeoutMs).
  void SetBusyTimeout(int milliseconds);

  const std::string& path() const { return path_; }
  const std::string& lastError() const { return error_; }
  // True when the last failure was a key or value that does not exist, false
  // when it was the file, a lock or a bad name.
  bool notFound() const { return notFound_; }

 private:
  bool Connect();
  bool Initialize();
  bool Start();
  bool Fail(const std::string& message, bool notFound = false);
  bool SqlFail(const std::string& what);
  bool Begin(std::optional<SqliteTransaction>* transaction);
  bool Commit(std::optional<SqliteTransaction>* transaction);
  bool KeyExists(RegistryKey key, bool* exists);
  // True when key is there; else fails with gone as not found (another
  // program may have deleted it meanwhile).
  bool CheckKey(RegistryKey key, const char* gone);
  bool FindKey(RegistryKey parent, const std::string& folded, RegistryKey* out);

  std::string path_;
  SqliteConnection connection_;
  std::string error_;
  bool notFound_ = false;
  bool inTransaction_ = false;
  int busyTimeoutMs_ = SqliteConnection::kBusyTimeoutMs;
};
