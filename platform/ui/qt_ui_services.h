// The user interface services of the core, shown with Qt.
#pragma once

#include <memory>

#include "platform/ui_services.h"

class QMessageBox;
class QWidget;

class QtUiServices : public UiServices {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override;
  MessageAnswer ShowWarning(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override;
  void Beep() override;
  void PumpMessages() override;
};

// The message box ShowMessageBox runs, not yet shown. A Yes/No question
// has No as its default button.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& caption, MessageButtons buttons,
                                            MessageIcon icon = MessageIcon::None);

// A message box with text, caption, buttons and icon, owned by owner (none
// when null); the answer.
MessageAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                             MessageButtons buttons, MessageIcon icon = MessageIcon::None);

// Dispatches what waits for the user-interface thread, so the window repaints.
void PumpQtMessages();
