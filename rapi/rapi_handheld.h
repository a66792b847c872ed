// A real handheld, reached through SynCE's RAPI library (librapi of
// libsynce): the docked Windows CE device that SynCE's connection manager,
// or a serial/PPP link, has made known in its connection description.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sync/ce_platform.h"
#include "sync/property_buffer.h"

class RapiHandheld : public CePlatform {
 public:
  // A request that has not been answered within callTimeoutMs is given up:
  // the connection is shut down, so that call and every later one fail as
  // from a handheld that went away (the library itself would wait for ever).
  explicit RapiHandheld(int callTimeoutMs = 30000);
  ~RapiHandheld() override;
  RapiHandheld(const RapiHandheld&) = delete;
  RapiHandheld& operator=(const RapiHandheld&) = delete;

  // Non-zero when the library knows of no handheld at all (no connection
  // description). Otherwise the library's CeRapiInit runs on a thread of its
  // own, followed by one request every handheld answers at once, and the
  // event is signalled with the result: a connection that is made but never
  // answers is no connection. An attempt given up by CeRapiUninit is ended
  // by that thread, which touches nothing of this object.
  int32_t CeRapiInitEx(RapiInit* init) override;
  int32_t CeRapiUninit() override;
  int32_t CeRapiGetError() override;
  // Asked of SynCE's connection manager, which holds a locked handheld back
  // until it has its password; no connection manager, no lock.
  bool CeLocked(std::string* name) override;
  int32_t CeUnlock(const std::string& password) override;
  int32_t CeRegOpenKeyEx(uint32_t root, const std::u16string& subKey, uint32_t* key) override;
  int32_t CeRegQueryValueEx(uint32_t key, const std::u16string& name, uint32_t* type, uint8_t* data,
                            uint32_t* size) override;
  int32_t CeRegCloseKey(uint32_t key) override;
  CeHandle CeOpenDatabase(CeOid* oid, const std::u16string& name, uint32_t sortProperty,
                          uint32_t flags) override;
  int CeOidGetInfo(CeOid oid, CeOidInfo* info) override;
  // The library cannot seek by value: CEDB_SEEK_VALUEFIRSTEQUAL is answered
  // from one sequential read of the database, made at the first such seek
  // on a handle, that notes each record's key and object identifier; the
  // record found is then sought by its object identifier.
  CeOid CeSeekDatabase(CeHandle handle, uint32_t seekType, uint32_t position, const CePropVal* key,
                       uint32_t* index) override;
  // The library's property values hold pointers; they come back in the
  // 16-byte layout with string offsets. A reply that cannot be converted is
  // a failed read.
  CeOid CeReadRecordProps(CeHandle handle, uint32_t flags, uint16_t* propCount,
                          std::vector<uint8_t>* buffer) override;
  int CeDeleteRecord(CeHandle handle, CeOid record) override;
  int CeCloseHandle(CeHandle handle) override;

  // The handheld the library would connect to: its name and address from
  // the connection description. False when there is none.
  static bool Describe(std::string* name, std::string* address);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Reads count property values as the library returns them (its own
// CEPROPVAL structures, strings as pointers into the same buffer of size
// bytes). False when the values do not fit in the buffer, or a string lies
// outside it or has no terminator inside it: nothing is read past the buffer.
bool ReadLibraryProperties(const uint8_t* buffer, size_t size, uint16_t count,
                           std::vector<CeValue>* out);

// Reads count property values as they travel in a record read's answer:
// 16-byte values, strings as offsets from the start of the values. Checked
// as above.
bool ReadWireProperties(const uint8_t* buffer, size_t size, uint16_t count,
                        std::vector<CeValue>* out);
