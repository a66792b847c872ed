// The handheld platform played by a handheld image at the dock location.
#pragma once

#include <memory>
#include <string>

#include "sync/ce_platform.h"

// Where a docked handheld's image is: the file named by HORALOG_HANDHELD when
// that is set (and not "rapi:"), else $XDG_DATA_HOME/horalog/dock/handheld.hhd.
std::string DockLocation();

// The remote operations answered from the image docked at dockPath. A
// connection cannot even start when the dock folder is not readable; a dock
// without an image fails the attempt; the image's delay postpones the answer,
// which comes from another thread, as a real connection's does.
class EmulatedHandheld : public CePlatform {
 public:
  explicit EmulatedHandheld(std::string dockPath = DockLocation());
  ~EmulatedHandheld() override;

  int32_t CeRapiInitEx(RapiInit* init) override;
  int32_t CeRapiUninit() override;
  int32_t CeRegOpenKeyEx(uint32_t root, const std::u16string& subKey, uint32_t* key) override;
  int32_t CeRegQueryValueEx(uint32_t key, const std::u16string& name, uint32_t* type, uint8_t* data,
                            uint32_t* size) override;
  int32_t CeRegCloseKey(uint32_t key) override;
  CeHandle CeOpenDatabase(CeOid* oid, const std::u16string& name, uint32_t sortProperty,
                          uint32_t flags) override;
  int CeOidGetInfo(CeOid oid, CeOidInfo* info) override;
  CeOid CeSeekDatabase(CeHandle handle, uint32_t seekType, uint32_t position, const CePropVal* key,
                       uint32_t* index) override;
  CeOid CeReadRecordProps(CeHandle handle, uint32_t flags, uint16_t* propCount,
                          std::vector<uint8_t>* buffer) override;
  int CeDeleteRecord(CeHandle handle, CeOid record) override;
  int CeCloseHandle(CeHandle handle) override;

  // The registry key that key names: one of the four roots (path empty),
  // or a key opened here and not closed. False when it names none.
  bool RegistryKey(uint32_t key, uint32_t* root, std::u16string* path) const;

  // Requests made since construction (seeks, reads, deletes), for tests
  // that count a procedure's requests.
  struct Counters {
    int seeks = 0;
    int reads = 0;
    int deletes = 0;
  };
  const Counters& counters() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
