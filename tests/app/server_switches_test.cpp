// The server switches: which command lines register, and the desktop entry
// they leave, also through the real programs.
#include "app/server_switches.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "support/run_tool.h"
#include "support/test_env.h"

namespace {

// Runs a program with QT_QPA_PLATFORM unset and no display: a program that
// tried to show a window would fail.
int RunWithoutDisplay(const std::string& command) {
  ScopedEnv display("DISPLAY", std::nullopt);
  ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
  ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ServerSwitches, OnlyASwitchAtTheVeryEndCounts) {
  struct Case {
    std::vector<std::string> arguments;
    ServerSwitch expected;
  };
  const Case cases[] = {
      {{"/usr/bin/kestrune", "/RegServer"}, ServerSwitch::RegServer},
      {{"/usr/bin/kestrune", "-regserver"}, ServerSwitch::RegServer},
      {{"kestrune", "/UNREGSERVER"}, ServerSwitch::UnregServer},
      {{"kestrune", "-x", "/UnregServer"}, ServerSwitch::UnregServer},
      {{"kestrune", "/RegServer", "extra"}, ServerSwitch::None},
      {{"kestrune", "/RegServerX"}, ServerSwitch::None},
      {{"kestrune", "RegServer"}, ServerSwitch::None},
      {{"/home/me/-RegServer"}, ServerSwitch::RegServer},
      {{"kestrune"}, ServerSwitch::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindServerSwitch(c.arguments), c.expected) << c.arguments.back();
  }
}

TEST(ServerSwitches, ProgramsRegisterAndUnregisterWithoutAWindow) {
  TestEnvironment env;
  const std::string applications = env.dir.File("data/applications");
  for (const char* program : {"kestrune", "kestsweep"}) {
    const std::string binary = std::string(HORALOG_BIN_DIR) + "/" + program;
    if (!std::filesystem::exists(binary)) continue;  // built only with Qt
    const std::string entry = applications + "/" + program + ".desktop";
    EXPECT_EQ(RunWithoutDisplay(binary + " /RegServer"), 0);
    std::ifstream in(entry);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("[Desktop Entry]"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"" + std::filesystem::canonical(binary).string() + "\""),
              std::string::npos)
        << text;
    EXPECT_EQ(RunWithoutDisplay(binary + " -unregserver"), 0);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_TRUE(std::filesystem::is_directory(applications));   // the folder stays
    EXPECT_EQ(RunWithoutDisplay(binary + " /UnregServer"), 0);  // nothing to remove is fine
  }
}

// Every program tells its version, and kestrune its usage, in a shell
// without a display: a program that made its application object first
// would end on the missing display instead.
TEST(ServerSwitches, VersionAndHelpNeedNoDisplay) {
  ScopedEnv display("DISPLAY", std::nullopt);
  ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
  ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
  for (const char* program :
       {"horalog", "horalog-reg", "horalog-handheld", "kestrune", "kestsweep"}) {
    if (!std::filesystem::exists(std::string(HORALOG_BIN_DIR) + "/" + program)) continue;
    const ToolRun run = RunTool(program, {"--version"});
    EXPECT_EQ(run.status, 0) << program << run.err;
    EXPECT_EQ(run.out, std::string(program) + " 1.3h\n");
  }
  if (!std::filesystem::exists(std::string(HORALOG_BIN_DIR) + "/kestrune")) return;
  for (const char* help : {"--help", "-h"}) {
    const ToolRun run = RunTool("kestrune", {help});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out.rfind("Usage: kestrune [--version | --help | /RegServer | /UnregServer]\n", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find(DesktopEntryPath("kestrune")), std::string::npos) << run.out;
  }
  // Anything more is not a question: the program would start its window.
  EXPECT_EQ(FindInfoSwitch({"kestrune", "--version", "x"}), InfoSwitch::None);
  EXPECT_EQ(FindInfoSwitch({"kestrune", "/RegServer"}), InfoSwitch::None);
}
