// The handheld as the desktop reaches it: the remote operations on its
// property databases and its registry, and nothing more.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using CeOid = uint32_t;     // object identifier of a database or record; 0 is none
using CeHandle = uint32_t;  // handle of an open database
constexpr CeHandle kCeInvalidHandle = 0xFFFFFFFFu;
// A database name fits in 32 UTF-16 units, terminator included.
constexpr size_t kCeMaxDatabaseName = 31;

// Property identifiers: property number in the high 16 bits, type in the low.
constexpr uint16_t CEVT_I2 = 2;
constexpr uint16_t CEVT_I4 = 3;
constexpr uint16_t CEVT_UI2 = 18;
constexpr uint16_t CEVT_UI4 = 19;
constexpr uint16_t CEVT_LPWSTR = 31;
// The key property every database is sorted and searched on.
constexpr uint32_t kKeyProperty = 0x10003;

constexpr uint32_t CEDB_SEEK_CEOID = 1;
constexpr uint32_t CEDB_SEEK_BEGINNING = 2;
constexpr uint32_t CEDB_SEEK_VALUEFIRSTEQUAL = 0x20;
constexpr uint32_t CEDB_ALLOWREALLOC = 1;
// Open flag: each read moves the database's current record on to the next
// one, so reading a database in order needs no seek between reads.
constexpr uint32_t CEDB_AUTOINCREMENT = 1;

// Roots of the handheld's registry and the results of its operations.
constexpr uint32_t HKEY_CE_CLASSES_ROOT = 0x80000000u;
constexpr uint32_t HKEY_CE_CURRENT_USER = 0x80000001u;
constexpr uint32_t HKEY_CE_LOCAL_MACHINE = 0x80000002u;
constexpr uint32_t HKEY_CE_USERS = 0x80000003u;
constexpr int32_t CE_ERROR_SUCCESS = 0;
constexpr int32_t CE_ERROR_FILE_NOT_FOUND = 2;
constexpr int32_t CE_ERROR_MORE_DATA = 234;
constexpr int32_t kCePasswordRefused = 86;  // ERROR_INVALID_PASSWORD
constexpr uint32_t CE_REG_SZ = 1;
constexpr uint32_t CE_REG_BINARY = 3;

// One property value as a read returns it: 16 bytes, little-endian: the
// identifier (4), a length (2), flags (2) and an 8-byte value. An integer is
// in the first 4 bytes of the value; for a string those 4 bytes hold the
// offset, from the start of the read buffer, of its zero-terminated UTF-16
// text (a 32-bit pointer cannot be kept in a 64-bit process).
constexpr size_t kCePropValSize = 16;

struct CePropVal {
  uint32_t propid = 0;
  uint16_t wLenData = 0;
  uint16_t wFlags = 0;
  uint64_t value = 0;  // integer in the low 32 bits, or the string's offset
};

// The event of a connection attempt: signalled, with its result, when the
// attempt has finished. Shared with the thread that makes the attempt.
class CeConnectEvent {
 public:
  // Waits at most timeoutMs; true when the attempt finished in time.
  bool Wait(int timeoutMs);
  void Signal(int32_t result);
  int32_t result() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable done_;
  bool signalled_ = false;
  int32_t result_ = 0;
};

// RAPIINIT: the caller sets cbSize to 12; the platform fills in the event,
// whose result is the attempt's result code (0: connected).
struct RapiInit {
  uint32_t cbSize = 12;
  std::shared_ptr<CeConnectEvent> heRapiInit;
};

struct CeOidInfo {
  uint16_t wNumRecords = 0;  // the database's record count
};

class CePlatform {
 public:
  virtual ~CePlatform() = default;

  // 0 when the connection attempt has started; its event is then signalled
  // when it has finished. Non-zero when no attempt can be made at all.
  virtual int32_t CeRapiInitEx(RapiInit* init) = 0;
  // Ends the connection (also an attempt still under way).
  virtual int32_t CeRapiUninit() = 0;
  // The link's own result of the last call: 0 when the request reached the
  // handheld and its answer came back (whatever the answer said), non-zero
  // when the link failed (the handheld went away). A handheld that cannot
  // go away answers 0.
  virtual int32_t CeRapiGetError() { return 0; }

  // A handheld that is docked but locked: it waits for its password before
  // any connection can be made. True with its name. A handheld that cannot
  // lock (the emulated one) never is.
  virtual bool CeLocked(std::string* name) {
    (void)name;
    return false;
  }
  // Gives the locked handheld its password: 0 when it unlocked,
  // kCePasswordRefused when it refused it (and still waits), another
  // non-zero value when it could not be asked.
  virtual int32_t CeUnlock(const std::string& password) {
    (void)password;
    return 0;
  }

  virtual int32_t CeRegOpenKeyEx(uint32_t root, const std::u16string& subKey, uint32_t* key) = 0;
  // Reads value name of key into data, at most *size bytes; *size becomes the
  // value's size. CE_ERROR_MORE_DATA when it does not fit.
  virtual int32_t CeRegQueryValueEx(uint32_t key, const std::u16string& name, uint32_t* type,
                                    uint8_t* data, uint32_t* size) = 0;
  virtual int32_t CeRegCloseKey(uint32_t key) = 0;

  // Opens a database by name (*oid 0 on entry) in the order of sortProperty;
  // the current record is then the first one. flags may hold
  // CEDB_AUTOINCREMENT. kCeInvalidHandle on failure; *oid is the database's
  // identifier on success.
  virtual CeHandle CeOpenDatabase(CeOid* oid, const std::u16string& name, uint32_t sortProperty,
                                  uint32_t flags) = 0;
  // Nonzero on success.
  virtual int CeOidGetInfo(CeOid oid, CeOidInfo* info) = 0;
  // CEDB_SEEK_BEGINNING: position is the record's place in sort order from 0.
  // CEDB_SEEK_CEOID: position is the object identifier of the record.
  // CEDB_SEEK_VALUEFIRSTEQUAL: key is the property value sought. The record
  // reached, or 0 when there is none.
  virtual CeOid CeSeekDatabase(CeHandle handle, uint32_t seekType, uint32_t position,
                               const CePropVal* key, uint32_t* index) = 0;
  // Reads every property of the current record into buffer (property values
  // then their strings), replacing its content; with CEDB_AUTOINCREMENT the
  // next record becomes the current one. The record read, or 0.
  virtual CeOid CeReadRecordProps(CeHandle handle, uint32_t flags, uint16_t* propCount,
                                  std::vector<uint8_t>* buffer) = 0;
  virtual int CeDeleteRecord(CeHandle handle, CeOid record) = 0;
  virtual int CeCloseHandle(CeHandle handle) = 0;
};
