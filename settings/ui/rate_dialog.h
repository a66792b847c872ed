// The rate window: the hourly rate of one account, for all its items or for
// one item, shown over RateDialogModel.
#pragma once

#include <QDialog>
#include <string>

#include "settings/rate_dialog_model.h"

class QLineEdit;

class RateDialog : public QDialog {
  Q_OBJECT

 public:
  // itemText is "All" for the account-wide rate or an item's name. Reads the
  // stored rate at once (creating the keys, as the rate lookup does). Run it
  // with exec(): OK stores the typed rate and returns Accepted; a rate too
  // large to store is refused with a message box and the dialog stays open.
  // Cancel writes nothing and returns Rejected. The rate edit is "1023".
  RateDialog(const std::string& account, const std::string& itemText, QWidget* parent = nullptr);

 public slots:
  void accept() override;

 private:
  void Filter(const QString& text);

  RateDialogModel model_;
  QLineEdit* rate_;
};
