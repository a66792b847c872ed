// The help page, opened in the desktop's browser at the section of a window.
#pragma once

#include <string>

// Help contexts of the windows.
constexpr int kHelpMaintenance = 1;
constexpr int kHelpMainWindow = 4;
constexpr int kHelpSetup = 5;
constexpr int kHelpAccountPrefs = 6;
constexpr int kHelpDetails = 7;

// The installed help page: HORALOG_HELP when set, else
// <program folder>/../share/horalog/help/horalog.html, else the page of the
// source tree the program was built from. "" when none exists.
std::string HelpPagePath();

// The address of the page at the section of context ("...#context-4").
std::string HelpAddress(int context);

// Opens the help page at context in the desktop's browser; false (after
// saying so in a message box) when there is no page or nothing opens it.
bool ShowHelp(int context);
