// What every test pins.
#include "support/test_env.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/clock.h"
#include "settings/registry_key_stack.h"
#include "support/run_tool.h"

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "horalog-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) std::abort();
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only folders made by a test must not stop the clean-up.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedTimeZone::ScopedTimeZone(const std::string& tz) {
  env_.emplace("TZ", tz);
  ::tzset();
}
ScopedTimeZone::~ScopedTimeZone() {
  env_.reset();
  ::tzset();
}

namespace {

// True when the C library can load locale name (from LOCPATH when set).
bool LocaleLoads(const std::string& name) {
  locale_t loaded = ::newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(0));
  if (loaded == static_cast<locale_t>(0)) return false;
  ::freelocale(loaded);
  return true;
}

// Makes name ("de_DE.UTF-8") in folder with localedef, unless it is there.
// It is made aside and renamed into place, so that tests running at once
// never read a half-made locale.
std::string MakeLocale(const std::string& folder, const std::string& name) {
  const std::string target = folder + "/" + name;
  if (std::filesystem::exists(target)) return {};
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  TempDir aside;
  const size_t dot = name.find('.');
  const ToolRun run = RunTool("/usr/bin/localedef", {"-i", name.substr(0, dot), "-f",
                                                     name.substr(dot + 1), aside.File(name)});
  if (run.status != 0 && !std::filesystem::exists(aside.File(name) + "/LC_NUMERIC")) {
    return "localedef could not make " + name + " (package locales): " + run.err;
  }
  std::filesystem::rename(aside.File(name), target, ec);
  return {};
}

}  // namespace

ScopedCLocale::ScopedCLocale(const std::string& numeric, const std::string& other) {
  saved_ = std::setlocale(LC_ALL, nullptr);
  if (!LocaleLoads(numeric) || !LocaleLoads(other)) {
    // With LOCPATH set the C library reads only that folder (and knows "C").
    const std::string folder = std::string(HORALOG_BIN_DIR) + "/locale";
    locpath_.emplace("LOCPATH", folder);
    for (const std::string& name : {numeric, other}) {
      if (error_.empty() && !LocaleLoads(name)) error_ = MakeLocale(folder, name);
    }
  }
  all_.emplace("LC_ALL", std::nullopt);
  numeric_.emplace("LC_NUMERIC", numeric);
  lang_.emplace("LANG", other);
  if (error_.empty() && std::setlocale(LC_ALL, "") == nullptr) {
    error_ = "the C library cannot load " + numeric + " and " + other;
  }
}

ScopedCLocale::~ScopedCLocale() {
  lang_.reset();
  numeric_.reset();
  all_.reset();
  locpath_.reset();
  std::setlocale(LC_ALL, saved_.c_str());
}

ScopedNow::ScopedNow(std::time_t value) { SetNowForTesting(value); }
ScopedNow::~ScopedNow() { SetNowForTesting(std::nullopt); }

RecordingUi::RecordingUi() { SetUi(this); }
RecordingUi::~RecordingUi() { SetUi(nullptr); }

MessageAnswer RecordingUi::ShowMessage(const std::string& text, const std::string& caption,
                                       MessageButtons buttons) {
  messages.push_back({text, caption, buttons});
  return answer;
}

MessageAnswer RecordingUi::ShowWarning(const std::string& text, const std::string& caption,
                                       MessageButtons buttons) {
  messages.push_back({text, caption, buttons, MessageIcon::Warning});
  return answer;
}

TestEnvironment::TestEnvironment()
    : registry("HORALOG_REGISTRY", dir.File("registry.db")),
      configHome("XDG_CONFIG_HOME", dir.File("config")),
      dataHome("XDG_DATA_HOME", dir.File("data")),
      stateHome("XDG_STATE_HOME", dir.File("state")),
      locale("LC_ALL", std::string("en_US.UTF-8")),
      zone("UTC") {}

std::string TestEnvironment::TemplateDir() { return HORALOG_TEMPLATE_DIR; }

namespace {

std::tm Civil(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return tm;
}

}  // namespace

std::string RegistryValueText(const std::string& keyPath, const std::string& name, bool dword,
                              const std::string& noKey) {
  RegistryKeyStack stack;
  if (!stack.OpenPath(keyPath)) return noKey;
  std::string text = "(missing)";
  uint32_t value = 0;
  if (dword) return stack.QueryDword(name, &value) ? "#" + std::to_string(value) : text;
  stack.QueryString(name, &text, 0);
  return text;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm = Civil(year, month, day, hour, minute, second);
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::time_t UtcTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm = Civil(year, month, day, hour, minute, second);
  return timegm(&tm);
}
