// Moves data between the handheld's databases and its local store.
#include "sync/synchronizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "platform/locale_format.h"
#include "platform/utf16.h"
#include "platform/utf8.h"
#include "settings/account_settings.h"
#include "store/statements.h"
#include "store/table_command.h"
#include "sync/device_database.h"

namespace {

constexpr const char* kSyncErrorCaption = "Synchronization Error";

// Properties each record layout has at least.
constexpr size_t kAccountProperties = 2;
constexpr size_t kItemProperties = 3;
constexpr size_t kRecordProperties = 5;
constexpr size_t kSpanProperties = 3;

// UTF-16 to UTF-8 with every lone surrogate as "?".
std::string ConvertLossy(const std::u16string& text) {
  std::string out;
  if (Utf16ToUtf8(text, &out)) return out;
  std::u16string cleaned;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cleaned.push_back(c);
      cleaned.push_back(text[++i]);
    } else {
      cleaned.push_back(high || low ? u'?' : c);
    }
  }
  Utf16ToUtf8(cleaned, &out);
  return out;
}

// A record's identification in the message about reused ids.
struct RefusedRecord {
  int32_t id;
  int32_t grpdate;
  std::string notes;
};

}  // namespace

std::string ConvertName(const std::u16string& name) {
  return NameForStatement(CutToCharacters(ConvertLossy(name), kMaxNameChars));
}

NotesConversion ConvertNotes(const std::u16string& notes, std::string* out) {
  std::string converted;
  converted.reserve(notes.size());
  if (!Utf16ToUtf8(notes, &converted)) return NotesConversion::Unconvertible;
  // Converted, the text has no lone surrogate: its characters are its UTF-16
  // units less one for each pair.
  const auto pairs = std::count_if(notes.begin(), notes.end(),
                                   [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; });
  if (notes.size() - static_cast<size_t>(pairs) > kMaxNotesChars) return NotesConversion::TooLarge;
  *out = NotesForStatement(std::move(converted));
  return NotesConversion::Ok;
}

Synchronizer::Synchronizer(CePlatform& platform, SyncView& view, std::string deviceName,
                           std::string storePath)
    : platform_(platform),
      view_(view),
      deviceName_(std::move(deviceName)),
      storePath_(std::move(storePath)) {}

bool Synchronizer::Execute(StoreStatement statement, bool* inserted) {
  DbStatus status;
  if (step_) {
    status = step_->Execute(statement).code();
  } else if (cleanup_) {
    TableCommand command(StoreTable::HlGroup);
    command.UseConnection(*cleanup_);
    status = command.ExecuteStatement(statement).code();
  } else {
    status = ExecuteStatement(storePath_, statement).code();
  }
  if (keepSent_) sent_.push_back({std::move(statement), status});
  if (inserted) *inserted = status == S_OK;
  // A duplicate id is the store refusing a row it already holds; anything
  // else (disk full, I/O error, a lock held too long) is a real failure.
  return status == S_OK || status == DB_E_INTEGRITYVIOLATION;
}

void Synchronizer::RemovalError() {
  ++errors_;
  view_.ShowMessage("Error opening local database for data removal", "Database Error");
}

void Synchronizer::SyncError(const std::string& text) {
  ++errors_;
  if (step_) {
    stepMessages_.push_back(text);
  } else {
    view_.ShowMessage(text, kSyncErrorCaption);
  }
}

void Synchronizer::BeginStep() {
  step_ = std::make_unique<StoreSession>(storePath_);
  stepMessages_.clear();
}

void Synchronizer::AbandonStep() {
  step_.reset();  // rolls back
  for (const std::string& text : stepMessages_) view_.ShowMessage(text, kSyncErrorCaption);
  stepMessages_.clear();
}

bool Synchronizer::EndStep() {
  const bool kept = step_->Commit().ok();
  AbandonStep();  // after the commit there is nothing left to roll back
  return kept;
}

