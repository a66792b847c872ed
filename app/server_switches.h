// The server switches of both programs: "RegServer" and "UnregServer" after
// "-" or "/", at the very end of the command line. On Linux registering
// means a desktop entry for the program; neither switch ever shows a window.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

enum class ServerSwitch { None, RegServer, UnregServer };

// The whole command line, program path included, scanned for the next "-" or
// "/" whose remaining text equals "UnregServer" or "RegServer" (letter case
// ignored). "/RegServer extra" is no switch.
ServerSwitch FindServerSwitch(const std::vector<std::string>& arguments);

// --version or --help (also -h) as the only argument: the program prints
// its version or its usage and ends, without a window, so that a shell
// without a display can ask too.
enum class InfoSwitch { None, Version, Help };
InfoSwitch FindInfoSwitch(const std::vector<std::string>& arguments);

// The usage that --help prints: program and what it is for (comment).
std::string ProgramHelp(const std::string& program, const std::string& comment);

// The desktop entry of program in $XDG_DATA_HOME/applications.
std::string DesktopEntryPath(const std::string& program);

// Writes the desktop entry of program (its name, a comment, the program's
// full path); a failure (Status::kFailed) with the reason when it cannot be
// written.
Status RegisterDesktopEntry(const std::string& program, const std::string& name,
                            const std::string& comment, const std::string& executable);
// Removes the entry and leaves the folder; ok also when there was none.
Status UnregisterDesktopEntry(const std::string& program);
