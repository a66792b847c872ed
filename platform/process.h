// Starting another program beside this one: the editor that opens a written
// document.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

// Starts program with arguments, no shell in between: each argument reaches
// the program as one word, whatever blanks or quotes it holds. A program
// name without "/" is looked up in PATH. The program runs in a session of
// its own and nothing waits for it; it is reaped by a later call once it has
// ended. Ok when the program was started; otherwise a failure
// (Status::kFailed) with the system's reason (a missing or non-executable
// program is reported here, not left to fail unseen).
Status StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments);
