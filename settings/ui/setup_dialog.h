// The "Setup" window: company address, editor program, default rate and
// currency symbol, shown over SetupModel.
#pragma once

#include <QDialog>
#include <array>

#include "settings/setup_model.h"

class QCheckBox;
class QLineEdit;

class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  // Reads the Setup key at once. Run it with exec(): OK writes every value
  // and returns Accepted; a default rate too large to store is refused with
  // a message box and the dialog stays open. Cancel writes nothing and
  // returns Rejected. Controls carry their numbers as object names ("1033"
  // .. "1036" the address, "1037" the editor, "1038" its browse button,
  // "1039" the default rate, "1069" the currency symbol, "1070" the box
  // "Also save as PDF").
  explicit SetupDialog(QWidget* parent = nullptr);

  // The file chooser of the browse button: Qt's own file dialog (the same on
  // every desktop), starting at current, listing folders and programs (files
  // the user may execute) and accepting only an existing file. The chosen
  // file's absolute path; empty when the user cancels.
  static QString ChooseEditor(QWidget* parent, const QString& current);

 public slots:
  void accept() override;

 private:
  void FilterRate(const QString& text);
  void CheckCurrency(const QString& text);

  SetupModel model_;
  std::array<QLineEdit*, 4> addresses_{};
  QLineEdit* editor_;
  QLineEdit* rate_;
  QLineEdit* currency_;
  QCheckBox* savePdf_;
  QString acceptedCurrency_;
};
