// The synchronization shown as lines of standard output: each status text as
// it is set, each message box as "CAPTION: TEXT".
#pragma once

#include <cstdio>
#include <string>

#include "device/sync_view.h"
#include "platform/ui_services.h"

class ConsoleSyncView : public SyncView, public UiServices {
 public:
  void SetStatus(const std::string& text) override { Line(text); }
  void SetProgress(int) override {}
  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string& text, const std::string& caption) override {
    Line(caption + ": " + text);
  }
  void PumpMessages() override {}
  void Beep() override {}

  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override {
    Line(caption + ": " + text);
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }

 private:
  static void Line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};