bool Synchronizer::ReadStoredRecords(TimeRecordList* rows, int64_t* version) {
  auto connection = std::make_unique<SqliteConnection>();
  // One read transaction: the rows, and the data version they are of.
  if (connection->Open(storePath_, false) != SQLITE_OK || connection->Exec("BEGIN") != SQLITE_OK) {
    return false;
  }
  DbStatus status;
  {
    TableCommand command(StoreTable::HlGroupFlags);
    command.UseConnection(*connection);
    status = command.OpenDefaultRowset().code();
    if (status != S_OK) return false;
    status = command.WalkRows<StoreTable::HlGroupFlags>([rows](const TableCommand& read) {
      TimeRecord& row = rows->emplace_back();
      row.id = read.IntField(1);
      row.invoiced = read.BoolField(2);
      row.deleted = read.BoolField(3);
    });
  }
  cleanup_ = std::move(connection);
  *version = CleanupDataVersion();
  cleanup_->Exec("COMMIT");
  return status == DB_S_ENDOFROWSET;
}

int64_t Synchronizer::CleanupDataVersion() {
  // Changed by every commit of another connection, never by this one's own.
  SqliteStatement version;
  if (!cleanup_ || version.Prepare(*cleanup_, "PRAGMA data_version") != SQLITE_OK ||
      version.Step() != SQLITE_ROW) {
    return -1;
  }
  return version.ColumnInt64(0);
}

bool Synchronizer::LinkLost() {
  if (!linkLost_ && platform_.CeRapiGetError() != 0) linkLost_ = true;
  return linkLost_;
}

void Synchronizer::LoseStep() {
  linkLost_ = true;
  // What the step would have said concerns records it no longer keeps; the
  // lost link is said once, by the caller, and the next run says the rest.
  stepMessages_.clear();
  step_.reset();  // rolls back
  insertedRecords_.clear();
}

void Synchronizer::CleanDevice() {
  TimeRecordList rows;
  int64_t version = -1;
  if (!ReadStoredRecords(&rows, &version)) {
    RemovalError();
    return;
  }
  DeviceDatabase groups(platform_, "HLGroup");
  DeviceDatabase spans(platform_, "HLTime");
  if (groups.Open() == 0 || spans.Open() == 0) {
    LinkLost();
    return;
  }
  for (const TimeRecord& row : rows) {
    if (!row.invoiced || row.deleted) continue;
    if (CeOid record = groups.FindByKey(row.id); record != 0) groups.DeleteRecord(record);
    spans.DeleteAllByKey(row.id);
    if (LinkLost()) break;
  }
  // A handheld that went away kept what it had not deleted yet: marking
  // those records would leave them on it for good. The next connection
  // searches for them again.
  if (LinkLost()) return;
  if (!Execute(FlagDeletedStatement())) {
    RemovalError();
    return;
  }
  // The statement flags exactly the records invoiced and not yet removed:
  // when it changed as many rows as were read so, the rows read, so flagged,
  // are the store's.
  int64_t flagged = 0;
  for (TimeRecord& row : rows) {
    flagged += row.invoiced && !row.deleted;
    row.deleted = row.deleted || row.invoiced;
  }
  if (flagged == cleanup_->changes()) {
    cleaned_ = std::move(rows);
    cleanedVersion_ = version;
  }
  view_.SetProgress(100);
  view_.SetStatus("Invoiced items update completed");
}

void Synchronizer::Synchronize() {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(deviceName_);
  // The steps compare the handheld's accounts, items and records with the
  // store's by id and flags; the stored spans are never looked at (the
  // spans of every record copied are new), nor the records' notes and days.
  if (cleanedVersion_ >= 0 && CleanupDataVersion() == cleanedVersion_) {
    store.LoadToCompare(std::move(cleaned_));
  } else {
    store.LoadToCompare();
  }
  cleanup_.reset();
  cleaned_.clear();
  cleanedVersion_ = -1;
  insertedRecords_.clear();
  view_.SetProgress(0);
  view_.PumpMessages();
  // Once the handheld has gone away no later step is tried: each would
  // fail at its first request, and the caller says so once.
  SyncAccounts(store);
  if (linkLost_) return;
  view_.SetProgress(25);
  view_.PumpMessages();
  SyncItems(store);
  if (linkLost_) return;
  view_.SetProgress(50);
  view_.PumpMessages();
  SyncTimeRecords(store);
  if (linkLost_) return;
  view_.SetProgress(75);
  view_.PumpMessages();
  SyncTimeSpans(store);
  if (linkLost_) return;
  view_.SetProgress(100);
  view_.SetStatus("Synchronization completed");
  view_.PumpMessages();
}

