// "horalog report" and "horalog invoice": the documents without a window,
// run as a script runs them.
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
  // The last line of standard output.
  std::string LastLine() const {
    const size_t end = out.size() > 0 && out.back() == '\n' ? out.size() - 1 : out.size();
    const size_t start = out.rfind('\n', end == 0 ? 0 : end - 1);
    return out.substr(start == std::string::npos || end == 0 ? 0 : start + 1,
                      end - (start == std::string::npos || end == 0 ? 0 : start + 1));
  }
};

ToolRun Horalog(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string outFile = dir.File("tool.out"), errFile = dir.File("tool.err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  const std::string tool = HORALOG_BIN_DIR "/horalog";
  std::vector<char*> argv{const_cast<char*>(tool.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ToolRun run;
  pid_t pid = 0;
  int wstatus = 0;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) == 0 &&
      waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    run.status = WEXITSTATUS(wstatus);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(outFile);
  run.err = ReadFile(errFile);
  return run;
}

}  // namespace

TEST(HoralogDocuments, ReportWithAndWithoutOptions) {
  DocumentFixture env;
  const std::string folder = env.reportPath() + "//";
  // Without options: the dialog's setting (never saved: months) and its
  // first period; nothing marked; the editor opens the report.
  ToolRun run = Horalog(env.dir, {"report", "pocket_pc"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.LastLine(), std::regex(folder + "Report\\d{6}\\.rtf")))
      << run.out;
  std::string text = ReadFile(run.LastLine());
  ExpectRtfStructure(text, DocumentKind::Report);
  EXPECT_NE(text.find("Horalog Report for 2/1/03 - 2/28/03"), std::string::npos);
  EXPECT_EQ(env.editor.WaitForArguments(), run.LastLine() + "\n");
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());

  // Options are used, not saved; the handheld is updated before the path
  // is printed.
  run = Horalog(env.dir, {"report", "Pocket_PC", "--period", "Half Month", "--start-date1", "1",
                          "--start-date2", "16", "--range", "3/1/03 - 3/15/03", "--set-invoiced",
                          "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Synchronization Completed\n"), std::string::npos) << run.out;
  EXPECT_NE(ReadFile(run.LastLine()).find("Horalog Report for 3/1/03 - 3/15/03"),
            std::string::npos);
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 2, 6, 3, 4, 5, 7, 8, 9}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{10, 11, 12, 13}));
  EXPECT_EQ(ReadSetupString("ReportPeriod"), "");

  // No document: exit 1, the reason on standard error.
  const size_t files = FilesIn(env.reportPath()).size();
  run = Horalog(env.dir, {"report", "Pocket_PC", "--range", "1/1/99 - 1/31/99"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: no period 1/1/99 - 1/31/99\n");
  run = Horalog(env.dir, {"report", "Pocket_PC", "--period", "Half Month", "--start-date1", "20"});
  EXPECT_EQ(run.status, 1);
  run = Horalog(env.dir, {"report", "Nobody"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: no handheld named Nobody\n");
  EXPECT_EQ(FilesIn(env.reportPath()).size(), files);
}

TEST(HoralogDocuments, InvoiceBillsTheWindowsSelection) {
  DocumentFixture env;
  // A report folder that is missing: exit 1, nothing marked.
  WriteSetupString("ReportPath", env.dir.File("missing"));
  ToolRun run = Horalog(env.dir, {"invoice", "Pocket_PC", DocumentFixture::kObrien, "--no-open"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Horalog: The document could not be created in the folder " +
                         env.dir.File("missing") +
                         "/: No such file or directory.\n\nNothing was marked invoiced.\n");
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());

  WriteSetupString("ReportPath", env.reportPath());
  SetAccountString(DocumentFixture::kObrien, "Period", "One Month");
  run = Horalog(env.dir, {"invoice", "Pocket_PC", DocumentFixture::kObrien, "Design", "--range",
                          "3/1/03 - 3/31/03", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::regex_match(
      run.LastLine(), std::regex(env.reportPath() + "/HLRepO`Brien_&_\\{Sons\\}\\d{6}\\.rtf")))
      << run.out;
  ExpectRtfStructure(ReadFile(run.LastLine()), DocumentKind::Invoice);
  // Design of March only; the April record stays.
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{1, 4}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_FALSE(env.editor.Started());

  run = Horalog(env.dir, {"invoice", "Pocket_PC", "Nobody & Co"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: no account named Nobody & Co on Pocket_PC\n");
}
