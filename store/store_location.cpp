// Where a handheld's store file lives and how it comes into being.
#include "store/store_location.h"

#include <cerrno>
#include <filesystem>

#include "platform/file_system.h"

std::string WithSeparator(const std::string& folder) {
  if (!folder.empty() && folder.back() != '/') return folder + '/';
  return folder;
}

std::string StoreFilePath(const StoreFolders& folders, const std::string& deviceName) {
  return WithSeparator(folders.dataPath) + deviceName + ".mdb";
}

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<std::string> ListStoreNames(const std::string& dataPath) {
  std::vector<std::string> names;
  std::error_code ec;
  const std::filesystem::path folder = dataPath.empty() ? "." : dataPath;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    // N.mdb exactly: a store listed as N under any other spelling (N.MDB)
    // would be a fresh, empty N.mdb once opened.
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".mdb") == 0 &&
        entry.is_regular_file(ec)) {
      const std::string name = file.substr(0, file.size() - 4);
      // What an import leaves beside a store: the Windows store it read and
      // the store it replaced. Neither is a handheld of its own.
      if (!EndsWith(name, ".windows") && !EndsWith(name, ".before-import")) names.push_back(name);
    }
  }
  return names;
}

int CreateStoreIfMissing(const StoreFolders& folders, const std::string& path) {
  // The system would end the path at a NUL: "Name\0" would make a file
  // "Name" that is no store, and the loads would read it.
  if (path.find('\0') != std::string::npos) return EINVAL;
  const int state = FileAttributesError(path);
  if (state == 0 || state == kPathNotFound) return 0;
  // Any other answer (a name too long, a folder that cannot be searched) is
  // no store to load: saying nothing would show an empty store as if it were
  // the handheld's.
  if (state != kFileNotFound) return state;
  return CopyFileNoOverwrite(WithSeparator(folders.execPath) + "HR_Template.mdb", path);
}

std::string StoreCreationMessage(int error) {
  return "Error creating new database, err = " + std::to_string(error);
}
