// The setup dialog's state: the company address, the editor program, the
// default rate and the currency symbol, all in the Setup key.
#pragma once

#include <array>
#include <cstddef>
#include <string>

// What the setup dialog shows and writes.
struct SetupValues {
  std::array<std::string, 4> addresses;  // Address1 .. Address4
  std::string editorPath;                // EditorPath
  std::string defaultRate;               // FormatRate of DefaultRate; "" when none is stored
  std::string currencySymbol = "$";      // CurrencySymbol, "$" when none is stored
  bool savePdf = true;                   // SavePdf ("Also save as PDF"), on unless 0 is stored
};

class SetupModel {
 public:
  // Longest texts, in characters, that the edits accept and that are written.
  static constexpr size_t kAddressChars = 63;
  static constexpr size_t kEditorChars = 255;
  static constexpr size_t kCurrencyTypedChars = 1;  // a longer stored symbol is still shown
  static constexpr size_t kCurrencyChars = 3;

  // Reads the Setup key (creating it when missing). A value that is missing
  // or longer than its edit holds (addresses 63, editor 255, currency 3
  // characters) keeps the default of SetupValues.
  SetupModel();

  const SetupValues& initial() const { return initial_; }

  // Writes all four address lines (empty ones too, as empty texts),
  // EditorPath, DefaultRate (ParseRateText: 45.567 -> 4556, "" -> 0),
  // CurrencySymbol, each cut to its length, and SavePdf (1 or 0). False, writing nothing, when the
  // default rate is too large to store; registry failures are silent and
  // still give true.
  bool Save(const SetupValues& values) const;

  // Whether an edit of the currency symbol from before to after is let
  // through: typing may not make the text longer than one character, while a
  // longer stored symbol may still be shortened by deleting.
  static bool AcceptsCurrencyEdit(const std::string& before, const std::string& after);

 private:
  SetupValues initial_;
};
