// Kestsweep's window "Horalog Database Maintenance": shows the maintenance
// model and hands the user's actions to it.
#pragma once

#include <QDialog>

#include "maint/maintenance_model.h"

class QComboBox;
class QListWidget;
class QPushButton;

class MaintenanceDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens at once: lists the stores of the data folder and opens the first.
  explicit MaintenanceDialog(QWidget* parent = nullptr);

  MaintenanceModel& model() { return model_; }

  // Button actions, public so that tests and the program drive them alike.
  void OnDeleteHandheld();
  void OnDeleteAccount();
  void OnHelp();

 private:
  // Shows the model's three lists and their selections.
  void ShowModel();
  // A rectangle given in dialog units of the window's font, in pixels.
  QRect DialogUnits(int x, int y, int width, int height) const;

  MaintenanceModel model_;
  QComboBox* devices_;
  QListWidget* accounts_;
  QPushButton* deleteDevice_;
  QPushButton* deleteAccount_;
  QListWidget* status_;
};
