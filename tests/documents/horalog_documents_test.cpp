// "horalog report" and "horalog invoice", run as a script runs them.
#include <gtest/gtest.h>

#include <regex>

#include "documents/document_fixture.h"
#include "support/run_tool.h"

using namespace document_test;

namespace {

// horalog with args; lastLine is the last line of its standard output.
struct HoralogRun : ToolRun {
  std::string lastLine;
};

HoralogRun Horalog(const std::vector<std::string>& args) {
  HoralogRun run;
  static_cast<ToolRun&>(run) = RunTool("horalog", args);
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) run.lastLine = line;
  return run;
}

}  // namespace

TEST(HoralogDocuments, ReportAndInvoiceAsScriptsRunThem) {
  DocumentFixture env;
  // The dialog's setting (never saved: months) and its first period; the
  // editor opens the report; nothing marked.
  HoralogRun run = Horalog({"report", "pocket_pc"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(
      std::regex_match(run.lastLine, std::regex(env.reportPath() + "//Report\\d{6}\\.rtf")));
  EXPECT_NE(ReadFile(run.lastLine).find("Report for 2/1/03 - 2/28/03"), std::string::npos);
  EXPECT_EQ(env.editor.WaitForArguments(), run.lastLine + "\n");
  EXPECT_TRUE(InvoicedIds("Pocket_PC").empty());

  // Options are used and not saved; the handheld is updated, then the path.
  run = Horalog({"report", "Pocket_PC", "--period", "Half Month", "--range", "3/1/03 - 3/15/03",
                 "--set-invoiced", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Synchronization Completed\n"), std::string::npos) << run.out;
  EXPECT_NE(ReadFile(run.lastLine).find("Report for 3/1/03 - 3/15/03"), std::string::npos);
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{10, 11, 12, 13}));
  EXPECT_EQ(ReadSetupString("ReportPeriod"), "");
  run = Horalog({"report", "Pocket_PC", "--range", "1/1/99 - 1/31/99"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: no period 1/1/99 - 1/31/99\n");

  // The invoice of what the window would mark, after a missing folder.
  WriteSetupString("ReportPath", env.dir.File("missing"));
  run = Horalog({"invoice", "Pocket_PC", DocumentFixture::kObrien});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Horalog: The document could not be created in the folder " +
                         env.dir.File("missing") +
                         "/: No such file or directory.\n\nNothing was marked invoiced.\n");
  EXPECT_EQ(run.out, "");
  WriteSetupString("ReportPath", env.reportPath());
  run = Horalog({"invoice", "Pocket_PC", "Smith Co/West", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.lastLine,
                               std::regex(env.reportPath() + "/HLRepSmith_Co_West\\d{6}\\.rtf")));
  EXPECT_EQ(InvoicedIds("Pocket_PC"), (std::vector<int32_t>{12, 1, 2, 6, 3, 4, 5, 7, 8, 9}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{10, 11, 13}));
}
