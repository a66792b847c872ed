// The texts of the details dialog: one time record's date, account and item,
// notes, and its spans as start, end and length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/record_store.h"

// One line of the times list.
struct DetailsTimeLine {
  std::string text;  // "9:15 AM-10:50 AM (1:35)"
  int startMinute;   // minutes after midnight at which the span starts, seconds dropped
};

class DetailsModel {
 public:
  // The first record of store with recordId; accountText is the account as
  // the main window shows it. found() is false when there is no such record,
  // and the texts are then empty.
  DetailsModel(const RecordStore& store, int32_t recordId, const std::string& accountText);

  bool found() const { return found_; }
  // FormatPackedDate(grpdate, Long); "" for a day that is no calendar date.
  const std::string& dateText() const { return dateText_; }
  // AccountItemText of accountText and the record's item name.
  const std::string& accountItemText() const { return accountItemText_; }
  const std::string& notes() const { return notes_; }

  // accountText, then "/" and itemName when itemName is not empty.
  static std::string AccountItemText(const std::string& accountText, const std::string& itemName);

  // "%s-%s (%d:%02d)": the start and end clock times (the end on the clock of
  // the day it falls on, computed from the start with its seconds dropped)
  // and the length in hours and minutes. A start outside the day is taken
  // modulo the day; a negative length is written "-h:mm".
  static DetailsTimeLine SpanLine(const TimeSpan& span);

  // One line per span of recordId, in ascending order of start minute; spans
  // with equal starts keep their store order. Empty for a record without
  // spans or an unknown id.
  static std::vector<DetailsTimeLine> TimeLines(const RecordStore& store, int32_t recordId);

 private:
  bool found_ = false;
  std::string dateText_;
  std::string accountItemText_;
  std::string notes_;
};
