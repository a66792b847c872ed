// The RTF writer: escaping, file names in a real folder, table layouts, the
// editor started on the written file.
#include "documents/rtf_document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "documents/document_fixture.h"
#include "support/store_fixture.h"

using namespace document_test;

TEST(RtfEscape, UserTextBecomesSevenBitRtf) {
  const std::pair<std::string, std::string> cases[] = {
      {"Smith & Co", "Smith & Co"},
      {"a\\b{c}d", "a\\\\b\\{c\\}d"},
      {"caf\xC3\xA9", "caf\\u233?"},
      {"\xE2\x82\xAC"
       "5",
       "\\u8364?5"},                                // the euro sign, then a digit
      {"\xEF\xA3\xBF", "\\u-1793?"},                // U+F8FF: beyond 32767, negative
      {"\xF0\x9F\x98\x80", "\\u-10179?\\u-8704?"},  // U+1F600: a surrogate pair
      {"\xFF"
       "x",
       "\\u-3?x"},                             // not UTF-8: U+FFFD
      {"\xC3", "\\u-3?"},                      // a cut sequence
      {"\xED\xA0\x80", "\\u-3?\\u-3?\\u-3?"},  // an encoded surrogate
      {"a\tb", "a\\tab b"},
      {"one\r\ntwo\nthree\rfour", "one\\line two\\line three\\line four"},
      {std::string("nul\x01", 4), "nul\\'01"},
      {"", ""},
  };
  for (const auto& [text, rtf] : cases) EXPECT_EQ(RtfEscape(text), rtf) << text;
}

TEST(RtfDocument, FileNamesInTheReportFolder) {
  StoreFixture env;
  const std::string reports = env.dir.File("reports");
  ::mkdir(reports.c_str(), 0755);
  // A folder ending in "/" gets a second one, which the file system accepts.
  WriteSetupString("ReportPath", reports + "/");
  WriteSetupString("CurrencySymbol", "\xE2\x82\xAC");
  WriteFile(reports + "/Report030215.rtf", "first");
  WriteFile(reports + "/Report030215_1.rtf", "second");
  {
    RtfDocument document;
    ASSERT_TRUE(document.OpenFile("Report030215")) << document.error();
    EXPECT_EQ(document.filePath(), reports + "//Report030215_2.rtf");
    EXPECT_EQ(document.currencySymbol(), "\xE2\x82\xAC");
    EXPECT_TRUE(document.setupKeyOpened());
    document.WriteLine("text");
    ASSERT_TRUE(document.Close()) << document.error();
    EXPECT_EQ(ReadFile(document.filePath()), "text\r\n\\par }}\r\n");
  }
  EXPECT_EQ(ReadFile(reports + "/Report030215.rtf"), "first");
  EXPECT_EQ(ReadFile(reports + "/Report030215_1.rtf"), "second");

  // A link at a free name is taken as taken: the document never lands at
  // its target.
  ASSERT_EQ(::symlink(env.dir.File("target.rtf").c_str(), (reports + "/Inv.rtf").c_str()), 0);
  WriteSetupString("CurrencySymbol", "EUR$");  // 4 characters do not fit
  {
    RtfDocument document;
    ASSERT_TRUE(document.OpenFile("Inv"));
    EXPECT_EQ(document.filePath(), reports + "//Inv_1.rtf");
    EXPECT_EQ(document.currencySymbol(), "");
    EXPECT_TRUE(document.Close());
  }
  EXPECT_NE(::access(env.dir.File("target.rtf").c_str(), F_OK), 0);

  // An abandoned document leaves no file behind.
  {
    RtfDocument document;
    ASSERT_TRUE(document.OpenFile("Abandoned"));
    document.WriteLine("half");
  }
  EXPECT_NE(::access((reports + "/Abandoned.rtf").c_str(), F_OK), 0);

  // A missing folder ends the search at once, naming folder and reason.
  WriteSetupString("ReportPath", env.dir.File("nowhere"));
  RtfDocument lost;
  EXPECT_FALSE(lost.OpenFile("Report030215"));
  EXPECT_EQ(lost.error(), "The document could not be created in the folder " +
                              env.dir.File("nowhere") + "/: No such file or directory.");
  EXPECT_FALSE(lost.Close());
}

