// A synchronization view that writes down everything it is shown, in order.
#pragma once

#include <string>
#include <vector>

#include "sync/sync_view.h"

class RecordingSyncView : public SyncView {
 public:
  void SetStatus(const std::string& text) override {
    statuses.push_back(text);
    events.push_back("status: " + text);
  }
  void SetProgress(int position) override {
    progress.push_back(position);
    events.push_back("progress: " + std::to_string(position));
  }
  void SetCaption(const std::string& text) override {
    caption = text;
    events.push_back("caption: " + text);
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + ": " + text);
    events.push_back("message: " + caption + ": " + text);
  }
  void PumpMessages() override { ++pumps; }
  void Beep() override {
    ++beeps;
    events.push_back("beep");
  }

  std::vector<std::string> statuses;
  std::vector<int> progress;
  std::vector<std::string> messages;  // "CAPTION: TEXT"
  std::vector<std::string> events;
  std::string caption;
  int pumps = 0;
  int beeps = 0;
};
