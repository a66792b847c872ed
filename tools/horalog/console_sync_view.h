// The synchronization shown as lines of standard output: each status text as
// it is set, each message box as "CAPTION: TEXT".
#pragma once

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/ui_services.h"
#include "sync/sync_view.h"

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

  // The password of a locked handheld: the first line of the password file
  // when one was named, else asked on the terminal without echo; none when
  // there is no terminal to ask on.
  bool AskPassword(const std::string& name, std::string* password) override {
    if (!passwordFile.empty()) {
      std::ifstream in(passwordFile);
      if (!in || !std::getline(in, *password)) {
        Line("Cannot read the password file " + passwordFile);
        return false;
      }
      if (!password->empty() && password->back() == '\r') password->pop_back();
      return true;
    }
    return AskOnTerminal("Password of the mobile device " + name + ": ", password);
  }

  std::string passwordFile;  // --password-file

  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override {
    Line(caption + ": " + text);
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }

 private:
  static bool AskOnTerminal(const std::string& prompt, std::string* answer) {
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) return false;
    const int fd = fileno(tty);
    termios saved{};
    const bool quiet = tcgetattr(fd, &saved) == 0;
    if (quiet) {
      termios silent = saved;
      silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      tcsetattr(fd, TCSAFLUSH, &silent);
    }
    std::fputs(prompt.c_str(), tty);
    std::fflush(tty);
    answer->clear();
    bool ended = false;
    for (int c; (c = std::fgetc(tty)) != EOF;) {
      if (c == '\n') {
        ended = true;
        break;
      }
      answer->push_back(static_cast<char>(c));
    }
    if (quiet) tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputc('\n', tty);
    std::fclose(tty);
    return ended;
  }

  static void Line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};