void Synchronizer::SyncNames(const char* database, size_t minProperties,
                             const std::function<bool(const std::vector<CeValue>&)>& apply,
                             const std::string& error) {
  DeviceDatabase names(platform_, database);
  uint16_t count = 0;
  if (names.Open() == 0 || !names.RecordCount(&count)) {
    LinkLost();
    return;
  }
  bool failed = false;
  BeginStep();
  std::vector<CeValue> values;  // reused from record to record
  for (uint32_t i = 0; i < count; ++i) {
    const DeviceDatabase::ReadResult read = names.ReadRecord(i, minProperties, &values);
    if (read == DeviceDatabase::ReadResult::LinkLost) return LoseStep();
    if (read != DeviceDatabase::ReadResult::Ok) continue;
    failed |= !apply(values);
  }
  failed |= !EndStep();
  if (failed) SyncError(error);
}

void Synchronizer::SyncAccounts(const RecordStore& store) {
  SyncNames(
      "HLAccountName", kAccountProperties,
      [&](const std::vector<CeValue>& values) {
        const int32_t id = values[0].integer;
        const std::string name = ConvertName(values[1].text);
        // Known or not is told by the id, not by the name: an account stored
        // with an empty name is known, and its insert would be refused.
        auto known = std::find_if(store.accounts().begin(), store.accounts().end(),
                                  [id](const AccountEntry& account) { return account.id == id; });
        if (known == store.accounts().end()) return Execute(InsertAccountStatement(id, name));
        if (known->name != name) return Execute(RenameAccountStatement(name, id));
        return true;
      },
      "Unable to add account to database");
}

void Synchronizer::SyncItems(const RecordStore& store) {
  SyncNames(
      "HLItemName", kItemProperties,
      [&](const std::vector<CeValue>& values) {
        const int32_t id = values[0].integer;
        const int32_t account = values[1].integer;
        const std::string name = ConvertName(values[2].text);
        auto known = std::find_if(store.items().begin(), store.items().end(),
                                  [id](const ItemEntry& item) { return item.id == id; });
        if (known == store.items().end()) return Execute(InsertItemStatement(id, account, name));
        if (known->parent != account || known->name != name) {
          return Execute(UpdateItemStatement(account, name, id));
        }
        return true;
      },
      "Unable to add item to database");
}

void Synchronizer::SyncTimeRecords(const RecordStore& store) {
  DeviceDatabase groups(platform_, "HLGroup");
  if (groups.Open() == 0) {
    LinkLost();
    return;
  }
  uint16_t count = 0;
  if (!groups.RecordCount(&count)) {
    if (!LinkLost()) SyncError("Error in remote group DB info");
    return;
  }
  // The removal of the uninvoiced records and the copy of the handheld's
  // records are one step: a run that dies half-way leaves the old records.
  // The spans go record by record in id order, the order of the store's
  // span index: in day order each delete lands on another page of it, which
  // costs a large store a third more time.
  std::vector<int32_t> open;
  for (const TimeRecord& record : store.timeRecords()) {
    if (!record.invoiced && !record.deleted) open.push_back(record.id);
  }
  std::sort(open.begin(), open.end());
  BeginStep();
  bool removed = true;
  for (int32_t id : open) {
    removed = Execute(DeleteSpansStatement(id));
    if (!removed) break;
  }
  if (!removed || !Execute(DeleteUninvoicedStatement())) {
    SyncError("Error removing local uninvoiced data");
    AbandonStep();
    return;
  }
  std::vector<RefusedRecord> reused;
  std::vector<CeValue> values;  // reused from record to record
  for (uint32_t i = 0; i < count; ++i) {
    DeviceDatabase::ReadResult read = groups.ReadRecord(i, kRecordProperties, &values);
    if (read == DeviceDatabase::ReadResult::LinkLost) {
      // The handheld went away: the store keeps the records it had, rather
      // than the part of the handheld's that arrived.
      return LoseStep();
    }
    if (read == DeviceDatabase::ReadResult::SeekFailed) {
      SyncError("Error in remote group DB move");
      break;
    }
    if (read == DeviceDatabase::ReadResult::ReadFailed) {
      SyncError("Error in remote group DB read");
      break;
    }
    std::string notes;
    switch (ConvertNotes(values[4].text, &notes)) {
      case NotesConversion::TooLarge: SyncError("Note field too large"); continue;
      case NotesConversion::Unconvertible: SyncError("Unable to convert note field"); continue;
      case NotesConversion::Ok: break;
    }
    const int32_t id = values[0].integer;
    bool inserted = false;
    if (!Execute(InsertTimeRecordStatement(id, values[1].integer, values[2].integer,
                                           values[3].integer, notes),
                 &inserted)) {
      SyncError("Unable to add group entry to database");
      continue;
    }
    if (inserted) {
      insertedRecords_.push_back(id);
      continue;
    }
    // Refused as a duplicate: an invoiced record long removed from the
    // handheld holds the id, which the handheld has given to new work.
    auto old = std::find_if(store.timeRecords().begin(), store.timeRecords().end(),
                            [id](const TimeRecord& r) { return r.id == id; });
    if (old != store.timeRecords().end() && old->invoiced && old->deleted) {
      reused.push_back({id, values[1].integer, notes});
    }
  }
  if (!reused.empty()) {
    std::string text =
        "These time records on the handheld were not copied: their ids belong to records "
        "invoiced earlier.  Their time is not billed yet:";
    for (const RefusedRecord& r : reused) {
      // Appended piece by piece ("\n" + text makes g++ 12 at -O3 warn
      // falsely about overlapping copies).
      text.append("\n").append(std::to_string(r.id)).append("  ");
      text.append(FormatPackedDate(r.grpdate, DateForm::Short)).append("  ").append(r.notes);
    }
    SyncError(text);
  }
  // The step stays open: its records are kept only with their spans.
  recordsPending_ = true;
}

