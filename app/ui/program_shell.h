// Start and end of both programs: the server switches, then the window.
#pragma once

#include <functional>
#include <string>

class QApplication;

struct ProgramInfo {
  const char* program;  // the executable's and the desktop entry's name: "kestrune"
  const char* name;     // shown in the desktop's menus: "Kestrune"
  const char* comment;  // one line on what it is for
};

// Handles /RegServer and /UnregServer (a desktop entry written or removed,
// no window; exit status 0, or 1 after saying why on standard error).
// Otherwise makes the application with the Qt user interface services and
// returns what runWindow returns.
int RunProgram(int argc, char** argv, const ProgramInfo& info,
               const std::function<int(QApplication&)>& runWindow);
