// The console stand-in of the user interface services.
#include "platform/ui_services.h"

#include <iostream>

namespace {

class ConsoleUi : public UiServices {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override {
    std::cerr << caption << ": " << text << '\n';
    // Nobody can answer: a question is taken as declined, so nothing is destroyed.
    switch (buttons) {
      case MessageButtons::Ok: return MessageAnswer::Ok;
      case MessageButtons::OkCancel: return MessageAnswer::Cancel;
      case MessageButtons::YesNo: return MessageAnswer::No;
    }
    return MessageAnswer::Ok;
  }
  void Beep() override {}
  void PumpMessages() override {}
};

ConsoleUi consoleUi;
UiServices* installed = nullptr;

}  // namespace

UiServices& Ui() { return installed ? *installed : consoleUi; }

void SetUi(UiServices* services) { installed = services; }
