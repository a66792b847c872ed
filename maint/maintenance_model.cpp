// The state and rules of Kestsweep's maintenance window.
#include "maint/maintenance_model.h"

#include <cstdio>

#include "maint/store_deletion.h"
#include "platform/ui_services.h"
#include "settings/account_settings.h"
#include "store/statements.h"
#include "store/store_file_kind.h"
#include "store/store_location.h"
#include "store/store_session.h"
#include "store/table_command.h"

namespace {

constexpr const char* kWarningCaption = "Delete Warning";
constexpr const char* kErrorCaption = "Database Error";

}  // namespace

void MaintenanceModel::Open() {
  // Read once: the listed stores and the ones opened come from one folder.
  store_.SetFolders(ReadStoreFolders());
  dataPath_ = WithSeparator(store_.folders().dataPath);
  FillDeviceList();
  if (devices_.count() > 0) {
    devices_.Select(0);
    deviceName_ = SelectedName();
  }
  store_.SetDeviceName(deviceName_);
  store_.Locate();
  OpenSelectedDevice();
}

void MaintenanceModel::SelectDevice(int index) {
  devices_.Select(index);
  OpenSelectedDevice();
}

void MaintenanceModel::SelectAccount(int index) {
  accounts_.Select(index);
  ShowStatus();
}

void MaintenanceModel::FillDeviceList() {
  devices_.Clear();
  names_.clear();
  for (const std::string& name : ListStoreNames(dataPath_)) {
    // A store copied over from Windows is shown for what it is: a store this
    // window can neither read nor delete until it is imported.
    const bool windows = IsWindowsStore(DetectStoreFileKind(dataPath_ + name + ".mdb"));
    devices_.Add(windows ? name + kNotImportedMark : name, static_cast<int64_t>(names_.size()));
    names_.push_back(name);
  }
}

std::string MaintenanceModel::SelectedName() const {
  if (devices_.selected() == ComboModel::kNone) return "";
  return names_.at(static_cast<size_t>(devices_.Data(devices_.selected())));
}

void MaintenanceModel::OpenSelectedDevice() {
  if (devices_.count() == 0) return;
  deviceName_ = SelectedName();
  store_.SetDeviceName(deviceName_);
  store_.Locate();
  store_.Load();
  FillAccountList();
}

void MaintenanceModel::FillAccountList() {
  accounts_.Clear();
  // Every account gets its entry, also one whose name another shares: the
  // entry's id, not its name, tells which account it stands for.
  for (const AccountEntry& account : store_.accounts()) accounts_.Add(account.name, account.id);
  if (accounts_.count() > 0) accounts_.Select(0);
  ShowStatus();
}

void MaintenanceModel::ShowStatus() {
  status_.Clear();
  if (accounts_.selected() == ComboModel::kNone) return;
  const auto id = static_cast<int32_t>(accounts_.Data(accounts_.selected()));
  int records = 0;
  int invoiced = 0;
  for (const TimeRecord& record : store_.timeRecords()) {
    if (record.acct != id) continue;
    ++records;
    if (record.invoiced) ++invoiced;
  }
  char line[48];
  std::snprintf(line, sizeof line, "Date Records = %d", records);
  status_.Add(line);
  if (records != 0) {
    std::snprintf(line, sizeof line, "Invoiced = %d", invoiced);
    status_.Add(line);
  }
}

void MaintenanceModel::DeleteHandheld() {
  if (Ui().ShowWarning(kDeleteHandheldQuestion, kWarningCaption, MessageButtons::YesNo) !=
      MessageAnswer::Yes) {
    return;
  }
  if (devices_.selected() != ComboModel::kNone) {
    const std::string name = SelectedName();
    if (IsWindowsStore(DetectStoreFileKind(dataPath_ + name + ".mdb"))) {
      // The history billed on Windows: never deleted before it is imported.
      Ui().ShowMessage(
          WindowsStoreMessage(name, dataPath_ + name + ".mdb") + ". It was not deleted.",
          kErrorCaption, MessageButtons::Ok);
    } else if (const Status deleted = DeleteStoreFiles(dataPath_ + name + ".mdb"); !deleted.ok()) {
      Ui().ShowMessage(
          "The data of the device " + name + " could not be deleted: " + deleted.message(),
          kErrorCaption, MessageButtons::Ok);
    }
  }
  FillDeviceList();
  if (devices_.count() > 0) {
    devices_.Select(0);
    OpenSelectedDevice();
  } else {
    // Nothing of the deleted store may stay on show, nor be deleted again.
    deviceName_.clear();
    store_ = RecordStore();
    accounts_.Clear();
    status_.Clear();
  }
}

void MaintenanceModel::DeleteAccount() {
  if (Ui().ShowWarning(kDeleteAccountQuestion, kWarningCaption, MessageButtons::YesNo) !=
      MessageAnswer::Yes) {
    return;
  }
  status_.Clear();
  if (accounts_.selected() != ComboModel::kNone) {
    const int index = accounts_.selected();
    const std::string reason = RunAccountDeletion(static_cast<int32_t>(accounts_.Data(index)));
    if (!reason.empty()) {
      Ui().ShowMessage(
          "The data of the account " + accounts_.Text(index) + " could not be deleted: " + reason,
          kErrorCaption, MessageButtons::Ok);
    }
  }
  store_.Load();
  FillAccountList();
}

std::string MaintenanceModel::RunAccountDeletion(int32_t accountId) {
  // One transaction, its write lock taken before the account's records are
  // read: a synchronization running at the same moment can neither add a
  // record between the reading and the deleting (it would outlive its
  // account) nor replace a record whose spans were just deleted (its new
  // spans would lose their record). It waits for the deletion, or the
  // deletion for it.
  StoreSession session(store_.storePath());
  auto reason = [](const Status& status) {
    if (!status.message().empty()) return status.message();
    char code[24];
    std::snprintf(code, sizeof code, "error 0x%08X", static_cast<unsigned>(status.code()));
    return std::string(code);
  };
  if (Status status = session.Begin(); !status.ok()) return reason(status);
  store_.LoadTimeRecords();
  std::vector<StoreStatement> statements;
  for (const TimeRecord& record : store_.timeRecords()) {
    if (record.acct != accountId) continue;
    statements.push_back(DeleteSpansStatement(record.id));
    statements.push_back(DeleteTimeRecordStatement(record.id));
  }
  statements.push_back(DeleteItemsOfAccountStatement(accountId));
  statements.push_back(DeleteAccountStatement(accountId));
  for (const StoreStatement& statement : statements) {
    if (Status status = session.Execute(statement); !status.ok()) return reason(status);
  }
  if (Status status = session.Commit(); !status.ok()) return reason(status);
  return {};
}
