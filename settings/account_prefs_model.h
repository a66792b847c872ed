// The account preferences dialog's state and rules: one account's billing
// period, rounding and invoice address, and the Default key's values.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "billing/rounding.h"
#include "settings/account_settings.h"

// What the dialog shows and writes.
struct AccountPrefs {
  PeriodKind period = PeriodKind::All;
  int incrementPosition = kDefaultIncrementPosition;  // in kRoundingIncrements; -1 for none
  RoundMode round = RoundMode::Nearest;
  std::string startDay = "Monday";       // text of the day list, at most 31 characters
  int startDate1 = 1;                    // within 1..date1Max()
  int startDate2 = 16;                   // within 16..31
  std::array<std::string, 4> addresses;  // Address1 .. Address4
};

// Which start controls a period enables.
struct StartEnabling {
  bool day = false;    // the day list (weekly periods)
  bool date1 = false;  // start date 1 (monthly and half-monthly periods)
  bool date2 = false;  // start date 2 (half-monthly periods)

  bool operator==(const StartEnabling&) const = default;
};

class AccountPrefsModel {
 public:
  static constexpr int kDate1Min = 1;
  static constexpr int kDate1HalfMonthMax = 15;
  static constexpr int kDate1MonthMax = 31;
  static constexpr int kDate2Min = 16;
  static constexpr int kDate2Max = 31;
  static constexpr size_t kAddressChars = 63;
  static constexpr size_t kDayChars = 31;

  // Reads the account's key, or the Default key when the account has none
  // (addresses included), each value replacing the built-in one when present
  // and readable (texts of 32 characters or more, addresses of 64 or more,
  // are not). Unknown period and round texts read as All and Nearest, an
  // increment that is none of the twelve as 6 minutes, a day text matches its
  // entry ignoring letter case or else reads as Monday. Start dates outside
  // their range are clamped to it. Creates the Accts path, never the account.
  explicit AccountPrefsModel(std::string account);

  const std::string& account() const { return account_; }
  const AccountPrefs& prefs() const { return prefs_; }

  // Choosing "1 Month" widens start date 1 to 1..31 for the rest of the
  // model's life; no period narrows it again.
  void SelectPeriod(PeriodKind period);
  StartEnabling enabling() const { return EnablingFor(prefs_.period); }
  int date1Max() const { return date1Max_; }

  // position -1 stands for no selection (stored as 6 minutes).
  void SelectIncrement(int position);
  void SelectRound(RoundMode round) { prefs_.round = round; }
  // The day list's text, kept as given (cut to 31 characters).
  void SelectStartDay(const std::string& text);
  // Positions outside the current ranges are clamped to them.
  void SetStartDate1(int date);
  void SetStartDate2(int date);
  // line 0..3; other lines are ignored.
  void SetAddress(size_t line, const std::string& text);

  // OK: creates the account key and writes Period, Atom, Round, StartDay,
  // StartDate1, StartDate2 and the address lines; an empty line deletes its
  // value. Registry failures are silent.
  void Save() const;
  // The two "Make Default" buttons: Period, StartDay, StartDate1 and
  // StartDate2, or Atom and Round, written to the Default key as Save writes
  // them.
  void SaveDurationDefaults() const;
  void SaveRoundingDefaults() const;

  // The enabling table of the period radios.
  static StartEnabling EnablingFor(PeriodKind period);

 private:
  std::string account_;
  AccountPrefs prefs_;
  int date1Max_ = kDate1HalfMonthMax;
};
