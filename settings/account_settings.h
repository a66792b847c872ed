// The registry layout of the settings and the per-account lookups with their
// fallback chains.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "billing/account_billing.h"
#include "store/store_location.h"

// Registry paths, below HKEY_CURRENT_USER.
inline constexpr const char* kSetupKeyPath = "SOFTWARE\\Brackwell\\Horalog\\Setup\\";
inline constexpr const char* kAcctsKeyPath = "SOFTWARE\\Brackwell\\Horalog\\Accts\\";

// The main window's copy of the Default key (built-in defaults where a value
// is missing), taken by LoadAccountDefaults.
struct AccountDefaults {
  std::string period = "All";       // period text
  int atom = 6;                     // rounding increment in minutes, always one of the twelve
  std::string round = "Nearest";    // round text
  std::string startDay = "Monday";  // day text
  int startDate1 = 1;               // day of month
  int startDate2 = 16;              // day of month
};

// True for the twelve rounding increments 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60.
bool IsValidAtom(int64_t minutes);

// Hourly rate in hundredths: item rate, else the account's "All" rate, else
// DefaultRate, else 0; 0 whenever the Setup key is missing. Creates the Accts,
// account, "All" and item keys when missing.
int GetAccountRate(const std::string& account, const std::string& item);
// Rounding increment in minutes: the account's Atom, else the Default key's,
// else 6. A stored value that is not one of the twelve increments counts as 6;
// an account's invalid value counts as 6 too, not as the Default key's.
int GetAccountAtom(const std::string& account);
// Rounding mode: the account's Round, else the Default key's, else Nearest;
// any text but exactly "Up", "Down" or "Nearest" reads as Nearest.
RoundMode GetAccountRound(const std::string& account);

// An account's billing values at once: Atom and Round as GetAccountAtom and
// GetAccountRound read them, then the rate of each of items as GetAccountRate
// reads it (the same keys are created, in the order of items; an item listed
// twice is looked up once), and with periodDefaults the period setting as
// GetAccountPeriod, GetAccountStartDay, GetAccountStartDate1 and
// GetAccountStartDate2 read it.
AccountBilling ReadAccountBilling(const std::string& account,
                                  const std::vector<std::string>& items = {},
                                  const AccountDefaults* periodDefaults = nullptr);
// Adds the rates of those of items that billing has not looked up yet, as
// ReadAccountBilling does.
void ReadItemRates(const std::string& account, const std::vector<std::string>& items,
                   AccountBilling* billing);

// Fills defaults from the Default key; leaves them untouched when the Accts
// path cannot be created.
void LoadAccountDefaults(AccountDefaults* defaults);
// The period getters of the main window: the account's value, else the
// window's copy of the defaults. All create the Accts path and the account
// key. When the account key cannot be had (a name without components, a
// registry that cannot be read) they give All, 0 (Sunday), 1 and 1. Stored
// numbers are passed on unchecked.
PeriodKind GetAccountPeriod(const std::string& account, const AccountDefaults& defaults);
int GetAccountStartDay(const std::string& account, const AccountDefaults& defaults);
int GetAccountStartDate1(const std::string& account, const AccountDefaults& defaults);
int GetAccountStartDate2(const std::string& account, const AccountDefaults& defaults);

// Text <-> code mappings of the stored texts ("One Week" -> OneWeek, "Up" -> Up,
// "Monday" -> 1); unknown texts map as the lookups say (All, Nearest, 0), and
// an unknown code gives the text of code 0 ("All", "Nearest", "Sunday").
// Comparisons are exact and case-sensitive.
PeriodKind PeriodFromText(const std::string& text);
const char* PeriodText(PeriodKind kind);
RoundMode RoundFromText(const std::string& text);
const char* RoundText(RoundMode mode);
int DayFromText(const std::string& text);
const char* DayText(int day);

// A string value of the Setup key read whole ("" when missing): DataPath,
// ExecPath, ReportPath, EditorPath and the like.
std::string ReadSetupString(const std::string& name);

// The Setup key's values that the documents use, read once before one is
// built.
struct DocumentSetup {
  bool found = false;                // the Setup key could be opened (the letterhead only then)
  std::string reportPath;            // ReportPath read whole; empty when missing
  std::string currencySymbol;        // CurrencySymbol when it fits 3 bytes, else empty
  std::vector<std::string> address;  // Address1..4 read into 256 bytes; "" when missing
};
DocumentSetup ReadDocumentSetup();

// The account's Address1..4 read into 64 bytes each, empty ones left out; the
// account key is created when missing (a new account's key is made here).
std::vector<std::string> ReadClientAddress(const std::string& account);

// DataPath and ExecPath of the Setup key, read whole; empty when missing.
// What every RecordStore is given.
StoreFolders ReadStoreFolders();
