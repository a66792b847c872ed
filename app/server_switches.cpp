// The server switches of both programs.
#include "app/server_switches.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/xdg_paths.h"

namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

InfoSwitch FindInfoSwitch(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) return InfoSwitch::None;
  if (arguments[1] == "--version") return InfoSwitch::Version;
  if (arguments[1] == "--help" || arguments[1] == "-h") return InfoSwitch::Help;
  return InfoSwitch::None;
}

std::string ProgramHelp(const std::string& program, const std::string& comment) {
  return "Usage: " + program + " [--version | --help | /RegServer | /UnregServer]\n" + comment +
         ".\n\nWithout an argument it opens its window, which needs a desktop session.\n"
         "  /RegServer    write the desktop entry " +
         DesktopEntryPath(program) +
         " and end\n"
         "  /UnregServer  remove that desktop entry and end\n"
         "  --version     print the version and end\n"
         "  --help, -h    print this and end\n"
         "/RegServer and /UnregServer may also start with \"-\", in any letter case.\n";
}

ServerSwitch FindServerSwitch(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  for (size_t at = line.find_first_of("-/"); at != std::string::npos;
       at = line.find_first_of("-/", at + 1)) {
    const std::string rest = line.substr(at + 1);
    if (EqualsIgnoringCase(rest, "UnregServer")) return ServerSwitch::UnregServer;
    if (EqualsIgnoringCase(rest, "RegServer")) return ServerSwitch::RegServer;
  }
  return ServerSwitch::None;
}

std::string DesktopEntryPath(const std::string& program) {
  return DataHome() + "/applications/" + program + ".desktop";
}

Status RegisterDesktopEntry(const std::string& program, const std::string& name,
                            const std::string& comment, const std::string& executable) {
  const std::filesystem::path path = DesktopEntryPath(program);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::trunc);
  out << "[Desktop Entry]\n"
      << "Type=Application\n"
      << "Name=" << name << "\n"
      << "Comment=" << comment << "\n"
      << "Exec=\"" << executable << "\"\n"
      << "Terminal=false\n"
      << "Categories=Office;\n";
  out.close();
  if (!out) return Status::Failure(path.string() + ": " + std::strerror(errno));
  return Status::Ok();
}

Status UnregisterDesktopEntry(const std::string& program) {
  std::error_code ec;
  std::filesystem::remove(DesktopEntryPath(program), ec);
  if (ec) return Status::Failure(DesktopEntryPath(program) + ": " + ec.message());
  return Status::Ok();
}
