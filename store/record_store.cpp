// The in-memory image of one handheld's local store.
#include "store/record_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <numeric>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/ui_services.h"
#include "platform/utf8.h"
#include "store/ole_date.h"
#include "store/statements.h"
#include "store/store_location.h"
#include "store/store_session.h"
#include "store/table_command.h"

std::time_t NoInvoiceDate() {
  std::time_t value = 0;
  LocalTimeFromCivil(CivilTime{1900, 1, 1, 0, 0, 0}, &value);
  return value;
}

namespace {

// Walks one table: runs its SELECT on the load's connection, or on one of its
// own when there is none, and hands each row to add. A row whose numbers do
// not fit is passed over; the walk ends at the end of the table or at any
// other failure.
template <StoreTable kTable, typename AddRow>
void WalkTable(const std::string& path, SqliteConnection* shared, AddRow add) {
  TableCommand command(kTable);
  command.SetPath(path);
  if (shared != nullptr && shared->isOpen()) {
    command.UseConnection(*shared);
  } else if (!command.OpenConnection().ok()) {
    return;
  }
  if (command.OpenDefaultRowset().ok()) command.WalkRows<kTable>(add);
}

// Room for a table's rows: no more than its row ids span, since they are
// unique, and at most mostRows; 0 when there is no load connection or the
// ids cannot be read. Two look-ups at the ends of the table's tree. Room
// reserved and never written costs address space, not memory: the walk then
// fills one block instead of copying each row again into ever larger ones.
size_t RoomFor(SqliteConnection* connection, const char* table, size_t mostRows) {
  if (connection == nullptr) return 0;
  SqliteStatement ends;
  const std::string query = std::string("SELECT (SELECT min(rowid) FROM ") + table +
                            "), (SELECT max(rowid) FROM " + table + ")";
  if (ends.Prepare(*connection, query) != SQLITE_OK || ends.Step() != SQLITE_ROW) return 0;
  const int64_t low = ends.ColumnInt64(0), high = ends.ColumnInt64(1);
  if (high < low) return 0;
  return static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(high - low) + 1, mostRows));
}

}  // namespace

bool RecordStore::Locate() {
  if (deviceName_.empty()) return false;
  // A name that names another folder would put the store outside the data folder.
  if (deviceName_.find('/') != std::string::npos) return false;
  const std::string path = StoreFilePath(folders_, deviceName_);
  if (int err = CreateStoreIfMissing(folders_, path); err != 0) {
    Ui().ShowMessage(StoreCreationMessage(err), "Horalog", MessageButtons::Ok);
    return false;
  }
  storePath_ = path;
  return true;
}

void RecordStore::Load(bool withSpans) { Load(withSpans, true); }

void RecordStore::LoadToCompare() { Load(false, false); }

void RecordStore::LoadToCompare(TimeRecordList records) {
  if (!Locate()) return;
  LoadAccounts();
  LoadItems();
  timeRecords_ = std::move(records);
  ForgetNotes();
  currentRecord = kNoPosition;
}

