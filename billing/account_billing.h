// An account's billing values as one value: read from the settings once and
// then handed to the record list, the report dialog's totals, the time report
// and the invoice, none of which reads the settings itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "billing/periods.h"
#include "billing/rounding.h"

class RecordStore;

struct AccountBilling {
  int increment = kDefaultIncrement;  // minutes, one of the twelve
  RoundMode mode = RoundMode::Nearest;
  PeriodSetting period;              // the main window's date ranges; All when not read
  std::map<std::string, int> rates;  // hundredths per hour, by item text as looked up

  int perHour() const { return IncrementsPerHour(increment); }
  // The rate looked up for item; 0 for an item that was not.
  int Rate(const std::string& item) const {
    const auto found = rates.find(item);
    return found != rates.end() ? found->second : 0;
  }
  // CountIncrements of record id in store with this increment and mode.
  int64_t Count(const RecordStore& store, int32_t id) const {
    return CountIncrements(store, id, increment, mode);
  }
};

// Several accounts' values, by account name as looked up.
using BillingByAccount = std::map<std::string, AccountBilling>;
