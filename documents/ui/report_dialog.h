// The "Report Recorded Time" window: the report period setting, the periods
// that hold records with their totals, and Create, shown over
// ReportDialogModel.
#pragma once

#include <QDialog>
#include <string>

#include "documents/report_dialog_model.h"
#include "sync/ce_platform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class ReportDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens for the handheld deviceName at once (the wait cursor shows while
  // the setting is read and the periods are built). platform is the
  // handheld updated after a report that marked records. Controls carry
  // their numbers as object names: "1008" 1 Week, "1009" 2 Weeks, "1011"
  // 1 Month, "1010" 1/2 Month, "1013" the start day, "1015" and "1016" the
  // start dates (each an edit with its up-down), "1003" the periods, "1061"
  // the box, "1065" Create, "1004" and "1024" the totals, "1" Close.
  ReportDialog(const std::string& deviceName, CePlatform& platform, QWidget* parent = nullptr);

  ReportDialogModel& model() { return model_; }

  // Create: writes the time report of the selected period; the dialog stays
  // open.
  void OnCreate();

 public slots:
  // Close: saves the setting and ends the dialog with Accepted. Escape and
  // the window's close box end it without saving.
  void accept() override;

 private:
  void ShowModel();

  CePlatform& platform_;
  ReportDialogModel model_;
  QRadioButton* oneWeek_;
  QRadioButton* twoWeeks_;
  QRadioButton* oneMonth_;
  QRadioButton* halfMonth_;
  QComboBox* startDay_;
  QSpinBox* startDate1_;
  QSpinBox* startDate2_;
  QComboBox* ranges_;
  QCheckBox* setInvoiced_;
  QPushButton* create_;
  QLineEdit* totalTime_;
  QLineEdit* totalAmount_;
  QLabel* status_;
};
