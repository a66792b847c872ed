// The "Account Preferences" window: one account's billing period, rounding
// and invoice address, shown over AccountPrefsModel.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "settings/account_prefs_model.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

class AccountPrefsDialog : public QDialog {
  Q_OBJECT

 public:
  // Reads the account's settings (or the Default key's) at once. Run it with
  // exec(): OK writes the account's key and returns Accepted, Cancel writes
  // nothing and returns Rejected; the "Make Default" buttons write the
  // Default key while the dialog stays open. Each control's object name is
  // its number ("1007", "1013", ...); the start-date spins are "1014" and
  // "1017", their edits "1015" and "1016". A typed start date outside the
  // spin's range is clamped to the range.
  explicit AccountPrefsDialog(const std::string& account, QWidget* parent = nullptr);

  const AccountPrefsModel& model() const { return model_; }

 public slots:
  void accept() override;

 private:
  // The buttons, to connect once the model is shown.
  struct Buttons;
  // The constructor's steps: the three groups, the account's name, the
  // dialog's buttons beside it, then the connections.
  QPushButton* MakeDurationGroup();
  QPushButton* MakeTimePeriodsGroup();
  void MakeAddressGroup();
  QLineEdit* MakeAccountName(const std::string& account);
  void MakeDialogButtons(const QLineEdit* name, Buttons* buttons);
  void ConnectControls();
  void ConnectButtons(const Buttons& buttons);
  void ShowModel();
  void ApplyPeriod(PeriodKind period);
  void TakeSpinTexts();

  AccountPrefsModel model_;
  QButtonGroup* periods_;
  QButtonGroup* rounds_;
  QComboBox* day_;
  QSpinBox* date1_;
  QSpinBox* date2_;
  QListWidget* increments_;
  std::array<QLineEdit*, 4> addresses_{};
};
