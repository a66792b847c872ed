// An emulated handheld's image file: its four property databases and its
// registry values, as the handheld's own program would leave them, plus the
// faults it is told to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/property_buffer.h"

// The four databases, as the handheld names them.
inline constexpr const char* kHandheldDatabases[] = {"HLAccountName", "HLItemName", "HLGroup",
                                                     "HLTime"};
// A CE database holds at most this many records.
constexpr int64_t kMaxCeRecords = 65535;

enum class HandheldFault {
  Open,   // opening the database fails
  Count,  // its record count cannot be taken
  Seek,   // the seek to record N (sort position from 0) fails
  Read,   // the read of record N fails
  Short,  // record N comes back with fewer properties than its layout
};

class HandheldImage {
 public:
  // Makes a new image at path with the four empty databases, \Ident\Name
  // (REG_SZ, any length) and, when given, \ControlPanel\Owner\Owner
  // (REG_BINARY holding zero-terminated UTF-16). False with error set when
  // path exists and force is false, or the file cannot be written.
  static bool Create(const std::string& path, const std::u16string& name,
                     const std::optional<std::u16string>& owner, bool force, std::string* error);

  explicit HandheldImage(std::string path);

  // Adds, or replaces the record with that key. False (error set) when the
  // image cannot be written or the database is full.
  bool PutAccount(int32_t id, const std::u16string& name);
  bool PutItem(int32_t id, int32_t account, const std::u16string& name);
  // A record replaced keeps its spans (they are records of HLTime).
  bool PutRecord(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                 const std::u16string& notes);
  bool AddSpan(int32_t recordId, int32_t starttime, int32_t duration);
  // Removes every record of database whose key property equals key; the
  // number removed, or -1 on failure.
  int64_t Remove(const std::string& database, int32_t key);

  // Faults shown to any program that connects. n is the sort position for
  // Seek, Read and Short and is not used for Open and Count.
  bool SetFault(HandheldFault what, const std::string& database, int64_t n = 0);
  // The connection attempt is answered after this many milliseconds.
  bool SetDelay(int milliseconds);
  bool ClearFaults();

  // Registry values of the handheld, for tests that need odd ones.
  bool SetRegistryValue(uint32_t root, const std::u16string& key, const std::u16string& name,
                        uint32_t type, const std::vector<uint8_t>& data);
  bool DeleteRegistryValue(uint32_t root, const std::u16string& key, const std::u16string& name);

  // Records of database in sort order (key, then insertion), as property lists.
  bool Records(const std::string& database, std::vector<std::vector<CeValue>>* out);
  int64_t RecordCount(const std::string& database);

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};
