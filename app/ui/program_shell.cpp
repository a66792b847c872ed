// Start and end of both programs.
#include "app/ui/program_shell.h"

#include <QApplication>
#include <filesystem>
#include <iostream>
#include <vector>

#include "app/server_switches.h"
#include "app/ui/app_icon.h"
#include "documents/pdf/qt_pdf_renderer.h"
#include "platform/ui/qt_ui_services.h"
#include "platform/version.h"

int RunProgram(int argc, char** argv, const ProgramInfo& info,
               const std::function<int(QApplication&)>& runWindow) {
  const std::vector<std::string> arguments(argv, argv + argc);
  // Before the application object, which needs a display.
  switch (FindInfoSwitch(arguments)) {
    case InfoSwitch::Version: std::cout << info.program << ' ' << kHoralogVersion << '\n'; return 0;
    case InfoSwitch::Help: std::cout << ProgramHelp(info.program, info.comment); return 0;
    case InfoSwitch::None: break;
  }
  const ServerSwitch serverSwitch = FindServerSwitch(arguments);
  if (serverSwitch != ServerSwitch::None) {
    Status done = Status::Ok();
    if (serverSwitch == ServerSwitch::RegServer) {
      std::error_code ec;
      std::string executable = std::filesystem::read_symlink("/proc/self/exe", ec).string();
      if (ec) executable = std::filesystem::absolute(argv[0]).string();
      done = RegisterDesktopEntry(info.program, info.name, info.comment, executable);
    } else {
      done = UnregisterDesktopEntry(info.program);
    }
    if (!done.ok()) std::cerr << info.program << ": " << done.message() << '\n';
    return done.ok() ? 0 : 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(info.name);
  QApplication::setWindowIcon(HoralogIcon());
  QtUiServices services;
  SetUi(&services);
  QtPdfRenderer pdf;
  SetPdfRenderer(&pdf);
  const int result = runWindow(app);
  SetPdfRenderer(nullptr);
  SetUi(nullptr);
  return result;
}
