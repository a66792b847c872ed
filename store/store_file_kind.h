// What a file at a store's path holds, told by its first bytes rather than
// its name: Linux stores are SQLite files, but a data folder copied over from
// Windows holds Jet (Access 2000-2003) or ACE (Access 2007 and later) files
// under the same names.
#pragma once

#include <string>

enum class StoreFileKind {
  Missing,     // no file (or it cannot be looked at)
  Empty,       // zero bytes: a fresh or interrupted file, never a Windows store
  Sqlite,      // "SQLite format 3\0" at offset 0
  WindowsJet,  // "Standard Jet DB" at offset 4
  WindowsAce,  // "Standard ACE DB" at offset 4
  Other,       // anything else: a damaged file or no database at all
};

StoreFileKind DetectStoreFileKind(const std::string& path);
// The same for bytes already read (at least the first 20 of the file).
StoreFileKind DetectStoreFileKindOf(const std::string& head);

inline bool IsWindowsStore(StoreFileKind kind) {
  return kind == StoreFileKind::WindowsJet || kind == StoreFileKind::WindowsAce;
}

// How a list of stores marks a Windows store at a store's path.
inline constexpr const char* kNotImportedNote = "written on Windows: not yet imported";

// The line every program shows for a Windows store at a store's path.
std::string WindowsStoreMessage(const std::string& deviceName, const std::string& path);
