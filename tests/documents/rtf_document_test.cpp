// The RTF writer: escaping, file names in a real folder, rows and cells, the
// editor started on the written file.
#include "documents/rtf_document.h"

#include <gtest/gtest.h>

#include "documents/document_fixture.h"

using namespace document_test;

TEST(RtfEscape, UserTextBecomesSevenBitRtf) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\\b{c}d & e", "a\\\\b\\{c\\}d & e"},
      {"caf\xC3\xA9", "caf\\u233?"},
      {"\xE2\x82\xAC"
       "5",
       "\\u8364?5"},                                // a digit after the fallback "?"
      {"\xEF\xA3\xBF", "\\u-1793?"},                // U+F8FF: above 32767, negative
      {"\xF0\x9F\x98\x80", "\\u-10179?\\u-8704?"},  // U+1F600: a surrogate pair
      {"\xFF\xC3", "\\u-3?\\u-3?"},                 // not UTF-8, a cut sequence: U+FFFD
      {"a\tb\r\nc\nd\x01", "a\\tab b\\line c\\line d\\'01"},
  };
  for (const auto& [text, rtf] : cases) EXPECT_EQ(RtfEscape(text), rtf) << text;
}

TEST(RtfDocument, FileNamesInTheReportFolder) {
  StoreFixture env;
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports + "/");  // its slash joins the name
  WriteSetupString("CurrencySymbol", "\xE2\x82\xAC");
  WriteFile(reports + "/R.rtf", "first");
  WriteFile(reports + "/R_1.rtf", "second");
  // A dangling link at a free name counts as taken: nothing lands at its target.
  ASSERT_EQ(::symlink(env.dir.File("target").c_str(), (reports + "/R_2.rtf").c_str()), 0);
  RtfDocument document;
  const Status opened = document.OpenFile("R");
  ASSERT_TRUE(opened.ok()) << opened.message();
  EXPECT_EQ(document.filePath(), reports + "/R_3.rtf");
  EXPECT_EQ(document.currencySymbol(), "\xE2\x82\xAC");
  document.WriteLine("text");
  ASSERT_TRUE(document.Close().ok());
  EXPECT_EQ(ReadFile(reports + "/R_3.rtf"), "text\r\n\\par }}\r\n");
  EXPECT_EQ(ReadFile(reports + "/R.rtf") + ReadFile(reports + "/R_1.rtf"), "firstsecond");
  EXPECT_FALSE(std::filesystem::exists(env.dir.File("target")));

  WriteSetupString("CurrencySymbol", "EUR$");  // 4 characters do not fit
  {
    RtfDocument abandoned;
    ASSERT_TRUE(abandoned.OpenFile("A").ok());
    EXPECT_EQ(abandoned.currencySymbol(), "");
  }
  EXPECT_FALSE(std::filesystem::exists(reports + "/A.rtf"));  // no half-written file

  WriteSetupString("ReportPath", env.dir.File("nowhere"));
  RtfDocument lost;
  const Status missing = lost.OpenFile("R");  // the search ends at once
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.message(), "The document could not be created in the folder " +
                                   env.dir.File("nowhere") + "/: No such file or directory.");
}

TEST(RtfDocument, RowsEndAfterTheLastCellAndTablesEndUnfinishedRows) {
  RtfDocument document;
  for (int width : {75, 15, 15, 25}) document.AddColumn(width);
  EXPECT_EQ(document.columnRight(3), 9360);
  document.WriteCell("Hours", true, false);
  EXPECT_EQ(document.text(),
            "\\pard \\ql\\nowidctlpar\\intbl\\adjustright\\keepn\r\n"
            "{\\b \\fs24\\cgrid0 Hours\\b0 \\cell}\r\n");
  for (const char* text : {"a", "b", "{\\b x}"}) document.WriteCell(text, false, true);
  EXPECT_EQ(document.cellsInRow(), 0);
  const std::string row = "{\\fs24\\cgrid0 {\\b x}\\cell}\r\n\\pard \\intbl \\row\r\n";
  EXPECT_EQ(document.text().substr(document.text().size() - row.size()), row);

  document.WriteCell("c", false, false);
  document.WriteCell("d", false, false);
  document.fontSize = 20;
  const size_t before = document.text().size();
  document.EndTable();
  EXPECT_EQ(document.text().substr(before),
            "\\pard \\intbl \\row\r\n\\pard\\nowidctlpar {\\fs20\\cgrid0 } \\par \r\n");
}

TEST(RtfDocument, TheEditorOpensTheWrittenFile) {
  StoreFixture env;
  const std::string reports = env.dir.File("my reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  RecordingEditor editor(env.dir.path());
  WriteSetupString("EditorPath", editor.script());
  RtfDocument first;
  ASSERT_TRUE(first.OpenFile("R").ok());
  ASSERT_TRUE(first.Close().ok());
  ASSERT_TRUE(first.ShowInEditor().ok());
  EXPECT_EQ(editor.WaitForArguments(), reports + "/R.rtf\n");  // one argument, blank and all

  // Without EditorPath the desktop's opener runs: here a stand-in on PATH.
  ::mkdir(env.dir.File("bin").c_str(), 0755);
  ASSERT_EQ(::symlink(editor.script().c_str(), env.dir.File("bin/xdg-open").c_str()), 0);
  ScopedEnv path("PATH", env.dir.File("bin") + ":/usr/bin:/bin");
  WriteSetupString("EditorPath", "");
  ::unlink(editor.argsPath().c_str());
  RtfDocument second;
  ASSERT_TRUE(second.OpenFile("R").ok());
  ASSERT_TRUE(second.Close().ok());
  ASSERT_TRUE(second.ShowInEditor().ok());
  EXPECT_EQ(editor.WaitForArguments(), reports + "/R_1.rtf\n");

  // An editor that cannot start is said so; the document stays written. A
  // folder given with its slash is joined to the name with that one.
  WriteSetupString("EditorPath", env.dir.File("none"));
  WriteSetupString("ReportPath", reports + "/");
  RtfDocument third;
  ASSERT_TRUE(third.OpenFile("R").ok());
  EXPECT_TRUE(third.Close().ok());
  const Status started = third.ShowInEditor();
  EXPECT_FALSE(started.ok());
  EXPECT_EQ(started.message(), "The document " + reports + "/R_2.rtf was written, but the " +
                                   "editor " + env.dir.File("none") +
                                   " could not be started: No such file or directory.");
}
