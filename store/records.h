// The entries of a handheld's store: accounts, items, time records and spans.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/large_memory.h"

// Longest texts kept, in characters (a cut never splits a UTF-8 sequence).
constexpr size_t kMaxNameChars = 31;
constexpr size_t kMaxNotesChars = 255;

struct AccountEntry {
  int32_t id = 0;    // account id, as assigned on the handheld
  std::string name;  // at most kMaxNameChars characters
};

struct ItemEntry {
  int32_t id = 0;      // item id, unique across all accounts
  int32_t parent = 0;  // id of the item's account
  std::string name;    // at most kMaxNameChars characters
};

// A record's notes are kept by the store that loaded it, in blocks of its
// own, and are valid until its next load, as the record's position is: a
// large store's load then allocates no string a record, and its records are
// moved into day order as plain bytes.
struct TimeRecord {
  int32_t id = 0;            // record id, as assigned on the handheld
  int32_t grpdate = 0;       // packed day: year * 65536 + month * 256 + day
  int32_t acct = 0;          // account id
  int32_t item = 0;          // item id
  std::string_view notes;    // at most kMaxNotesChars characters
  std::time_t invoicedate = 0;  // local time of invoicing; meaningful only when invoiced
  bool invoiced = false;     // put on an invoice
  bool deleted = false;      // already removed from the handheld after invoicing
};

struct TimeSpan {
  int32_t parent = 0;     // id of the time record
  int32_t starttime = 0;  // seconds after midnight of the record's day
  int32_t duration = 0;   // minutes
};

// The lists of a loaded store: a large store's are megabytes.
using TimeRecordList = std::vector<TimeRecord, LargeAllocator<TimeRecord>>;
using TimeSpanList = std::vector<TimeSpan, LargeAllocator<TimeSpan>>;

// Packs and unpacks a record day.
constexpr int32_t PackDate(int year, int month, int day) { return year * 65536 + month * 256 + day; }
constexpr int PackedYear(int32_t grpdate) { return grpdate >> 16; }
constexpr int PackedMonth(int32_t grpdate) { return (grpdate >> 8) & 0xFF; }
constexpr int PackedDay(int32_t grpdate) { return grpdate & 0xFF; }

// Minutes after midnight at which a span ends, on the clock of the day it
// ends (a span past midnight ends on the next day's clock).
constexpr int SpanEndMinutes(const TimeSpan& span) {
  return ((span.starttime / 60 + span.duration) % 1440 + 1440) % 1440;
}

// The sentinel invoice date: local 1 January 1900, 00:00:00.
std::time_t NoInvoiceDate();
