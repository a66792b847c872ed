// Moves data between the handheld's databases and its local store: removes
// invoiced records from the handheld, and makes the store follow the
// handheld's accounts, items, time records and spans.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sqlite_connection.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "store/store_session.h"
#include "sync/ce_platform.h"
#include "sync/property_buffer.h"
#include "sync/sync_view.h"

// Outcomes of the text conversions of handheld strings.
enum class NotesConversion { Ok, TooLarge, Unconvertible };

// An account or item name: at most 31 characters (never a split character),
// apostrophes turned into backquotes. A unit that cannot be converted (a lone
// surrogate) becomes "?", as the ANSI conversion wrote it.
std::string ConvertName(const std::u16string& name);
// Notes: more than 255 characters is TooLarge; a lone surrogate is
// Unconvertible; otherwise double quotes become apostrophes.
NotesConversion ConvertNotes(const std::u16string& notes, std::string* out);

class Synchronizer {
 public:
  // deviceName names the store to load; storePath is the file every
  // statement and read goes to.
  Synchronizer(CePlatform& platform, SyncView& view, std::string deviceName, std::string storePath);

  // Deletes from the handheld every record (with its spans) that the store
  // holds as invoiced and not yet removed, then flags them removed.
  void CleanDevice();
  // The four steps, on a snapshot of the store taken first.
  void Synchronize();

  void SyncAccounts(const RecordStore& store);
  void SyncItems(const RecordStore& store);
  void SyncTimeRecords(const RecordStore& store);
  // The time records and their spans are one unit: SyncTimeRecords leaves
  // its transaction open and SyncTimeSpans commits both, or neither.
  void SyncTimeSpans(const RecordStore& store);

  // True once the handheld went away (the link failed, not a request the
  // handheld refused): the step under way kept nothing, no later step ran,
  // and Synchronize did not say it completed.
  bool linkLost() const { return linkLost_; }
  // Messages shown (or waiting to be shown) about failures on a live link.
  int errors() const { return errors_; }

  // Every statement sent to the store, in order, with its status; kept
  // unless KeepSent(false) was called before the run (a full second run
  // sends 200,000 statements that nothing else reads).
  struct Sent {
    StoreStatement statement;
    int32_t status;
  };
  const std::vector<Sent>& sent() const { return sent_; }
  void KeepSent(bool keep) { keepSent_ = keep; }

 private:
  // Runs a statement (in the step's transaction when a step is under way);
  // true when it ran or was refused as a duplicate id (which changes nothing
  // and is no failure); false on any other failure.
  bool Execute(StoreStatement statement, bool* inserted = nullptr);
  void SyncError(const std::string& text);
  // The clean-up's one message, about the store it could not use.
  void RemovalError();

  // The store's time records as hlgroup holds them now, ids and flags alone
  // (read on the clean-up's connection); false when the table cannot be
  // read. version: the store's data version the rows are of.
  bool ReadStoredRecords(TimeRecordList* rows, int64_t* version);
  // The store's data version on the clean-up's connection, or -1.
  int64_t CleanupDataVersion();
  // True once the link has failed (latched; the platform's error of its last
  // call is looked at).
  bool LinkLost();
  // After the link failed: the step keeps nothing and says nothing.
  void LoseStep();
  // One step over a names database of the handheld (accounts, items): each
  // record read with at least minProperties goes to apply, which says whether
  // the store took what it sent; error is said once after the step when any
  // did not. A lost link ends the step keeping nothing.
  void SyncNames(const char* database, size_t minProperties,
                 const std::function<bool(const std::vector<CeValue>&)>& apply,
                 const std::string& error);

  // A step's statements run in one transaction on one connection; its
  // messages wait until the step has ended, so no message box keeps the
  // store locked. EndStep commits: false when the step could not be kept
  // (then nothing of it is in the store).
  void BeginStep();
  bool EndStep();
  // Ends the step keeping nothing of it.
  void AbandonStep();

  CePlatform& platform_;
  SyncView& view_;
  std::string deviceName_;
  std::string storePath_;
  // Records inserted by this run's SyncTimeRecords: only their spans are
  // copied. In the order inserted until the spans step sorts them.
  std::vector<int32_t> insertedRecords_;
  std::vector<Sent> sent_;
  bool keepSent_ = true;
  std::unique_ptr<StoreSession> step_;
  std::vector<std::string> stepMessages_;
  // The clean-up reads the records' ids and flags, and flags the records it
  // removed, on one connection of its own. When no other connection has
  // written the store since (its data version is unchanged), Synchronize
  // compares with those records, their flags set as the clean-up's statement
  // set them, instead of reading the store again.
  std::unique_ptr<SqliteConnection> cleanup_;
  TimeRecordList cleaned_;
  int64_t cleanedVersion_ = -1;
  bool recordsPending_ = false;  // the records step's transaction waits for the spans
  bool linkLost_ = false;
  int errors_ = 0;
};
