// Windows .reg text files: reading them into the registry and writing the
// registry out as one, so that settings carry over from and to Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"
#include "settings/registry.h"

// One change a .reg file asks for, in file order.
struct RegFileEdit {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  std::vector<std::string> keyPath;  // key names below HKEY_CURRENT_USER
  std::string valueName;             // SetValue, DeleteValue; "" is the default value (@)
  uint32_t type = kRegSz;            // SetValue
  std::vector<uint8_t> data;         // SetValue, stored as RegistryValue::data
  int line = 0;                      // the file line that asked for it
};

// Reads both kinds of .reg file: "Windows Registry Editor Version 5.00" in
// UTF-16LE (with its byte order mark) or UTF-8 (with or without one), and
// "REGEDIT4" read as Windows-1252. Understood: [KEY], [-KEY] (the key with
// everything below it), "Name"="text" with the escapes \\ and \", @= (the
// default value), "Name"=dword:XXXXXXXX, "Name"=hex:.. (REG_BINARY),
// "Name"=hex(N):.. (type N kept), "Name"=- (deletes the value), a trailing
// "\" continuing hex data on the next line, comments starting with ";" and
// blank lines. Keys must be below HKEY_CURRENT_USER (HKCU); values after a
// [-KEY] line are ignored, as regedit ignores them.
//
// Text is UTF-8 throughout the registry, so the text types REG_SZ (1),
// REG_EXPAND_SZ (2) and REG_MULTI_SZ (7) given as hex(N) are converted: a
// version 5.00 file holds them as UTF-16LE, a REGEDIT4 file as Windows-1252.
// Every other type keeps its bytes as they are.
class RegFile {
 public:
  // Parses the bytes of a whole file. Fails for a malformed file, saying
  // "line N: what"; edits() then holds nothing.
  Status Parse(const std::string& bytes);
  const std::vector<RegFileEdit>& edits() const { return edits_; }

  // Applies the parsed edits to registry in one transaction: all of them or,
  // on any failure (its message says which line), none. Deleting a key or
  // value that does not exist is not a failure.
  Status Apply(Registry* registry);

  // The key at keyPath (names below HKEY_CURRENT_USER; empty for the root)
  // with its values and everything below it, as "Windows Registry Editor
  // Version 5.00" text in UTF-8, keys and values in case-folded name order.
  // A REG_SZ that cannot be written as a quoted string on one line (line
  // breaks, zeros inside, no terminating zero) is written as hex(1); text
  // types given as hex are written as UTF-16LE, as Windows writes them. Fails
  // when the key is missing or the registry cannot be read
  // (a missing key fails with Registry::kNotFound).
  static Status Export(Registry* registry, const std::vector<std::string>& keyPath,
                       std::string* text);

 private:
  Status Fail(int line, const std::string& message);
  std::vector<RegFileEdit> edits_;
};

// Splits a key written as on Windows ("HKEY_CURRENT_USER\SOFTWARE\Brackwell",
// "HKCU\SOFTWARE", root names in any letter case) into the key names below
// the root; empty components are skipped. Fails for any other root (only
// HKEY_CURRENT_USER is kept) or a text without a root.
Status ParseRootedKeyPath(const std::string& text, std::vector<std::string>* names);
// "HKEY_CURRENT_USER" followed by "\" and each name.
std::string RootedKeyPathText(const std::vector<std::string>& names);
