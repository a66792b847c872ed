// Where a handheld's store file lives and how it comes into being: shared by
// the record store and the synchronization, which must agree on both.
#pragma once

#include <string>
#include <vector>

// The folders the caller read from the settings (DataPath and ExecPath);
// the store never reads the settings itself. Empty means the current folder.
struct StoreFolders {
  std::string dataPath;  // where the stores are
  std::string execPath;  // where HR_Template.mdb is
};

// folder + "/" (when not empty and not already ending in "/").
std::string WithSeparator(const std::string& folder);

// DataPath + deviceName + ".mdb".
std::string StoreFilePath(const StoreFolders& folders, const std::string& deviceName);

// The names of the stores in dataPath (the current folder when empty): every
// regular file named N.mdb gives N, in no particular order, except the files
// an import leaves (N.windows.mdb, N.before-import.mdb). Empty when the
// folder cannot be read.
std::vector<std::string> ListStoreNames(const std::string& dataPath);

// Creates the store file at path from ExecPath's HR_Template.mdb when the
// file does not exist but its folder does. 0 when nothing needed doing or the
// copy succeeded; otherwise the error code of the failed copy (2 when the
// template is missing; EINVAL for a path holding a NUL, which no file can
// have; the system's error when the path cannot even be looked at, as for a
// name too long). A missing data folder is not an error here: the loads then
// find no file.
int CreateStoreIfMissing(const StoreFolders& folders, const std::string& path);

// The message shown when a store cannot be created.
std::string StoreCreationMessage(int error);
