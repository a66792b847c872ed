// Runs one of the built programs as a user's shell would, and keeps what it
// printed and its exit status.
#pragma once

#include <string>
#include <vector>

struct ToolRun {
  int status = -1;  // exit status; 128 + signal when killed; -1 when it did not start
  std::string out;
  std::string err;
};

// Runs HORALOG_BIN_DIR/program (program itself when it is an absolute path) with args in the
// current environment, with standard input from input, in folder workDir (the current one when
// empty).
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                const std::string& input = "/dev/null", const std::string& workDir = "");
