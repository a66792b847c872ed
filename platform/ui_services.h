// What the core asks of the user interface: message boxes, a beep, repaint.
// The Qt layer installs its implementation; without one, messages go to
// standard error, so command-line tools still say what went wrong.
#pragma once

#include <string>

// Buttons of a message box, as the Windows flags they stand for.
enum class MessageButtons { Ok, OkCancel, YesNo };
// What the user pressed.
enum class MessageAnswer { Ok, Cancel, Yes, No };
// The icon beside the text.
enum class MessageIcon { None, Warning };

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Shows text with caption and waits for the answer. Never fails.
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                    MessageButtons buttons) = 0;
  // The same with the warning (exclamation) icon, for questions whose Yes
  // destroys data. Without an icon of its own it is ShowMessage.
  virtual MessageAnswer ShowWarning(const std::string& text, const std::string& caption,
                                    MessageButtons buttons) {
    return ShowMessage(text, caption, buttons);
  }
  virtual void Beep() = 0;
  // Lets the window repaint during long work.
  virtual void PumpMessages() = 0;
};

// The installed services (the console ones when none was installed).
UiServices& Ui();
// Installs services (not owned); nullptr restores the console ones.
void SetUi(UiServices* services);
