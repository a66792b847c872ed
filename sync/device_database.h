// One of the handheld's property databases, opened by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/ce_platform.h"
#include "sync/property_buffer.h"

// Owns its handle: destroying an open database closes it.
class DeviceDatabase {
 public:
  // LinkLost: the read failed because the handheld went away; nothing more
  // can be read in this connection.
  enum class ReadResult { Ok, SeekFailed, ReadFailed, LinkLost };

  DeviceDatabase(CePlatform& platform, std::string name, uint32_t sortProperty = kKeyProperty);
  ~DeviceDatabase();
  DeviceDatabase(const DeviceDatabase&) = delete;
  DeviceDatabase& operator=(const DeviceDatabase&) = delete;

  // The handle, never 0, or 0 when the database cannot be opened (silently).
  CeHandle Open();
  void Close();
  bool isOpen() const { return isOpen_; }
  const std::string& name() const { return name_; }

  // The 16-bit record count; false when it cannot be taken.
  bool RecordCount(uint16_t* count);

  // Reads all properties of record i (sort position from 0). The database is
  // open with CEDB_AUTOINCREMENT, so reading in order costs one request a
  // record; record i is sought by position first only when it is not the
  // current one, or when the read without a seek failed. A record with
  // fewer than minProperties properties, or whose buffer cannot be read, is
  // a failed read.
  ReadResult ReadRecord(uint32_t i, size_t minProperties, std::vector<CeValue>* values);

  // The first record whose key property equals key, or 0.
  CeOid FindByKey(int32_t key);
  void DeleteRecord(CeOid record);
  // Deletes every record with key, searching again from scratch after each
  // delete; the number deleted.
  int DeleteAllByKey(int32_t key);

 private:
  CePlatform& platform_;
  std::string name_;
  bool isOpen_ = false;
  CeHandle handle_ = 0;
  uint32_t sortProperty_;
  CeOid objectId_ = 0;
  // The sort position of the current record, as far as this side knows.
  uint32_t next_ = 0;
  // The last record's buffer, kept for its room.
  std::vector<uint8_t> buffer_;
};
