// Every contact with the handheld, without a window.
#include "sync/sync_procedure.h"

#include <algorithm>
#include <vector>

#include "platform/utf16.h"
#include "settings/account_settings.h"
#include "store/store_file_kind.h"
#include "store/store_location.h"
#include "sync/debug_log.h"
#include "sync/synchronizer.h"

namespace {

// Mapped to Linux: the services that reach a handheld here are SynCE's,
// where on Windows they were the Windows CE Services.
constexpr const char* kInitFailed =
    "Mobile device initialization failed.  Verify SynCE (its RAPI library and connection "
    "manager) is installed and functioning properly, then try connecting again.";
constexpr const char* kUpdateFailed =
    "Unable to update mobile device.  Update will be performed next time device is connected.";
// Mapped to Linux: what connects a handheld here is its cradle and SynCE's
// connection manager, where on Windows it was ActiveSync.
constexpr const char* kConnectFailed =
    "Unable to connect to mobile device.  Verify device is turned on and docked and SynCE's "
    "connection manager (dccm) is running, then try connecting again.";
// A link lost part-way: said once, as a message box and as the status the
// dialog is left showing, instead of "Synchronization completed".
constexpr const char* kLinkLost =
    "The connection to the mobile device was lost during synchronization.  The records of the "
    "step under way were not stored; the local database keeps what it held before that step.  "
    "Check the device's connection, then try connecting again.";
constexpr const char* kLinkLostStatus =
    "Synchronization incomplete: the connection to the mobile device was lost.";
// A handheld locked with a password, which SynCE's connection manager holds
// back until it has the password.
constexpr const char* kLockedNoPassword =
    "The mobile device is locked with a password.  Nothing was synchronized; connect again and "
    "give the device's password.";
constexpr const char* kPasswordRefused =
    "The mobile device did not accept the password.  Nothing was synchronized; connect again and "
    "give the device's password.";
constexpr const char* kUnlockFailed =
    "The password could not be given to the mobile device.  Verify the device is docked and "
    "SynCE's connection manager (dccm) is running, then try connecting again.";
constexpr const char* kNameUnreadable =
    "Unable to read the name of the mobile device.  Verify the device has a name, then try "
    "connecting again.";

// The zero-terminated UTF-16 text at the start of data.
std::u16string Utf16Prefix(const std::vector<uint8_t>& data, uint32_t size) {
  std::u16string text;
  for (uint32_t i = 0; i + 1 < size && i + 1 < data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

// Reads one value of the handheld's registry into a buffer of capacity
// bytes; false when the key or value is missing, does not fit, or is not of
// the expected type.
bool ReadHandheldValue(CePlatform& platform, uint32_t root, const std::u16string& key,
                       const std::u16string& name, uint32_t expectedType, uint32_t capacity,
                       std::u16string* text) {
  uint32_t handle = 0;
  if (platform.CeRegOpenKeyEx(root, key, &handle) != CE_ERROR_SUCCESS) return false;
  std::vector<uint8_t> data(capacity, 0);
  uint32_t size = capacity;
  uint32_t type = 0;
  const bool read =
      platform.CeRegQueryValueEx(handle, name, &type, data.data(), &size) == CE_ERROR_SUCCESS &&
      type == expectedType;
  platform.CeRegCloseKey(handle);
  if (read) *text = Utf16Prefix(data, size);
  return read;
}

}  // namespace

SyncProcedure::SyncProcedure(CePlatform& platform, SyncView& view, bool updateOnly)
    : platform_(platform), view_(view), updateOnly_(updateOnly) {
  WriteDebugLog("SD creator", true);
}

std::string SyncProcedure::DeviceFileName(const std::string& handheldName) {
  std::string name = handheldName;
  for (char& c : name) {
    if (c == ' ' || c == '/') c = '_';
  }
  // ".", ".." and the like name folders, not handhelds.
  if (name.find_first_not_of('.') == std::string::npos) return "";
  return name;
}

bool SyncProcedure::Unlock() {
  std::string name;
  if (!platform_.CeLocked(&name)) return true;
  std::string password;
  if (!view_.AskPassword(name, &password)) {
    view_.SetStatus(kLockedNoPassword);
    return false;
  }
  const int32_t result = platform_.CeUnlock(password);
  // The password is not kept beyond its one use.
  std::fill(password.begin(), password.end(), '\0');
  if (result == 0) return true;
  view_.SetStatus(result == kCePasswordRefused ? kPasswordRefused : kUnlockFailed);
  return false;
}

bool SyncProcedure::Connect() {
  connected_ = false;
  RapiInit init;
  init.cbSize = 12;
  if (platform_.CeRapiInitEx(&init) != 0 || !init.heRapiInit) {
    view_.SetStatus(kInitFailed);
    return false;
  }
  if (init.heRapiInit->Wait(kConnectTimeoutMs) && init.heRapiInit->result() == 0) {
    view_.SetStatus("Connected, Synchronizing");
    connected_ = true;
    view_.PumpMessages();
    return true;
  }
  view_.SetStatus(updateOnly_ ? kUpdateFailed : kConnectFailed);
  platform_.CeRapiUninit();  // the attempt may still be under way
  return false;
}

bool SyncProcedure::ReadHandheldName(std::string* name) {
  std::u16string wide;
  // 32 bytes: a name of at most 15 characters and its terminator.
  if (!ReadHandheldValue(platform_, HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_SZ, 32,
                         &wide)) {
    return false;
  }
  return Utf16ToUtf8(wide, name);
}

bool SyncProcedure::ReadOwnerName(std::string* owner) {
  std::u16string wide;
  if (!ReadHandheldValue(platform_, HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner",
                         CE_REG_BINARY, 1024, &wide)) {
    return false;
  }
  return Utf16ToUtf8(wide, owner);
}

void SyncProcedure::LinkLost() {
  view_.ShowMessage(kLinkLost, "Synchronization Error");
  view_.SetStatus(kLinkLostStatus);
}

SyncProcedure::Outcome SyncProcedure::Run() {
  WriteDebugLog("OT begin", false);
  if (!Unlock()) {
    deviceName_.clear();
    ownerName_.clear();
    return Outcome::Locked;
  }
  const bool connected = Connect();
  deviceName_.clear();
  ownerName_.clear();
  if (!connected) return Outcome::NotConnected;

  std::string caption = "Synchronization of ";
  std::string handheldName;
  const bool named = ReadHandheldName(&handheldName);
  if (named) {
    caption += handheldName;
    deviceName_ = DeviceFileName(handheldName);
  }
  std::string owner;
  if (ReadOwnerName(&owner)) {
    caption += " (" + owner + ")";
    ownerName_ = owner;
  }
  view_.SetCaption(caption);
  WriteDebugLog(caption, false);

  Outcome outcome = Outcome::Finished;
  if (platform_.CeRapiGetError() != 0) {
    // Gone while it was being identified: a name that could not be read is
    // no fault of the handheld's.
    LinkLost();
    outcome = Outcome::LinkLost;
  } else if (deviceName_.empty()) {
    // Without a name there is no store to write to: DataPath + ".mdb" would
    // be shared by every nameless handheld.
    view_.SetStatus(kNameUnreadable);
    outcome = Outcome::NameUnreadable;
  } else {
    const StoreFolders folders = ReadStoreFolders();
    const std::string path = StoreFilePath(folders, deviceName_);
    if (IsWindowsStore(DetectStoreFileKind(path))) {
      // A data folder copied over from Windows: its records are imported,
      // never written over or mixed with the handheld's.
      view_.ShowMessage(WindowsStoreMessage(deviceName_, path), "Horalog");
      outcome = Outcome::StoreNotCreated;
    } else if (int err = CreateStoreIfMissing(folders, path); err != 0) {
      view_.ShowMessage(StoreCreationMessage(err), "Horalog");
      outcome = Outcome::StoreNotCreated;
    } else {
      storePath_ = path;
      view_.PumpMessages();
      Synchronizer synchronizer(platform_, view_, deviceName_, storePath_);
      synchronizer.KeepSent(false);
      synchronizer.CleanDevice();
      if (!synchronizer.linkLost()) {
        if (updateOnly_) {
          view_.SetStatus("Synchronization Completed");
        } else {
          synchronizer.Synchronize();
        }
      }
      errorsReported_ = synchronizer.errors() > 0;
      if (synchronizer.linkLost()) {
        LinkLost();
        outcome = Outcome::LinkLost;
      }
    }
  }
  platform_.CeRapiUninit();
  connected_ = false;
  if (outcome == Outcome::Finished) view_.Beep();
  return outcome;
}
