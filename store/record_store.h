// The in-memory image of one handheld's local store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/records.h"
#include "store/store_location.h"

class SqliteConnection;

// A list position; kNoPosition is "none".
constexpr size_t kNoPosition = static_cast<size_t>(-1);

// The list positions of one record's spans, in list order: a run of the
// spans' order by record, or of the list itself when the spans lie in record
// order already (as a synchronization writes them).
class SpanPositions {
 public:
  SpanPositions() = default;
  SpanPositions(const size_t* order, size_t first, size_t count)
      : order_(order), first_(first), count_(count) {}
  struct iterator {
    const size_t* order;
    size_t at;
    size_t operator*() const { return order ? order[at] : at; }
    iterator& operator++() {
      ++at;
      return *this;
    }
    bool operator==(const iterator&) const = default;
  };
  iterator begin() const { return {order_, first_}; }
  iterator end() const { return {order_, first_ + count_}; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t front() const { return *begin(); }

 private:
  const size_t* order_ = nullptr;  // none: the positions are first, first + 1, ...
  size_t first_ = 0;
  size_t count_ = 0;
};

// Use: construct, SetDeviceName, Load, read (and MarkInvoiced), destroy. The
// lists are replaced whole by each load; positions stay valid until then.
class RecordStore {
 public:
  // folders: where the stores and the template are, as the caller read them
  // (the settings are above the store); empty ones are the current folder.
  explicit RecordStore(StoreFolders folders = {}) : folders_(std::move(folders)) {}

  // For a store that lives long: the folders read again before a load.
  void SetFolders(StoreFolders folders) { folders_ = std::move(folders); }
  const StoreFolders& folders() const { return folders_; }
  void SetDeviceName(const std::string& name) { deviceName_ = name; }
  const std::string& deviceName() const { return deviceName_; }
  const std::string& storePath() const { return storePath_; }

  // Sets storePath to DataPath + deviceName + ".mdb", creating the file from
  // ExecPath's HR_Template.mdb when it does not exist. False for an empty
  // device name (silently) and when the template copy fails (after the
  // message "Error creating new database, err = N", caption "Horalog");
  // storePath is then unchanged. A missing data folder is not a failure:
  // storePath is set and the loads find nothing.
  bool Locate();

  // Locate, then the four loaders (the spans' only when withSpans), in one
  // read transaction. When Locate fails the lists keep their content.
  // Reports nothing: a table that cannot be read leaves its list empty.
  void Load(bool withSpans = true);
  // As a synchronization loads the store to compare it with the handheld:
  // Locate, the accounts and items, and the time records' ids and flags
  // alone (no days, accounts, items, notes or invoice dates), in the store's
  // order; no spans.
  void LoadToCompare();
  // The same with the time records given, as the caller read them moments
  // before: the accounts and items alone are read.
  void LoadToCompare(TimeRecordList records);
  void LoadAccounts();
  void LoadItems();
  // whole false: ids and flags alone, in the store's order.
  void LoadTimeRecords(bool whole = true);
  void LoadTimeSpans();

  // Marks record id invoiced in the store, dated today. True when the store
  // changed; only then does the first record of that id in memory become
  // invoiced, dated now. False when the statement failed or no row has id.
  bool MarkInvoiced(int32_t id);
  // Marks each record of ids as above, in one transaction: each statement
  // takes effect or fails on its own, and the marks become durable together
  // (a process that dies half-way leaves none). Returns the ids not marked:
  // every one of them when the transaction could not be committed.
  std::vector<int32_t> MarkInvoiced(const std::vector<int32_t>& ids);

  // Lookups by list order; never fail: "" or 0 when not found.
  std::string AccountName(int32_t id) const;
  std::string ItemName(int32_t id) const;
  int32_t AccountIdByName(const std::string& name) const;
  int32_t ItemIdByName(const std::string& name, int32_t account) const;

  const std::vector<AccountEntry>& accounts() const { return accounts_; }
  const std::vector<ItemEntry>& items() const { return items_; }
  // In ascending grpdate order; records of one day in store order.
  const TimeRecordList& timeRecords() const { return timeRecords_; }
  const TimeSpanList& timeSpans() const { return timeSpans_; }

  // Positions, in list order, of the spans whose parent is recordId.
  SpanPositions SpansOf(int32_t recordId) const;
  // The span walk: the first span of recordId, and the next one after pos;
  // kNoPosition at the end.
  size_t FirstSpanOf(int32_t recordId) const;
  size_t NextSpanOf(int32_t recordId, size_t pos) const;
  // The sum of the minutes of recordId's spans.
  int64_t RecordMinutes(int32_t recordId) const;

  // Cursors the readers move while walking the lists.
  size_t currentAccount = kNoPosition;
  size_t currentItem = kNoPosition;
  size_t currentRecord = kNoPosition;
  size_t currentSpan = kNoPosition;

  // Readings through the cursors: "" or 0 when the cursor is none.
  std::string CurrentAccountName() const;
  int32_t CurrentItemId() const;
  std::string CurrentItemName() const;
  std::string CurrentRecordAccountName() const;
  std::string CurrentRecordItemName() const;
  std::string CurrentRecordNotes() const;
  int32_t CurrentRecordDay() const;

 private:
  const TimeRecord* CurrentRecordEntry() const;
  // The days of the records as they were read: whether they came in order,
  // their range, and whether each one's month and day fit 4 and 5 bits.
  struct DaySpread {
    bool inOrder = true;
    bool compact = true;
    int32_t previous = INT32_MIN;
    int32_t low = INT32_MAX;
    int32_t high = INT32_MIN;
    void Add(int32_t day);
  };
  // LoadTimeRecords in two steps: the rows in the store's order, then in
  // the order of their days (when they did not come in it).
  DaySpread ReadTimeRecords(bool whole);
  void PutInDayOrder(const DaySpread& days);
  // A copy of notes in the notes blocks.
  std::string_view KeepNotes(std::string_view notes);
  // The next block to fill: the first after ForgetNotes, which a load
  // starts with (the blocks are kept, to be written over).
  void NextNotesBlock();
  void ForgetNotes();
  void Load(bool withSpans, bool wholeRecords);

  StoreFolders folders_;
  std::string deviceName_;
  std::string storePath_;
  std::vector<AccountEntry> accounts_;
  std::vector<ItemEntry> items_;
  TimeRecordList timeRecords_;
  // Where each record goes in day order, kept for the next load.
  std::vector<uint32_t> dayOrder_;
  // The records' notes: blocks that never move, notesBlock_ (at notesAt_)
  // filled to notesUsed_; the blocks stay from load to load and are written
  // over. Each is a large block: a large store's fill whole huge pages.
  std::vector<std::unique_ptr<char, LargeFree>> notesBlocks_;
  size_t notesBlock_ = SIZE_MAX;  // none yet
  size_t notesUsed_ = kLargeBlock;
  char* notesAt_ = nullptr;
  TimeSpanList timeSpans_;
  // The spans' positions in record order (list order within a record), empty
  // when the list is in record order already.
  std::vector<size_t> spanOrder_;
  SqliteConnection* load_ = nullptr;  // the connection of the load under way
};
