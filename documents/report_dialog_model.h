// The state and rules of the "Report Recorded Time" dialog without its
// window: its own period setting, the periods that hold records, the totals
// of the selected period, and the setting kept in the Setup key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "billing/periods.h"
#include "documents/document_outcome.h"
#include "documents/time_report.h"

class RecordStore;

// Which controls a period kind leaves usable, and the ranges of the two
// start dates (day list 1013, start date 1 in edit 1015, start date 2 in
// edit 1016).
struct ReportControlState {
  bool dayListEnabled = true;
  bool date1Enabled = true;
  int date1Min = 1;
  int date1Max = 15;
  bool date2Enabled = true;
  int date2Min = 16;
  int date2Max = 31;
};

class ReportDialogModel {
 public:
  // Capacity of the period and day texts read from the Setup key, in bytes
  // with the terminating zero.
  static constexpr size_t kSettingTextCapacity = 32;

  // For the handheld deviceName; nothing is read before Open.
  explicit ReportDialogModel(std::string deviceName);

  // Opening: Monday, start dates 1 and 16; then the saved setting of the
  // Setup key (created when missing): ReportPeriod (default "One Month";
  // "One Week", "Two Weeks", "Half Month", anything else one month) with its
  // control state, ReportStartDay (matched ignoring letter case; Monday
  // stays when none matches), ReportStartDate1 and ReportStartDate2 (their
  // low 16 bits, kept within the start dates' ranges) and ReportSetInvoiced
  // (checked only when 1; unchecked when never saved). When the Setup key
  // can be neither opened nor created, no period is checked and the other
  // values keep their first state. Then BuildRanges; initialized afterwards.
  void Open();
  bool initialized() const { return initialized_; }

  // The checked period button; none only when the Setup key could not be
  // had at opening and no button was clicked since.
  std::optional<PeriodKind> checkedKind() const { return checkedKind_; }
  // A click of a period button (OneWeek, TwoWeeks, HalfMonth, OneMonth;
  // All is ignored): its control state, then BuildRanges once initialized.
  // The start dates are kept within their new ranges.
  void ClickPeriod(PeriodKind kind);
  const ReportControlState& controls() const { return controls_; }

  // The day list's entry, Sunday 0 .. Saturday 6. Choosing one rebuilds
  // nothing.
  int startDay() const { return startDay_; }
  void SelectStartDay(int day);
  // The start dates; a value outside its range is kept at the nearer end.
  // Each change rebuilds once initialized.
  int startDate1() const { return startDate1_; }
  int startDate2() const { return startDate2_; }
  void SetStartDate1(int value);
  void SetStartDate2(int value);

  bool setInvoiced() const { return setInvoiced_; }
  void SetSetInvoiced(bool checked) { setInvoiced_ = checked; }

  // The setting read from the controls: kind of the checked button (one
  // month when none), start day, start dates.
  PeriodSetting setting() const;

  // The periods of the setting that hold any record of the handheld
  // (invoiced ones included), oldest first, the first selected; then
  // ShowTotals.
  void BuildRanges();
  const std::vector<DateRange>& ranges() const { return ranges_; }
  std::vector<std::string> rangeLabels() const;
  // The selected period; -1 when the list is empty.
  int selectedRange() const { return selectedRange_; }
  // A selection in the period list (an index outside it selects none), then
  // ShowTotals.
  void SelectRange(int index);

  // Total time ("7:05", hours and minutes whatever the increments) and
  // amount ("%.02f", no symbol) of every record of the selected period, any
  // account, invoiced or not; both empty when no period is selected.
  void ShowTotals();
  const std::string& totalTimeText() const { return totalTimeText_; }
  const std::string& totalAmountText() const { return totalAmountText_; }

  // What Create hands to the time report: the device, the selected period's
  // label and days, and the box. False when no period is selected.
  bool Request(TimeReportRequest* request) const;
  bool canCreate() const { return selectedRange_ >= 0; }
  // Create: the time report of the selected period (NotWritten, writing
  // nothing, when none is selected). The dialog stays open.
  DocumentOutcome Create(const DocumentOptions& options) const;

  // Close: writes ReportPeriod, ReportStartDay, ReportStartDate1,
  // ReportStartDate2 and ReportSetInvoiced to the Setup key (created when
  // missing). False, saving nothing, when the key cannot be had.
  bool Save() const;

  const std::string& deviceName() const { return deviceName_; }

 private:
  void ApplyControlState(PeriodKind kind);
  void ShowTotals(const RecordStore& store);

  std::string deviceName_;
  bool initialized_ = false;
  std::optional<PeriodKind> checkedKind_;
  ReportControlState controls_;
  int startDay_ = 1;
  int startDate1_ = 1;
  int startDate2_ = 16;
  bool setInvoiced_ = false;
  std::vector<DateRange> ranges_;
  int selectedRange_ = -1;
  std::string totalTimeText_;
  std::string totalAmountText_;
};
