// What every test pins: a temporary folder, the registry file, the time zone,
// the locale, the clock, and a user interface that records its messages.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui_services.h"

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Sets (or, with nullopt, unsets) an environment variable and restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Sets TZ and calls tzset; restores the previous zone afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const std::string& tz);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<ScopedEnv> env_;
};

// Pins the clock for the object's life.
class ScopedNow {
 public:
  explicit ScopedNow(std::time_t value);
  ~ScopedNow();
};

// Records every message box and answers with a chosen answer.
class RecordingUi : public UiServices {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    MessageIcon icon = MessageIcon::None;
  };
  RecordingUi();            // installs itself
  ~RecordingUi() override;  // restores the console services
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override;
  MessageAnswer ShowWarning(const std::string& text, const std::string& caption,
                            MessageButtons buttons) override;
  void Beep() override { ++beeps; }
  void PumpMessages() override { ++pumps; }

  std::vector<Message> messages;
  MessageAnswer answer = MessageAnswer::Ok;
  int beeps = 0;
  int pumps = 0;
};

// Sets the C library's locale from the environment, as Qt does when a window
// program starts: LC_NUMERIC = numeric, LANG = other, LC_ALL unset. Locales
// the system lacks are made with localedef into the build folder (LOCPATH).
// Restores the variables and the locale afterwards. error() says why a
// locale could not be had ("" when all is well).
class ScopedCLocale {
 public:
  ScopedCLocale(const std::string& numeric, const std::string& other);
  ~ScopedCLocale();
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;
  const std::string& error() const { return error_; }

 private:
  std::string saved_;
  std::optional<ScopedEnv> locpath_;
  std::optional<ScopedEnv> all_;
  std::optional<ScopedEnv> numeric_;
  std::optional<ScopedEnv> lang_;
  std::string error_;
};

// A test's whole environment: a temporary folder holding the registry file
// (HORALOG_REGISTRY) and the XDG config, data and state homes, TZ=UTC unless
// changed, LC_ALL=en_US.UTF-8, and a recording user interface.
class TestEnvironment {
 public:
  TestEnvironment();
  TempDir dir;
  ScopedEnv registry;
  // No test writes below the real home folder.
  ScopedEnv configHome;
  ScopedEnv dataHome;
  ScopedEnv stateHome;
  ScopedEnv locale;
  ScopedTimeZone zone;
  RecordingUi ui;
  std::string registryPath() const { return dir.File("registry.db"); }
  // The build's template folder (holding HR_Template.mdb).
  static std::string TemplateDir();
};

// Account names with none, one, two and ten backslashes, each of which
// addresses one more level of nested registry keys.
inline constexpr const char* kNestedAccountNames[] = {"Plain", "Dept\\Sales", "A\\B\\C",
                                                      "a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k"};

// A value of the registry key at keyPath as text: "#n" for a DWORD (read as
// one when dword), the string otherwise, "(missing)" when absent, and noKey
// when the key itself is.
std::string RegistryValueText(const std::string& keyPath, const std::string& name, bool dword,
                              const std::string& noKey = "(missing)");

// Local time value of y-m-d h:mi:s, DST decided by the C library.
std::time_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Time value of y-m-d h:mi:s UTC, whatever the zone.
std::time_t UtcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
