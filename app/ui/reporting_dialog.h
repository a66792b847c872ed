// Kestrune's main window "Horalog Reporting": shows the reporting model and
// hands the user's actions to it.
#pragma once

#include <QDialog>

#include "reporting/reporting_model.h"
#include "sync/ce_platform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class RecordTableModel;

class ReportingDialog : public QDialog {
  Q_OBJECT

 public:
  // platform is the handheld the window synchronizes with (at start and on
  // Connect). The start-up synchronization runs once the window shows.
  ReportingDialog(CePlatform& platform, QWidget* parent = nullptr);
  ~ReportingDialog() override;

  ReportingModel& model() { return model_; }
  // Runs the start-up: defaults, synchronization dialog, device list.
  void StartUp();
  bool startedUp() const { return startedUp_; }

  // Button actions, public so that tests and the program drive them alike.
  void OnAcctPrefs();
  void OnRate();
  void OnConnect();
  void OnSetup();
  // Writes the invoice of the rows marked "X", marks them invoiced, updates
  // the handheld and refreshes the list.
  void OnInvoice();
  // Runs the report dialog for the selected handheld, then refreshes the list.
  void OnReport();
  void OnDetails();
  void OnHelp();
  void OnAbout();

  // Shows the model's state in every control, after the model was driven
  // directly.
  void ShowModel();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The buttons down the window's side, in their order there.
  struct Buttons;
  // The constructor's steps: the controls made, then laid out and
  // connected to the model.
  void MakeSelection();
  void MakeList();
  Buttons MakeButtons();
  void MakeTotals();
  void AddHelpMenu(QPushButton* help);
  void LayOut(const Buttons& buttons);
  void ConnectSelection();
  void ConnectButtons(const Buttons& buttons);
  void ShowRows();

  CePlatform& platform_;
  ReportingModel model_;
  bool startedUp_ = false;
  QComboBox* devices_;
  QComboBox* dateRanges_;
  QCheckBox* showAll_;
  QComboBox* accounts_;
  QComboBox* items_;
  QTableView* list_;
  RecordTableModel* table_;
  QPushButton* details_;
  QPushButton* prefs_;
  QPushButton* rateButton_;
  QLineEdit* rate_;
  QLineEdit* totalTime_;
  QLineEdit* invoiceTotal_;
  QLabel* documentStatus_;
};
