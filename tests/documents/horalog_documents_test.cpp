// "horalog report" and "horalog invoice", run as a script runs them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <regex>

#include "documents/document_fixture.h"

extern char** environ;

using namespace document_test;

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  std::string lastLine;  // of standard output
};

ToolRun Horalog(const TempDir& dir, std::vector<std::string> args) {
  const std::string outFile = dir.File("tool.out"), errFile = dir.File("tool.err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  args.insert(args.begin(), HORALOG_BIN_DIR "/horalog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ToolRun run;
  pid_t pid = 0;
  int wstatus = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
      waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    run.status = WEXITSTATUS(wstatus);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(outFile);
  run.err = ReadFile(errFile);
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) run.lastLine = line;
  return run;
}

}  // namespace

TEST(HoralogDocuments, ReportAndInvoiceAsScriptsRunThem) {
  DocumentFixture env;
  // The dialog's setting (never saved: months) and its first period; the
  // editor opens the report; nothing marked.
  ToolRun run = Horalog(env.dir, {"report", "pocket_pc"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(
      std::regex_match(run.lastLine, std::regex(env.reportPath() + "//Report\\d{6}\\.rtf")));
  EXPECT_NE(ReadFile(run.lastLine).find("Report for 2/1/03 - 2/28/03"), std::string::npos);
  EXPECT_EQ(env.editor.WaitForArguments(), run.lastLine + "\n");
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());

  // Options are used and not saved; the handheld is updated, then the path.
  run = Horalog(env.dir, {"report", "Pocket_PC", "--period", "Half Month", "--range",
                          "3/1/03 - 3/15/03", "--set-invoiced", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Synchronization Completed\n"), std::string::npos) << run.out;
  EXPECT_NE(ReadFile(run.lastLine).find("Report for 3/1/03 - 3/15/03"), std::string::npos);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{10, 11, 12, 13}));
  EXPECT_EQ(ReadSetupString("ReportPeriod"), "");
  run = Horalog(env.dir, {"report", "Pocket_PC", "--range", "1/1/99 - 1/31/99"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: no period 1/1/99 - 1/31/99\n");

  // The invoice of what the window would mark, after a missing folder.
  WriteSetupString("ReportPath", env.dir.File("missing"));
  run = Horalog(env.dir, {"invoice", "Pocket_PC", DocumentFixture::kObrien});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Horalog: The document could not be created in the folder " +
                         env.dir.File("missing") +
                         "/: No such file or directory.\n\nNothing was marked invoiced.\n");
  EXPECT_EQ(run.out, "");
  WriteSetupString("ReportPath", env.reportPath());
  run = Horalog(env.dir, {"invoice", "Pocket_PC", "Smith Co/West", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.lastLine,
                               std::regex(env.reportPath() + "/HLRepSmith_Co_West\\d{6}\\.rtf")));
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{12, 1, 2, 6, 3, 4, 5, 7, 8, 9}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{10, 11, 13}));
}
