// The settings registry: a Windows-like key tree of typed values, kept in one
// SQLite file so that both programs and the tools share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sqlite_connection.h"

// Value types, numbered as Windows numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// A key handle: the key's row in the registry file; 0 is no key.
using RegistryKey = int64_t;
// HKEY_CURRENT_USER, the only root kept.
constexpr RegistryKey kHkeyCurrentUser = 1;

struct RegistryValue {
  std::string name;           // as written (letter case kept)
  uint32_t type = kRegSz;     // kRegSz, kRegBinary, kRegDword or any other number read from a file
  std::vector<uint8_t> data;  // REG_SZ: UTF-8 text with its terminating zero; REG_DWORD: 4 bytes little-endian
};

// Key and value names compare case-insensitively with simple per-character
// case folding, as Windows compares them. Each operation is one transaction,
// so two processes may read and write at once; the connection is opened on
// first use and closed with the object. Every operation returns false on any
// failure (missing key, unreadable file) and keeps the reason in lastError().
class Registry {
 public:
  // HORALOG_REGISTRY when set, else $XDG_CONFIG_HOME/horalog/registry.db.
  static std::string DefaultPath();

  explicit Registry(std::string path = DefaultPath());

  bool OpenKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  bool CreateKey(RegistryKey parent, const std::string& name, RegistryKey* out);
  // Deletes the sub-key name of parent with all its sub-keys and values.
  bool DeleteKey(RegistryKey parent, const std::string& name);

  bool QueryValue(RegistryKey key, const std::string& name, RegistryValue* out);
  bool SetValue(RegistryKey key, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data);
  bool DeleteValue(RegistryKey key, const std::string& name);

  // Values and sub-key names of key, in case-folded name order.
  bool ListValues(RegistryKey key, std::vector<RegistryValue>* out);
  bool ListSubKeys(RegistryKey key, std::vector<std::string>* out);

  // The name of key as written ("" for the root).
  bool KeyName(RegistryKey key, std::string* out);

  const std::string& path() const { return path_; }
  const std::string& lastError() const { return error_; }

 private:
  bool Connect();
  std::string path_;
  SqliteConnection connection_;
  std::string error_;
};

// Simple per-character case folding of UTF-8 text (Straße and STRASSE differ).
std::string FoldCase(const std::string& text);