void Synchronizer::SyncTimeSpans(const RecordStore&) {
  // The records copied by this run are still in the records step's
  // transaction, which holds the store's write lock: the spans join it,
  // and the two are kept or lost together, so no record is ever left
  // without its time. Without that step no record was copied, and no span
  // is either.
  const bool joined = std::exchange(recordsPending_, false) && step_ != nullptr;
  if (!joined) {
    insertedRecords_.clear();
    BeginStep();
  }
  // Neither this run's records nor their spans are kept; the messages the
  // steps held back are shown.
  auto lose = [this] {
    insertedRecords_.clear();
    AbandonStep();
  };
  DeviceDatabase spans(platform_, "HLTime");
  if (spans.Open() == 0) {
    if (LinkLost()) return LoseStep();
    return lose();
  }
  uint16_t count = 0;
  if (!spans.RecordCount(&count)) {
    if (LinkLost()) return LoseStep();
    SyncError("Error in remote time DB info");
    return lose();
  }
  bool triedSpans = false;
  std::sort(insertedRecords_.begin(), insertedRecords_.end());
  std::vector<CeValue> values;  // reused from record to record
  for (uint32_t i = 0; i < count; ++i) {
    DeviceDatabase::ReadResult read = spans.ReadRecord(i, kSpanProperties, &values);
    if (read == DeviceDatabase::ReadResult::LinkLost) return LoseStep();
    // A span that cannot be read leaves its record short of time: the
    // records and spans of this run go, and the store keeps those it had.
    if (read == DeviceDatabase::ReadResult::SeekFailed) {
      SyncError("Error in remote time DB move");
      return lose();
    }
    if (read == DeviceDatabase::ReadResult::ReadFailed) {
      SyncError("Error in remote time DB read");
      return lose();
    }
    // Only spans of records copied in this run: the spans of any other record
    // are either stored already (invoiced ones) or belong to no stored record.
    if (!std::binary_search(insertedRecords_.begin(), insertedRecords_.end(), values[0].integer)) {
      continue;
    }
    triedSpans = true;
    if (!Execute(InsertSpanStatement(values[0].integer, values[1].integer, values[2].integer))) {
      SyncError("Unable to add time entry to database");
    }
  }
  const bool triedRecords = joined && !insertedRecords_.empty();
  if (!EndStep()) {
    // Nothing of either step is in the store.
    if (triedRecords) SyncError("Unable to add group entry to database");
    // A store that could not even be opened has said so already: without a
    // span insert tried there is no time entry to report.
    if (triedSpans) SyncError("Unable to add time entry to database");
  }
  insertedRecords_.clear();
}