void RecordStore::Load(bool withSpans, bool wholeRecords) {
  if (!Locate()) return;
  // One connection and one read transaction for the four tables: a program
  // writing the store at the same moment is seen wholly or not at all.
  SqliteConnection connection;
  if (connection.Open(storePath_, false) == SQLITE_OK && connection.Exec("BEGIN") == SQLITE_OK) {
    load_ = &connection;
  }
  // Forgotten on the way out, also when a list finds no memory.
  struct ForgetLoad {
    SqliteConnection*& load;
    ~ForgetLoad() { load = nullptr; }
  } forget{load_};
  LoadAccounts();
  LoadItems();
  const DaySpread days = ReadTimeRecords(wholeRecords);
  // The records are put in day order on a second thread while the spans are
  // read: the two touch different lists, and the order no connection. Where
  // no thread can be started, one after the other. What the order throws
  // (no memory) is thrown here once the spans are read.
  std::exception_ptr orderFailure;
  std::jthread order;
  if (!days.inOrder && withSpans) {
    try {
      order = std::jthread([this, &days, &orderFailure] {
        try {
          PutInDayOrder(days);
        } catch (...) {
          orderFailure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
    }
  }
  if (!days.inOrder && !order.joinable()) PutInDayOrder(days);
  if (withSpans) LoadTimeSpans();
  if (order.joinable()) order.join();
  if (orderFailure) std::rethrow_exception(orderFailure);
  if (connection.isOpen()) connection.Exec("COMMIT");
}

void RecordStore::LoadAccounts() {
  accounts_.clear();
  currentAccount = kNoPosition;
  WalkTable<StoreTable::AccountName>(storePath_, load_, [this](const TableCommand& row) {
    accounts_.push_back({row.IntField(1), CutToCharacters(row.TextField(2), kMaxNameChars)});
  });
}

void RecordStore::LoadItems() {
  items_.clear();
  currentItem = kNoPosition;
  WalkTable<StoreTable::ItemName>(storePath_, load_, [this](const TableCommand& row) {
    items_.push_back(
        {row.IntField(1), row.IntField(2), CutToCharacters(row.TextField(3), kMaxNameChars)});
  });
}

void RecordStore::LoadTimeRecords(bool whole) {
  if (const DaySpread days = ReadTimeRecords(whole); !days.inOrder) PutInDayOrder(days);
}

RecordStore::DaySpread RecordStore::ReadTimeRecords(bool whole) {
  DaySpread days;
  timeRecords_.clear();
  ForgetNotes();
  currentRecord = kNoPosition;
  timeRecords_.reserve(RoomFor(load_, "hlgroup", size_t{1} << 20));
  if (!whole) {
    WalkTable<StoreTable::HlGroupFlags>(storePath_, load_, [&](const TableCommand& row) {
      TimeRecord& record = timeRecords_.emplace_back();
      record.id = row.IntField(1);
      record.invoiced = row.BoolField(2);
      record.deleted = row.BoolField(3);
    });
    return days;
  }
  // Invoice dates repeat (one per invoice run), and turning one into local
  // time asks the time zone each time: each date is converted once.
  // The last one is looked at first: records invoiced together lie together.
  std::unordered_map<double, std::time_t> invoiceDates;
  const std::pair<const double, std::time_t>* last = nullptr;
  WalkTable<StoreTable::HlGroup>(storePath_, load_, [&](const TableCommand& row) {
    TimeRecord& record = timeRecords_.emplace_back();
    record.id = row.IntField(1);
    record.grpdate = row.IntField(2);
    record.acct = row.IntField(3);
    record.item = row.IntField(4);
    record.invoiced = row.BoolField(6);
    record.deleted = row.BoolField(8);
    record.notes = KeepNotes(CharactersPrefix(row.TextField(5), kMaxNotesChars));
    days.Add(record.grpdate);
    if (record.invoiced) {
      const double date = row.DateField(7);
      if (!last || last->first != date) {
        auto known = invoiceDates.find(date);
        if (known == invoiceDates.end()) {
          CivilTime civil;
          std::time_t local = 0;
          if (!CivilFromOleDate(date, &civil) || !LocalTimeFromCivil(civil, &local)) {
            local = NoInvoiceDate();
          }
          known = invoiceDates.emplace(date, local).first;
        }
        last = &*known;
      }
      record.invoicedate = last->second;
    }
  });
  return days;
}

void RecordStore::DaySpread::Add(int32_t day) {
  inOrder = inOrder && previous <= day;
  previous = day;
  low = std::min(low, day);
  high = std::max(high, day);
  compact = compact && (day & 0xF0E0) == 0;
}

void RecordStore::PutInDayOrder(const DaySpread& days) {
  // Equivalent to inserting each row before the first later day: records of
  // one day keep the store's order. A counting sort by day finds where each
  // record goes in two passes when the days lie within a few centuries (as
  // they do); otherwise the days are sorted with the positions below them.
  // It counts by day key: the packed day itself or, when every month and day
  // fits 4 and 5 bits (as real ones do), the day packed that tightly, which
  // keeps the counts to 512 a year instead of 65,536.
  // The records are then moved there in place, along the cycles of that
  // order: a second room for a hundred thousand records would cost a new
  // store more, in fresh memory, than the moves.
  const size_t n = timeRecords_.size();
  const auto key = [compact = days.compact](int32_t day) -> int64_t {
    return compact ? int64_t{day >> 16} * 512 + ((day >> 8) & 15) * 32 + (day & 31) : day;
  };
  const int64_t firstKey = key(days.low), keys = key(days.high) - firstKey + 1;
  // dayOrder_[k]: the position of the record that goes to k.
  dayOrder_.resize(n);
  if (keys <= int64_t{1} << 21) {
    std::vector<uint32_t> next(static_cast<size_t>(keys), 0);
    for (const TimeRecord& record : timeRecords_) ++next[key(record.grpdate) - firstKey];
    uint32_t start = 0;
    for (uint32_t& slot : next) start += std::exchange(slot, start);
    for (size_t pos = 0; pos < n; ++pos) {
      dayOrder_[next[key(timeRecords_[pos].grpdate) - firstKey]++] = static_cast<uint32_t>(pos);
    }
  } else {
    std::vector<uint64_t> keyed(n);
    for (size_t pos = 0; pos < n; ++pos) {
      const auto day = static_cast<uint32_t>(timeRecords_[pos].grpdate) ^ 0x80000000u;
      keyed[pos] = (static_cast<uint64_t>(day) << 32) | pos;  // positions fit in 32 bits
    }
    std::sort(keyed.begin(), keyed.end());
    for (size_t k = 0; k < n; ++k) dayOrder_[k] = static_cast<uint32_t>(keyed[k]);
  }
  // Each cycle: the first record waits aside, each place takes the record
  // that goes there, and the last place takes the one aside. A place done
  // points to itself.
  for (size_t k = 0; k < n; ++k) {
    if (dayOrder_[k] == k) continue;
    TimeRecord aside = std::move(timeRecords_[k]);
    size_t place = k;
    for (size_t from = dayOrder_[place]; from != k; from = dayOrder_[place]) {
      timeRecords_[place] = std::move(timeRecords_[from]);
      dayOrder_[place] = static_cast<uint32_t>(place);
      place = from;
    }
    timeRecords_[place] = std::move(aside);
    dayOrder_[place] = static_cast<uint32_t>(place);
  }
}

std::string_view RecordStore::KeepNotes(std::string_view notes) {
  // Notes are cut to 255 characters, of 4 bytes at most.
  static_assert(kLargeBlock >= 4 * kMaxNotesChars);
  if (notes.empty()) return {};
  if (notes.size() > kLargeBlock - notesUsed_) [[unlikely]] {
    NextNotesBlock();
  }
  char* kept = notesAt_ + notesUsed_;
  std::memcpy(kept, notes.data(), notes.size());
  notesUsed_ += notes.size();
  return {kept, notes.size()};
}

void RecordStore::NextNotesBlock() {
  ++notesBlock_;  // from no block (the largest size_t) to the first
  notesUsed_ = 0;
  if (notesBlock_ == notesBlocks_.size()) {
    notesBlocks_.emplace_back(static_cast<char*>(AllocateLarge(kLargeBlock)),
                              LargeFree{kLargeBlock});
  }
  notesAt_ = notesBlocks_[notesBlock_].get();
}

void RecordStore::ForgetNotes() {
  notesBlock_ = SIZE_MAX;
  notesUsed_ = kLargeBlock;
  notesAt_ = nullptr;
}

void RecordStore::LoadTimeSpans() {
  timeSpans_.clear();
  spanOrder_.clear();
  currentSpan = kNoPosition;
  // Spans are written record by record, so they nearly always come in record
  // order: a record's spans are then a run of the list itself.
  timeSpans_.reserve(RoomFor(load_, "hltime", size_t{1} << 22));
  bool inOrder = true;
  int32_t last = INT32_MIN;
  WalkTable<StoreTable::HlTime>(storePath_, load_, [&](const TableCommand& row) {
    const int32_t parent = row.IntField(1);
    timeSpans_.push_back({parent, row.IntField(2), row.IntField(3)});
    inOrder = inOrder && last <= parent;
    last = parent;
  });
  if (inOrder) return;
  // Otherwise one vector of positions in record order, not a container per
  // record: a large store has a hundred thousand records.
  spanOrder_.resize(timeSpans_.size());
  std::iota(spanOrder_.begin(), spanOrder_.end(), size_t{0});
  std::stable_sort(spanOrder_.begin(), spanOrder_.end(), [this](size_t a, size_t b) {
    return timeSpans_[a].parent < timeSpans_[b].parent;
  });
}

bool RecordStore::MarkInvoiced(int32_t id) {
  return MarkInvoiced(std::vector<int32_t>{id}).empty();
}

std::vector<int32_t> RecordStore::MarkInvoiced(const std::vector<int32_t>& ids) {
  const std::time_t now = Now();
  std::tm local{};
  localtime_r(&now, &local);
  char day[16];
  std::strftime(day, sizeof day, "%m/%d/%y", &local);
  std::vector<int32_t> marked;
  std::vector<int32_t> unmarked;
  StoreSession session(storePath_);
  for (int32_t id : ids) {
    if (session.Execute(MarkInvoicedStatement(day, id)).ok() && session.rowsAffected() > 0) {
      marked.push_back(id);
    } else {
      unmarked.push_back(id);
    }
  }
  if (!session.Commit().ok()) return ids;
  // The first record in memory of each id, as a lookup by id would find it.
  std::unordered_map<int32_t, size_t> first;
  for (size_t pos = timeRecords_.size(); pos-- > 0;) first[timeRecords_[pos].id] = pos;
  for (int32_t id : marked) {
    if (auto found = first.find(id); found != first.end()) {
      timeRecords_[found->second].invoiced = true;
      timeRecords_[found->second].invoicedate = now;
    }
  }
  return unmarked;
}

std::string RecordStore::AccountName(int32_t id) const {
  for (const AccountEntry& a : accounts_) {
    if (a.id == id) return a.name;
  }
  return {};
}

std::string RecordStore::ItemName(int32_t id) const {
  for (const ItemEntry& i : items_) {
    if (i.id == id) return i.name;
  }
  return {};
}

int32_t RecordStore::AccountIdByName(const std::string& name) const {
  for (const AccountEntry& a : accounts_) {
    if (a.name == name) return a.id;
  }
  return 0;
}

int32_t RecordStore::ItemIdByName(const std::string& name, int32_t account) const {
  for (const ItemEntry& i : items_) {
    if (i.name == name && i.parent == account) return i.id;
  }
  return 0;
}

SpanPositions RecordStore::SpansOf(int32_t recordId) const {
  const size_t* order = spanOrder_.empty() ? nullptr : spanOrder_.data();
  const auto parent = [&](size_t k) { return timeSpans_[order ? order[k] : k].parent; };
  // The first position where before(position) stops holding, by halving
  // (written out: clang, which builds the fuzzers, cannot take ranges over
  // an iota view with a projection).
  const auto firstNot = [&](auto before) {
    size_t first = 0;
    for (size_t count = timeSpans_.size(); count > 0;) {
      const size_t half = count / 2;
      if (before(first + half)) {
        first += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    return first;
  };
  const size_t begin = firstNot([&](size_t k) { return parent(k) < recordId; });
  const size_t end = firstNot([&](size_t k) { return parent(k) <= recordId; });
  return {order, begin == end ? 0 : begin, end - begin};
}

size_t RecordStore::FirstSpanOf(int32_t recordId) const {
  const auto& spans = SpansOf(recordId);
  return spans.empty() ? kNoPosition : spans.front();
}

size_t RecordStore::NextSpanOf(int32_t recordId, size_t pos) const {
  for (size_t position : SpansOf(recordId)) {
    if (position > pos) return position;
  }
  return kNoPosition;
}

int64_t RecordStore::RecordMinutes(int32_t recordId) const {
  int64_t minutes = 0;
  for (size_t pos : SpansOf(recordId)) minutes += timeSpans_[pos].duration;
  return minutes;
}

const TimeRecord* RecordStore::CurrentRecordEntry() const {
  return currentRecord < timeRecords_.size() ? &timeRecords_[currentRecord] : nullptr;
}

std::string RecordStore::CurrentAccountName() const {
  return currentAccount < accounts_.size() ? accounts_[currentAccount].name : std::string();
}

int32_t RecordStore::CurrentItemId() const {
  return currentItem < items_.size() ? items_[currentItem].id : 0;
}

std::string RecordStore::CurrentItemName() const {
  return currentItem < items_.size() ? items_[currentItem].name : std::string();
}

std::string RecordStore::CurrentRecordAccountName() const {
  const TimeRecord* record = CurrentRecordEntry();
  return record ? AccountName(record->acct) : std::string();
}

std::string RecordStore::CurrentRecordItemName() const {
  const TimeRecord* record = CurrentRecordEntry();
  return record ? ItemName(record->item) : std::string();
}

std::string RecordStore::CurrentRecordNotes() const {
  const TimeRecord* record = CurrentRecordEntry();
  return record ? std::string(record->notes) : std::string();
}

int32_t RecordStore::CurrentRecordDay() const {
  const TimeRecord* record = CurrentRecordEntry();
  return record ? record->grpdate : 0;
}
