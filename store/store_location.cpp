// Where a handheld's store file lives and how it comes into being.
#include "store/store_location.h"

#include "platform/file_system.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"

StoreFolders ReadStoreFolders() {
  StoreFolders folders;
  RegistryKeyStack keys;
  // Without the Setup key nothing is read: the key below it would answer instead.
  if (keys.OpenPath(kSetupKeyPath)) {
    std::string value;
    if (keys.QueryString("DataPath", &value, 0)) folders.dataPath = value;
    if (keys.QueryString("ExecPath", &value, 0)) folders.execPath = value;
  }
  keys.CloseAll();
  return folders;
}

std::string WithSeparator(const std::string& folder) {
  if (!folder.empty() && folder.back() != '/') return folder + '/';
  return folder;
}

std::string StoreFilePath(const StoreFolders& folders, const std::string& deviceName) {
  return WithSeparator(folders.dataPath) + deviceName + ".mdb";
}

int CreateStoreIfMissing(const StoreFolders& folders, const std::string& path) {
  if (FileAttributesError(path) != kFileNotFound) return 0;
  return CopyFileNoOverwrite(WithSeparator(folders.execPath) + "HR_Template.mdb", path);
}

std::string StoreCreationMessage(int error) {
  return "Error creating new database, err = " + std::to_string(error);
}
