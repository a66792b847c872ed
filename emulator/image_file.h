// The SQLite file under a handheld image, as the image's parts share it (its
// records and databases in handheld_image.cpp, its registry in
// image_registry.cpp, its faults and made-up data in image_faults_and_data.cpp):
// the open connection with its prepared statements, and the records' layouts.
// Only those files include it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/handheld_image.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "platform/sqlite_transaction.h"

namespace image_file {

// One open image file, with its statements prepared once.
struct ImageConnection {
  SqliteConnection db;
  std::map<std::string, std::unique_ptr<SqliteStatement>> statements;
  std::unique_ptr<SqliteTransaction> batch;  // set while a Batch runs
  bool batchFailed = false;
  bool reading = false;  // a read transaction kept open by HoldReads
};

// Ends a read transaction kept for a burst of reads, before a write or when
// the reads are done.
inline void EndReading(ImageConnection& c) {
  if (c.reading) c.db.Exec("COMMIT");
  c.reading = false;
}

// A cached statement, reset when the call is done with it: a statement left
// stepping would hold a read lock and keep the tool from writing.
class Query {
 public:
  Query(ImageConnection& connection, const std::string& sql) {
    auto& slot = connection.statements[sql];
    if (!slot) {
      auto statement = std::make_unique<SqliteStatement>();
      rc_ = statement->Prepare(connection.db, sql);
      if (rc_ != SQLITE_OK) {
        connection.statements.erase(sql);
        return;
      }
      slot = std::move(statement);
    }
    statement_ = slot.get();
  }
  ~Query() {
    if (statement_) statement_->Reset();
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  bool ok() const { return statement_ != nullptr && rc_ == SQLITE_OK; }
  Query& Int(int index, int64_t value) {
    if (ok()) rc_ = statement_->BindInt64(index, value);
    return *this;
  }
  Query& Text(int index, const std::string& value) {
    if (ok()) rc_ = statement_->BindText(index, value);
    return *this;
  }
  Query& Blob(int index, const std::vector<uint8_t>& value) {
    if (ok()) rc_ = statement_->BindBlob(index, value);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the failure.
  int Step() {
    if (!ok()) return rc_ == SQLITE_OK ? SQLITE_MISUSE : rc_;
    const int rc = statement_->Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) rc_ = rc;
    return rc;
  }
  // Runs a statement that returns no rows.
  bool Run() { return Step() == SQLITE_DONE; }
  SqliteStatement& row() { return *statement_; }

 private:
  SqliteStatement* statement_ = nullptr;
  int rc_ = SQLITE_OK;
};

// The object identifier and record count of database: SQLITE_ROW when
// found, SQLITE_DONE when there is no such database, else the failure.
int LookUpDatabase(ImageConnection& c, const std::string& database, CeOid* oid,
                   int64_t* count = nullptr);
bool InsertRecord(ImageConnection& c, CeOid db, const std::vector<CeValue>& values);
bool AddToCount(ImageConnection& c, CeOid db, int64_t delta);

// Text as the image keeps it in a blob: UTF-16LE without a terminator.
std::vector<uint8_t> Utf16Bytes(const std::u16string& text);
std::u16string Utf16Text(const std::vector<uint8_t>& bytes);

// Property identifiers of the layouts: position 0 is always the key property.
constexpr uint32_t kIntProperty2 = 0x20003;
constexpr uint32_t kIntProperty3 = 0x30003;
constexpr uint32_t kIntProperty4 = 0x40003;
constexpr uint32_t kTextProperty2 = 0x2001F;
constexpr uint32_t kTextProperty3 = 0x3001F;
constexpr uint32_t kTextProperty5 = 0x5001F;

// The layouts of the four databases' records.
inline std::vector<CeValue> AccountValues(int32_t id, const std::u16string& name) {
  return {{kKeyProperty, id, {}}, {kTextProperty2, 0, name}};
}
inline std::vector<CeValue> ItemValues(int32_t id, int32_t account, const std::u16string& name) {
  return {{kKeyProperty, id, {}}, {kIntProperty2, account, {}}, {kTextProperty3, 0, name}};
}
inline std::vector<CeValue> RecordValues(int32_t id, int32_t grpdate, int32_t account, int32_t item,
                                         const std::u16string& notes) {
  return {{kKeyProperty, id, {}},
          {kIntProperty2, grpdate, {}},
          {kIntProperty3, account, {}},
          {kIntProperty4, item, {}},
          {kTextProperty5, 0, notes}};
}
inline std::vector<CeValue> SpanValues(int32_t recordId, int32_t starttime, int32_t duration) {
  return {
      {kKeyProperty, recordId, {}}, {kIntProperty2, starttime, {}}, {kIntProperty3, duration, {}}};
}

}  // namespace image_file

struct HandheldImage::Connection : image_file::ImageConnection {};
