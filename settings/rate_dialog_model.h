// The rate dialog's state: the hourly rate of one account, for all its items
// or for one item, under Accts\account\item.
#pragma once

#include <string>

class RateDialogModel {
 public:
  // item is "All" for the account-wide rate or an item's name. Reads the
  // stored rate at once: the Accts path, the account key and the item key are
  // created when missing, as every rate lookup creates them.
  RateDialogModel(std::string account, std::string item);

  // "Acme/Design Rate", or "Acme Rate" when item is "All" (exactly).
  std::string Caption() const;

  // FormatRate of the rate stored for exactly this item ("12.50"); "" when
  // none is stored, so an inherited rate is never shown as the item's own.
  const std::string& initialText() const { return initialText_; }

  // Stores the rate text stands for (ParseRateText: "" stores 0, which is a
  // real rate that hides the account-wide and default rates). False, writing
  // nothing, when the rate is too large to store; registry failures are
  // silent and still give true.
  bool Save(const std::string& text) const;

 private:
  std::string account_;
  std::string item_;
  std::string initialText_;
};
