// Asks for the password of a locked handheld: one masked entry, OK and Cancel.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

class PasswordDialog : public QDialog {
  Q_OBJECT

 public:
  // name is the handheld's, as SynCE's connection manager knows it.
  PasswordDialog(QWidget* owner, const std::string& name);

  // Shows the dialog modally; true with the password typed when OK was
  // pressed, false when it was cancelled.
  static bool Ask(QWidget* owner, const std::string& name, std::string* password);

  QLineEdit* entry() const { return entry_; }

 private:
  QLineEdit* entry_;
};
