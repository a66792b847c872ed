// What a synchronization shows while it runs: the window of the dialog, or
// the lines of the command-line tool.
#pragma once

#include <string>

class SyncView {
 public:
  virtual ~SyncView() = default;
  virtual void SetStatus(const std::string& text) = 0;
  // 0 to 100.
  virtual void SetProgress(int position) = 0;
  virtual void SetCaption(const std::string& text) = 0;
  // A message box with an OK button, owned by the view; returns when answered.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Lets the window repaint.
  virtual void PumpMessages() = 0;
  virtual void Beep() = 0;
  // Asks for the password of the locked handheld name; false when none is
  // given (cancelled, or no one to ask).
  virtual bool AskPassword(const std::string& name, std::string* password) {
    (void)name;
    (void)password;
    return false;
  }
};
