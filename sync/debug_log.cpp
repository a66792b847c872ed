// The synchronization's debug log.
#include "sync/debug_log.h"

#include <filesystem>
#include <fstream>

#include "platform/xdg_paths.h"

std::string DebugLogPath() { return StateHome() + "/horalog/dbgout.txt"; }

void WriteDebugLog(const std::string& text, bool startNew) {
  const std::string path = DebugLogPath();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, startNew ? std::ios::trunc : std::ios::app);
  out << text << '\n';
}
