// The per-user folders of the freedesktop base directory rules.
#include "platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

std::string FromEnv(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  // Relative values are invalid by the base directory rules and are ignored.
  if (value && value[0] == '/') return value;
  return fallback;
}

// Expands "$HOME/x" as user-dirs.dirs writes it.
std::string ExpandHome(std::string value) {
  if (value.rfind("$HOME", 0) == 0) value = HomeDir() + value.substr(5);
  return value;
}

}  // namespace

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string ConfigHome() { return FromEnv("XDG_CONFIG_HOME", HomeDir() + "/.config"); }
std::string DataHome() { return FromEnv("XDG_DATA_HOME", HomeDir() + "/.local/share"); }
std::string StateHome() { return FromEnv("XDG_STATE_HOME", HomeDir() + "/.local/state"); }

std::string DocumentsDir() {
  if (const char* dir = std::getenv("XDG_DOCUMENTS_DIR"); dir && *dir) return ExpandHome(dir);
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    value = ExpandHome(value);
    // A documents folder equal to home means "not set" for user-dirs.
    if (!value.empty() && value != HomeDir() && value != HomeDir() + "/") return value;
  }
  return HomeDir() + "/Documents";
}
