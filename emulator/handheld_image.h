// An emulated handheld's image file: its four property databases and its
// registry values, as the handheld's own program would leave them, plus the
// faults it is told to show.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/status.h"
#include "sync/property_buffer.h"

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

// One fault kept in an image.
struct HandheldFaultEntry {
  HandheldFault what = HandheldFault::Open;
  std::string database;
  int64_t n = 0;  // sort position for Seek, Read and Short; 0 otherwise
};

// Where one record stands in its database's sort order.
struct HandheldSortEntry {
  int32_t key = 0;  // the key property 0x10003
  CeOid oid = 0;    // the record's object identifier
};

// What `Generate` fills an image with.
struct HandheldGenerateOptions {
  int64_t records = 0;          // time records in HLGroup, ids 1..records
  int64_t spansPerRecord = 1;   // spans in HLTime for each time record
  int64_t accounts = 10;        // accounts, ids 1..accounts
  int64_t itemsPerAccount = 5;  // items of each account, ids numbered on across accounts
  uint32_t seed = 1;            // same seed, same image
};

// Every call that can fail says how it went in a Status. A look-up that
// finds nothing fails with kNotFound and no message; a failure of the image
// itself carries the words that explain it.
class HandheldImage {
 public:
  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): what a look-up finds missing.
  static constexpr int32_t kNotFound = Status::kNotFound;

  // Makes a new image at path with the four empty databases, \Ident\Name
  // (REG_SZ, any length) and, when given, \ControlPanel\Owner\Owner
  // (REG_BINARY holding zero-terminated UTF-16). Fails when path exists and
  // force is false, or the file cannot be written.
  static Status Create(const std::string& path, const std::u16string& name,
                       const std::optional<std::u16string>& owner, bool force);

  explicit HandheldImage(std::string path);
  ~HandheldImage();
  HandheldImage(HandheldImage&&) noexcept;
  HandheldImage& operator=(HandheldImage&&) noexcept;

  // Every call opens the file and closes it again, unless Open has been
  // called: then one connection serves every call until Close (a connected
  // handheld answering many requests). Fails when the file is missing or is
  // not a handheld image.
  Status Open();
  void Close();
  // While held (and the image is open), reads share one read transaction
  // until the next write or until released: a burst of reads does not take
  // and drop the file's lock each time. Other programs can read meanwhile;
  // one that writes waits for the release.
  void HoldReads(bool hold);
  // Runs body with every change it makes in one transaction: all are kept,
  // or none when body returns false or a change fails (the failure is the
  // last change's). Nested calls join the
  // outer transaction. The fast way to make many changes.
  Status Batch(const std::function<bool()>& body);

  // Adds, or replaces the record with that key. Fails when the image cannot
  // be written or the database is full.
  Status PutAccount(int32_t id, const std::u16string& name);
  Status PutItem(int32_t id, int32_t account, const std::u16string& name);
  // A record replaced keeps its spans (they are records of HLTime).
  Status PutRecord(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                   const std::u16string& notes);
  Status AddSpan(int32_t recordId, int32_t starttime, int32_t duration);
  // Removes every record of database whose key property equals key, and
  // says how many in *removed.
  Status Remove(const std::string& database, int32_t key, int64_t* removed);
  // Empties the four databases and fills them with made-up accounts, items,
  // time records and spans, deterministic for options.seed, in one
  // transaction. Fails (nothing changed) when a database would exceed
  // kMaxCeRecords or a count is negative.
  Status Generate(const HandheldGenerateOptions& options);

  // Faults shown to any program that connects. n is the sort position for
  // Seek, Read and Short and is not used for Open and Count.
  Status SetFault(HandheldFault what, const std::string& database, int64_t n = 0);
  // The connection attempt is answered after this many milliseconds.
  Status SetDelay(int milliseconds);
  // Removes every fault, the delay included.
  Status ClearFaults();
  // The faults kept, in no particular order.
  Status Faults(std::vector<HandheldFaultEntry>* out);
  // The delay in milliseconds, or -1 on failure.
  int Delay();

  // Registry values of the handheld, for tests that need odd ones.
  Status SetRegistryValue(uint32_t root, const std::u16string& key, const std::u16string& name,
                          uint32_t type, const std::vector<uint8_t>& data);
  Status DeleteRegistryValue(uint32_t root, const std::u16string& key, const std::u16string& name);
  // Key paths use "\", a leading one is optional, and names compare with
  // letter case ignored. A key exists once a value was set in it or below
  // it; deleting the value leaves it. A root's own key ("") always exists.
  // kNotFound when missing.
  Status HasRegistryKey(uint32_t root, const std::u16string& key);
  Status RegistryValue(uint32_t root, const std::u16string& key, const std::u16string& name,
                       uint32_t* type, std::vector<uint8_t>* data);
  // The names of the keys right below key, in order. The image keeps key
  // names with their letter case folded, and so are they given.
  Status RegistrySubkeys(uint32_t root, const std::u16string& key,
                         std::vector<std::u16string>* out);
  // The values of key, named as they were set, in the order of their folded
  // names.
  struct RegistryEntry {
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  Status RegistryValues(uint32_t root, const std::u16string& key, std::vector<RegistryEntry>* out);

  // Records of database in sort order (key, then insertion), as property lists.
  Status Records(const std::string& database, std::vector<std::vector<CeValue>>* out);
  int64_t RecordCount(const std::string& database);

  // The record-level view a connected handheld serves. Database names
  // compare with letter case ignored. FindDatabase gives kNotFound when there
  // is no such database.
  Status FindDatabase(const std::string& database, CeOid* oid);
  // The name of the database with object identifier oid; kNotFound when none.
  Status DatabaseName(CeOid oid, std::string* database);
  // Appends to out the next at most limit entries of database's sort order
  // (by key, then object identifier) after the entry after, or from the
  // first when after is null: a handheld is put in order piece by piece, as
  // far as its reads and seeks go.
  Status SortOrderAfter(CeOid database, const HandheldSortEntry* after, size_t limit,
                        std::vector<HandheldSortEntry>* out);
  // One record as a read returns it (see BuildPropertyBuffer); kNotFound when
  // the record does not exist.
  Status ReadRecord(CeOid record, CeOid* database, uint16_t* count, std::vector<uint8_t>* buffer);
  // The records of database that wanted names, in its order, into out
  // (whose buffers are reused): (record, count, buffer) each, as ReadRecord
  // gives them; a record no longer there is left out. A handheld read in
  // order fetches its records this way, a batch at a time.
  struct StoredRecord {
    CeOid oid = 0;
    uint16_t count = 0;
    std::vector<uint8_t> buffer;
  };
  Status ReadRecords(CeOid database, std::span<const HandheldSortEntry> wanted,
                     std::vector<StoredRecord>* out);
  // kNotFound when the record does not exist.
  Status DeleteRecord(CeOid record);

  const std::string& path() const { return path_; }

 private:
  struct Connection;
  Connection* Acquire(std::unique_ptr<Connection>* own);
  bool Write(const std::function<bool(Connection&)>& change);
  bool Read(const std::function<bool(Connection&)>& query);
  bool Put(const char* database, std::vector<CeValue> values, bool replace);
  bool Fail(Connection& connection, const std::string& what);
  bool NoDatabase(const std::string& database);
  // The Status of a call whose work said ok, or left its failure in error_;
  // Found: a failure that left no words is a look-up that found nothing.
  Status Done(bool ok) const { return ok ? Status::Ok() : Status::Failure(error_); }
  Status Found(bool ok) const {
    return ok ? Status::Ok()
              : Status::Failure(error_.empty() ? kNotFound : Status::kFailed, error_);
  }

  std::string path_;
  std::string error_;  // the last failure's words, for Done and Found
  std::unique_ptr<Connection> kept_;
  bool holdReads_ = false;
};