TEST(RtfDocument, TableLayoutsRowsAndCells) {
  struct Layout {
    std::vector<int> widths;
    std::vector<int> edges;
  };
  const Layout layouts[] = {
      {{75, 15, 15, 25}, {5400, 6480, 7560, 9360}},  {{16, 25, 64, 36}, {1152, 2952, 7560, 10152}},
      {{16, 40, 72, 12}, {1152, 4032, 9216, 10080}}, {{16, 40, 12}, {1152, 4032, 4896}},
      {{60, 15, 15, 20}, {4320, 5400, 6480, 7920}},  {{20, 25, 70, 15}, {1440, 3240, 8280, 9360}},
  };
  RtfDocument document;
  for (const Layout& layout : layouts) {
    document.ResetColumns();
    for (int width : layout.widths) document.AddColumn(width);
    ASSERT_EQ(document.columnCount(), static_cast<int>(layout.edges.size()));
    for (size_t i = 0; i < layout.edges.size(); ++i) {
      EXPECT_EQ(document.columnRight(static_cast<int>(i)), layout.edges[i]);
    }
  }
  EXPECT_EQ(document.text(), "");

  // The closing row definition of a three-column layout: one line for the
  // first column, two for the middle and the last.
  document.ResetColumns();
  for (int width : {16, 40, 12}) document.AddColumn(width);
  document.WriteClosingRowFormat();
  EXPECT_EQ(
      document.text(),
      "\\trowd \\trgaph68 \r\n"
      "\\clvertalt\\clbrdrt\\brdrs\\brdrw15\\clbrdrb\\brdrs\\brdrw15\\clbrdrl\\brdrth\\brdrw15"
      "\\cellx1152\r\n"
      "\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 \\clbrdrb\\brdrth\\brdrw15 "
      "\r\n\\cltxlrtb \\cellx4032\r\n"
      "\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 \\clbrdrb\\brdrth\\brdrw15 "
      "\\clbrdrr\\brdrth\\brdrw15 \r\n\\cltxlrtb \\cellx4896\r\n");

  // The fourth cell of four ends the row at once; the next cell starts a
  // new row without a new definition. Cell text is written unchanged.
  RtfDocument cells;
  cells.ResetColumns();
  for (int width : {75, 15, 15, 25}) cells.AddColumn(width);
  cells.WriteCell("Hours", true, false);
  EXPECT_EQ(cells.text(),
            "\\pard \\ql\\nowidctlpar\\intbl\\adjustright\\keepn\r\n{\\b \\fs24\\cgrid0 Hours\\b0 "
            "\\cell}\r\n");
  cells.WriteCell("a", false, true);
  cells.WriteCell("b", false, false);
  EXPECT_EQ(cells.cellsInRow(), 3);
  cells.WriteCell("{\\b x}", false, false);
  EXPECT_EQ(cells.cellsInRow(), 0);
  const std::string rowEnd = "{\\fs24\\cgrid0 {\\b x}\\cell}\r\n\\pard \\intbl \\row\r\n";
  ASSERT_GT(cells.text().size(), rowEnd.size());
  EXPECT_EQ(cells.text().substr(cells.text().size() - rowEnd.size()), rowEnd);

  // EndTable after 2 of 4 cells: the row end, then the closing paragraph in
  // the current size.
  cells.WriteCell("c", false, false);
  cells.WriteCell("d", false, false);
  cells.fontSize = 20;
  const size_t before = cells.text().size();
  cells.EndTable();
  EXPECT_EQ(cells.text().substr(before),
            "\\pard \\intbl \\row\r\n\\pard\\nowidctlpar {\\fs20\\cgrid0 } \\par \r\n");
  EXPECT_EQ(cells.cellsInRow(), 0);
}

TEST(RtfDocument, TheEditorOpensTheWrittenFile) {
  StoreFixture env;
  const std::string reports = env.dir.File("my reports");
  ::mkdir(reports.c_str(), 0755);
  WriteSetupString("ReportPath", reports);
  RecordingEditor editor(env.dir.path());
  WriteSetupString("EditorPath", editor.script());
  {
    RtfDocument document;
    ASSERT_TRUE(document.OpenFile("Report030215"));
    ASSERT_TRUE(document.CloseAndShow());
    // The path reaches the editor as one argument, blanks and all.
    EXPECT_EQ(editor.WaitForArguments(), reports + "/Report030215.rtf\n");
    EXPECT_EQ(document.editorError(), "");
  }

  // Without EditorPath the desktop's opener runs: here a stand-in on PATH.
  const std::string bin = env.dir.File("bin");
  ::mkdir(bin.c_str(), 0755);
  ASSERT_EQ(::symlink(editor.script().c_str(), (bin + "/xdg-open").c_str()), 0);
  ScopedEnv path("PATH", bin + ":/usr/bin:/bin");
  WriteSetupString("EditorPath", "");
  ::unlink(editor.argsPath().c_str());
  {
    RtfDocument document;
    ASSERT_TRUE(document.OpenFile("Report030215"));
    ASSERT_TRUE(document.CloseAndShow());
    EXPECT_EQ(editor.WaitForArguments(), reports + "/Report030215_1.rtf\n");
  }

  // An editor that cannot start is said so; the document stays written.
  WriteSetupString("EditorPath", env.dir.File("no-such-editor"));
  RtfDocument document;
  ASSERT_TRUE(document.OpenFile("Report030215"));
  EXPECT_TRUE(document.CloseAndShow());
  EXPECT_EQ(document.editorError(), "The document " + reports +
                                        "/Report030215_2.rtf was written, but the editor " +
                                        env.dir.File("no-such-editor") +
                                        " could not be started: No such file or directory.");
  EXPECT_EQ(ReadFile(document.filePath()), "\\par }}\r\n");
}
