// What a file at a store's path holds.
#include "store/store_file_kind.h"

#include <fstream>

StoreFileKind DetectStoreFileKindOf(const std::string& head) {
  if (head.empty()) return StoreFileKind::Empty;
  if (head.compare(0, 16, std::string("SQLite format 3\0", 16)) == 0) return StoreFileKind::Sqlite;
  if (head.size() >= 19 && head.compare(4, 15, "Standard Jet DB") == 0) {
    return StoreFileKind::WindowsJet;
  }
  if (head.size() >= 19 && head.compare(4, 15, "Standard ACE DB") == 0) {
    return StoreFileKind::WindowsAce;
  }
  return StoreFileKind::Other;
}

StoreFileKind DetectStoreFileKind(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return StoreFileKind::Missing;
  std::string head(20, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  return DetectStoreFileKindOf(head);
}

std::string WindowsStoreMessage(const std::string& deviceName, const std::string& path) {
  return "The store of " + deviceName + " (" + path +
         ") was written by Horalog on Windows and has not been imported yet: import it with "
         "\"horalog import '" +
         path + "'\"";
}
