// The "Details" window: one time record in full, its date, account and item,
// notes and spans. It changes nothing.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class RecordStore;

class DetailsDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the three texts as given and fills the times list ("1051") from
  // the spans of recordId in store. Object names: "1048" date, "1049"
  // account/item, "1052" notes, "1" Close, "9" Help.
  DetailsDialog(QWidget* parent, const std::string& dateText, const std::string& accountItemText,
                const std::string& notes, const RecordStore& store, int32_t recordId);

  // What the main window's Details button does for the selected row: finds
  // the first record of store with recordId, builds its texts (accountText is
  // the account as the window shows it) and runs the dialog modally. False,
  // showing nothing, when store holds no such record.
  static bool ShowRecord(QWidget* parent, const RecordStore& store, int32_t recordId,
                         const std::string& accountText);
};
