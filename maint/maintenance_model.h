// The state and rules of Kestsweep's maintenance window without the window:
// the handheld, account and status lists and the two deletions.
#pragma once

#include <string>
#include <vector>

#include "platform/combo_model.h"
#include "store/record_store.h"
#include "store/store_file_kind.h"

// The questions asked before each deletion, caption "Delete Warning".
inline constexpr const char* kDeleteHandheldQuestion =
    "If you proceed all data associated with the selected device will be permanently "
    "deleted. Do you wish to proceed?";
inline constexpr const char* kDeleteAccountQuestion =
    "If you proceed all data associated with the selected account will be permanently "
    "deleted. Do you wish to proceed?";

// Shown after the name of a store copied over from Windows and not imported.
inline const std::string kNotImportedMark = std::string(" (") + kNotImportedNote + ")";

class MaintenanceModel {
 public:
  // The window opens: reads the data folder, lists its stores, selects the
  // first and opens it. Problems reading a store leave its lists empty;
  // a store that cannot be created says so (RecordStore::Locate).
  void Open();

  // The user's choices: open a handheld; show an account's status.
  void SelectDevice(int index);
  void SelectAccount(int index);

  // Asks the question (Yes/No, warning icon); on Yes deletes the selected
  // handheld's store and its SQLite companion files, then lists the stores
  // again and opens the first. A store that cannot be deleted stays, and a
  // message with the reason says so. With nothing selected only the question
  // is asked.
  void DeleteHandheld();
  // Asks the question; on Yes deletes the selected account's spans, records,
  // items and the account itself, by the id its entry carries, then reloads.
  // The deletion is one transaction: at the first statement that fails it
  // stops, the account keeps all its data, and a message gives SQLite's
  // reason.
  void DeleteAccount();

  // Entries carry the index of their handheld's name; a store written on
  // Windows is listed with kNotImportedMark after its name.
  const ComboModel& devices() const { return devices_; }
  // Entries carry their account's id as data.
  const ComboModel& accounts() const { return accounts_; }
  const ComboModel& status() const { return status_; }
  const std::string& dataPath() const { return dataPath_; }
  const std::string& deviceName() const { return deviceName_; }
  const RecordStore& store() const { return store_; }

 private:
  void FillDeviceList();
  std::string SelectedName() const;
  void OpenSelectedDevice();
  void FillAccountList();
  void ShowStatus();
  // The first failing statement's reason, or "" when all ran.
  std::string RunAccountDeletion(int32_t accountId);

  std::string dataPath_;
  std::string deviceName_;
  std::vector<std::string> names_;  // the listed handhelds' names
  RecordStore store_;
  ComboModel devices_{true};
  ComboModel accounts_{true};
  ComboModel status_{true};
};
