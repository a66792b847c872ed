// Asks for the password of a locked handheld.
#include "sync/ui/password_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(QWidget* owner, const std::string& name) : QDialog(owner) {
  setObjectName("password");
  setWindowTitle("Locked Mobile Device");
  auto* layout = new QVBoxLayout(this);
  const QString who = name.empty()
                          ? QString("The mobile device")
                          : QString("The mobile device %1").arg(QString::fromStdString(name));
  auto* label = new QLabel(who + " is locked. Enter its &password to synchronize it:", this);
  label->setWordWrap(true);
  layout->addWidget(label);
  entry_ = new QLineEdit(this);
  entry_->setObjectName("passwordEntry");
  entry_->setEchoMode(QLineEdit::Password);
  // Not offered to input methods or the clipboard history of a desktop.
  entry_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                              Qt::ImhNoAutoUppercase);
  label->setBuddy(entry_);
  layout->addWidget(entry_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  entry_->setFocus();
  setMinimumWidth(fontMetrics().averageCharWidth() * 48);
}

bool PasswordDialog::Ask(QWidget* owner, const std::string& name, std::string* password) {
  PasswordDialog dialog(owner, name);
  if (dialog.exec() != QDialog::Accepted) return false;
  *password = dialog.entry_->text().toStdString();
  dialog.entry_->clear();
  return true;
}
