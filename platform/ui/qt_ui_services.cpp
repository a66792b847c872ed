// The user interface services of the core, shown with Qt.
#include "platform/ui/qt_ui_services.h"

#include <QApplication>
#include <QMessageBox>
#include <memory>

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& caption, MessageButtons buttons,
                                            MessageIcon icon) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setIcon(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
  box->setWindowTitle(QString::fromStdString(caption));
  box->setText(QString::fromStdString(text));
  switch (buttons) {
    case MessageButtons::Ok: box->setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel:
      box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MessageButtons::YesNo:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      // Every Yes/No question of the programs deletes data on Yes: a stray
      // Enter must keep it.
      box->setDefaultButton(QMessageBox::No);
      break;
  }
  return box;
}

MessageAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                             MessageButtons buttons, MessageIcon icon) {
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, text, caption, buttons, icon);
  switch (box->exec()) {
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default: return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

void PumpQtMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

MessageAnswer QtUiServices::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageButtons buttons) {
  return ShowMessageBox(QApplication::activeWindow(), text, caption, buttons);
}

MessageAnswer QtUiServices::ShowWarning(const std::string& text, const std::string& caption,
                                        MessageButtons buttons) {
  return ShowMessageBox(QApplication::activeWindow(), text, caption, buttons, MessageIcon::Warning);
}

void QtUiServices::Beep() { QApplication::beep(); }

void QtUiServices::PumpMessages() { PumpQtMessages(); }
