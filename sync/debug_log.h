// The synchronization's three-line debug log, dbgout.txt in the state folder
// ($XDG_STATE_HOME/horalog, default ~/.local/state/horalog).
#pragma once

#include <string>

std::string DebugLogPath();

// Writes text and a line end, emptying the file first when startNew is true.
// Failures are ignored: the log must never stop a synchronization.
void WriteDebugLog(const std::string& text, bool startNew);
