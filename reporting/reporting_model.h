// The state and rules of the main reporting window without the window: the
// device, account and item cascade, the record rows with their marks, the
// date ranges, the rate and the totals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "billing/periods.h"
#include "platform/combo_model.h"
#include "settings/account_settings.h"
#include "store/record_store.h"

// One row of the record list: its seven column texts and its record's id.
struct RecordRow {
  int32_t id = 0;     // the row's item data
  size_t record = 0;  // position of its record in the store's list
  std::string inc;    // "X" included, " " invoiced, "" excluded
  std::string item;
  std::string date;
  std::string time;
  std::string rate;
  std::string extension;
  std::string invDate;  // " " for a record not invoiced
};

// The column headings of the record list, in order.
inline constexpr const char* kRecordColumns[] = {"Inc",  "Item",      "Date",    "Time",
                                                 "Rate", "Extension", "Inv Date"};

class ReportingModel {
 public:
  ReportingModel();

  // Start-up: the Default key's values and the data folder.
  void LoadDefaults();

  // Refills the device list and selects preferred (letter case ignored), else
  // the first entry; then loads it.
  void FillDeviceList(const std::string& preferred);
  // Each selection runs the rest of the cascade below it.
  void SelectDevice(int index);
  void SelectAccount(int index);
  void SelectItem(int index);
  void SelectDateRange(int index);
  void SetShowAll(bool showAll);

  // Loads the selected handheld's store. A store written on Windows found
  // there is offered for import first (Yes/No); on Yes it is imported and
  // the Windows file kept as NAME.windows.mdb; the outcome is shown.
  void OnDeviceSelected();
  void FillAccountList();
  void OnAccountSelected();
  void OnItemSelected();
  // Rebuilds the rows; with rebuildRanges also the rate, the totals and the
  // date ranges ("All" selected), otherwise re-applies the selected range.
  void RefreshRecordList(bool rebuildRanges);
  void ApplyDateRange();
  void UpdateTotals();
  // A double click on row (negative: outside the rows): flips its mark.
  void FlipRow(int row);
  // A click: the selected row (negative: none); Details follows it. A
  // refresh keeps the selected record selected while it is listed.
  void SelectRow(int row);

  // After the other windows close.
  void AfterAccountPrefs();
  void AfterRate(bool accepted);
  void AfterConnect() { FillDeviceList(""); }
  void AfterSetup() { RefreshRecordList(false); }
  void AfterReport() { RefreshRecordList(false); }

  ComboModel& devices() { return devices_; }
  ComboModel& accounts() { return accounts_; }
  const ComboModel& accounts() const { return accounts_; }
  ComboModel& items() { return items_; }
  ComboModel& dateRanges() { return dateRanges_; }
  const ComboModel& dateRanges() const { return dateRanges_; }
  // The periods behind the date-range entries.
  const DateRangeList& rangeList() const { return ranges_; }
  const std::vector<RecordRow>& rows() const { return rows_; }
  RecordStore& store() { return store_; }
  const RecordStore& store() const { return store_; }
  bool showAll() const { return showAll_; }
  int selectedRow() const { return selectedRow_; }
  bool detailsEnabled() const { return selectedRow_ >= 0; }
  // Acct Prefs and Rate need an account: a handheld without one has none.
  bool accountCommandsEnabled() const { return accounts_.count() > 0; }

  const std::string& rateText() const { return rateText_; }
  const std::string& totalTimeText() const { return totalTimeText_; }
  const std::string& invoiceTotalText() const { return invoiceTotalText_; }

  const std::string& deviceName() const { return deviceName_; }
  const std::string& accountName() const { return accountName_; }
  const std::string& itemName() const { return itemName_; }
  int32_t accountId() const { return accountId_; }
  int32_t itemId() const { return itemId_; }
  const std::string& dataPath() const { return dataPath_; }
  const AccountDefaults& defaults() const { return defaults_; }
  // The selected account's values as read at the last refresh.
  const AccountBilling& billing() const { return billing_; }

 private:
  // Empties what shows a selection: items, rows, rate, totals, ranges.
  void ClearSelection();
  void OfferImport();
  // RefreshRecordList; with readRateField the rate field is read afresh too.
  void Refresh(bool rebuildRanges, bool readRateField);
  // The rows of the selected account and item, without their billing columns.
  void ListRows();

  RecordStore store_;
  ComboModel devices_{true};
  ComboModel accounts_{true};
  ComboModel items_{true};
  ComboModel dateRanges_{false};
  DateRangeList ranges_;
  std::vector<RecordRow> rows_;
  bool showAll_ = false;
  int selectedRow_ = -1;
  std::string rateText_;
  std::string totalTimeText_;
  std::string invoiceTotalText_;
  std::string deviceName_;
  int32_t accountId_ = 0;
  std::string accountName_;
  int32_t itemId_ = 0;
  std::string itemName_;
  std::string dataPath_;
  AccountDefaults defaults_;
  AccountBilling billing_;
};
