// "horalog report" and "horalog invoice", run as a script runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <regex>

#include "documents/document_fixture.h"
#include "documents/pdf_renderer.h"
#include "store/statements.h"
#include "support/pdf_text.h"
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
  EXPECT_TRUE(std::regex_match(run.lastLine, std::regex(env.reportPath() + "/Report\\d{6}\\.rtf")));
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

#ifdef HORALOG_TOOL_WRITES_PDF
namespace {

std::string WithoutBlanks(std::string text) {
  std::erase_if(text, [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\f'; });
  return text;
}

// Text without its characters beyond U+FFFF: the emoji, which no font of
// the PDF draws (Qt 6.4 takes no fallback font for them).
std::string WithinBmp(std::string text) {
  for (size_t at; (at = text.find_first_of("\xF0\xF1\xF2\xF3\xF4")) != std::string::npos;) {
    text.erase(at, 4);
  }
  return text;
}

void AppendUtf8(std::string* out, uint32_t code) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// RTF as the text a reader shows: escapes decoded, \uN? as UTF-8 (pairs
// joined), \par and \line as line ends, other control words and braces gone.
std::string RtfToText(const std::string& rtf) {
  std::string out;
  uint32_t high = 0;
  for (size_t i = 0; i < rtf.size(); ++i) {
    const char c = rtf[i];
    if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
    if (c != '\\' || i + 1 >= rtf.size()) {
      out += c;
      continue;
    }
    const char next = rtf[i + 1];
    if (next == '\\' || next == '{' || next == '}') {
      out += next;
      ++i;
      continue;
    }
    if (next == '\'') {
      out += static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
      i += 3;
      continue;
    }
    size_t end = i + 1;
    while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) ++end;
    const std::string word = rtf.substr(i + 1, end - i - 1);
    size_t digits = end;
    if (digits < rtf.size() && rtf[digits] == '-') ++digits;
    while (digits < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[digits]))) ++digits;
    const int number = digits > end ? std::stoi(rtf.substr(end, digits - end)) : 0;
    if (digits < rtf.size() && rtf[digits] == ' ') ++digits;
    if (word == "u") {
      const uint32_t unit = static_cast<uint32_t>(number < 0 ? number + 0x10000 : number);
      if (digits < rtf.size() && rtf[digits] == '?') ++digits;
      if (unit >= 0xD800 && unit < 0xDC00) {
        high = unit;
      } else if (unit >= 0xDC00 && unit < 0xE000) {
        AppendUtf8(&out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      } else {
        AppendUtf8(&out, unit);
      }
    } else if (word == "par" || word == "line") {
      out += '\n';
    } else if (word == "tab") {
      out += '\t';
    }
    i = digits - 1;
  }
  return out;
}

// Every text of the RTF's cells and account headings: the names, hours,
// rates, amounts and totals a reader of it sees.
std::vector<std::string> RtfCellTexts(const std::string& rtf) {
  std::vector<std::string> texts;
  const auto collect = [&](const std::string& open, const std::string& close) {
    for (size_t at = rtf.find(open); at != std::string::npos; at = rtf.find(open, at + 1)) {
      const size_t start = at + open.size();
      std::istringstream lines(RtfToText(rtf.substr(start, rtf.find(close, start) - start)));
      for (std::string line; std::getline(lines, line);) {
        if (!WithoutBlanks(line).empty()) texts.push_back(line);
      }
    }
  };
  collect("\\cgrid0 ", "\\cell}");
  collect("\\pard {\\fs24 \\b ", " \\b0}");
  return texts;
}

// A note of 255 characters: words of RTF's special characters and letters
// beyond ASCII.
std::u16string LongNote(char16_t first) {
  std::u16string note;
  for (char16_t c = first; note.size() < 255; ++c) {
    note += c;
    if (note.size() % 9 == 0) note += u" {\\}";
  }
  note.resize(255);
  return note;
}

}  // namespace

TEST(HoralogPdf, EveryTextOfTheRtfIsInThePdfBesideIt) {
  DocumentFixture env;
  // Hostile notes of 255 characters: Greek and Cyrillic words with braces
  // and backslashes, and one word that has to break anywhere.
  env.image.PutRecord(14, PackDate(2003, 3, 14), 1, 10, LongNote(u'\u03B1')).ok();
  env.image.AddSpan(14, 9 * 3600, 30).ok();
  env.image.PutRecord(15, PackDate(2003, 3, 14), 1, 10, std::u16string(255, u'\u0416')).ok();
  env.image.AddSpan(15, 10 * 3600, 30).ok();
  env.Synchronize(false);

  const std::vector<std::vector<std::string>> runs = {
      {"report", "Pocket_PC", "--period", "One Month", "--range", "3/1/03 - 3/31/03"},
      {"invoice", "Pocket_PC", DocumentFixture::kObrien}};
  for (std::vector<std::string> args : runs) {
    args.insert(args.end(), {"--no-open", "--pdf"});
    const HoralogRun run = Horalog(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string rtf = run.lastLine;
    const std::string pdf = rtf.substr(0, rtf.size() - 4) + ".pdf";
    EXPECT_NE(run.out.find(pdf + "\n" + rtf + "\n"), std::string::npos) << run.out;

    const std::string text = WithoutBlanks(PdfText(pdf));
    const std::vector<std::string> expected = RtfCellTexts(ReadFile(rtf));
    EXPECT_GT(expected.size(), 40u);
    for (const std::string& cell : expected) {
      EXPECT_NE(text.find(WithoutBlanks(WithinBmp(cell))), std::string::npos)
          << args[0] << ": " << cell;
    }
    // Fonts travel with the file; the paper of en_US; numbered pages.
    const std::string fonts = Poppler("pdffonts " + Quoted(pdf));
    std::istringstream fontLines(fonts);
    int embedded = 0;
    for (std::string line; std::getline(fontLines, line);) {
      std::istringstream words(line);
      std::vector<std::string> columns{std::istream_iterator<std::string>(words), {}};
      if (columns.size() >= 7 && columns[0] != "name" && columns[0][0] != '-') {
        EXPECT_EQ(columns[columns.size() - 5], "yes") << line;  // the emb column
        ++embedded;
      }
    }
    EXPECT_GE(embedded, 2) << fonts;
    const std::string info = Poppler("pdfinfo " + Quoted(pdf));
    EXPECT_NE(info.find("(letter)"), std::string::npos) << info;
    const int pages = std::stoi(info.substr(info.find("Pages:") + 6));
    EXPECT_GE(pages, 2);
    for (int page = 1; page <= pages; ++page) {
      EXPECT_NE(
          PdfText(pdf, page).find("Page " + std::to_string(page) + " of " + std::to_string(pages)),
          std::string::npos);
    }
  }
}
TEST(HoralogPdf, TheSetupOptionDecidesUnlessTheCommandLineSaysAndThePaperFollowsTheLocale) {
  DocumentFixture env;
  struct Case {
    int setting;  // SavePdf, -1 for none stored
    std::vector<std::string> flags;
    bool pdf;
  };
  const Case cases[] = {{-1, {}, true},
                        {0, {}, false},
                        {0, {"--pdf"}, true},
                        {1, {"--no-pdf"}, false},
                        {1, {}, true}};
  std::string first;
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    if (c.setting >= 0) SetDword("", "", "SavePdf", static_cast<uint32_t>(c.setting));
    // A PDF already at the next name moves the document on to a free pair.
    const std::string stale = k == 4 ? first.substr(0, first.size() - 4) + "_4.pdf" : "";
    if (!stale.empty()) WriteFile(stale, "mine");
    std::vector<std::string> args = {"report", "Pocket_PC", "--no-open"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const HoralogRun run = Horalog(args);
    ASSERT_EQ(run.status, 0) << run.err;
    if (k == 0) first = run.lastLine;
    EXPECT_EQ(std::filesystem::exists(PdfPathBeside(run.lastLine)), c.pdf) << k;
    EXPECT_EQ(run.out.find(".pdf\n") != std::string::npos, c.pdf) << k;
    if (!stale.empty()) {
      EXPECT_EQ(run.lastLine, first.substr(0, first.size() - 4) + "_5.rtf");
      EXPECT_EQ(ReadFile(stale), "mine");
    }
  }
  EXPECT_NE(Horalog({"report", "Pocket_PC", "--pdf", "--no-pdf"}).status, 0);
  // An editor that cannot start: the message also names the PDF written.
  WriteSetupString("EditorPath", env.dir.File("none"));
  HoralogRun opened = Horalog({"report", "Pocket_PC", "--pdf"});
  ASSERT_EQ(opened.status, 0) << opened.err;
  EXPECT_EQ(opened.err, "Horalog: The document " + opened.lastLine +
                            " was written, but the editor " + env.dir.File("none") +
                            " could not be started: No such file or directory.  Its PDF was "
                            "written as " +
                            PdfPathBeside(opened.lastLine) + ".\n");

  ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  const HoralogRun run = Horalog({"invoice", "Pocket_PC", "Delta", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(Poppler("pdfinfo " + Quoted(PdfPathBeside(run.lastLine))).find("(A4)"),
            std::string::npos);
}

TEST(HoralogPdf, AFullDiskCostsThePdfOnlyNotTheDocumentNorItsMarks) {
  DocumentFixture env;
  // Notes of many different letters make the PDF's fonts, and so the PDF,
  // larger than the RTF, the store and the registry.
  int32_t id = 14;
  for (char16_t first : {u'\u0100', u'\u0180', u'\u0400', u'\u0531', u'\u0391', u'\u10A0'}) {
    env.image.PutRecord(id, PackDate(2003, 3, 20), 1, 10, LongNote(first)).ok();
    env.image.AddSpan(id++, 9 * 3600, 30).ok();
  }
  env.Synchronize(false);
  const std::vector<std::string> args = {"report",           "Pocket_PC", "--range",
                                         "3/1/03 - 3/31/03", "--no-open", "--pdf"};
  const HoralogRun whole = Horalog(args);
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::string store = env.dataPath() + "/Pocket_PC.mdb";
  const auto size = [](const std::string& path) { return std::filesystem::file_size(path); };
  const uintmax_t limit =
      std::max({size(whole.lastLine), size(store), size(env.registryPath())}) + 32 * 1024;
  ASSERT_LT(limit, size(PdfPathBeside(whole.lastLine)));

  std::vector<std::string> marking = args;
  marking.push_back("--set-invoiced");
  HoralogRun run;
  {
    ScopedFileSizeLimit full(limit);
    run = Horalog(marking);
  }
  EXPECT_EQ(run.status, 3) << run.err;
  const std::string pdf = PdfPathBeside(run.lastLine);
  EXPECT_NE(run.err.find("Horalog: The PDF " + pdf + " could not be written: File too large.\n\n" +
                         "The document " + run.lastLine + " is complete.\n"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(pdf));
  EXPECT_EQ(ReadFile(run.lastLine), ReadFile(whole.lastLine));  // complete, byte for byte
  EXPECT_EQ(InvoicedIds("Pocket_PC"),
            (std::vector<int32_t>{1, 2, 6, 3, 4, 5, 7, 8, 9, 14, 15, 16, 17, 18, 19, 10}));
  EXPECT_EQ(env.HandheldRecordIds(), (std::vector<int32_t>{11, 12, 13}));
}

TEST(HoralogPdf, LongTablesRepeatTheirHeadingOnEveryPageAndKeepEachRowOnOnePage) {
  StoreFixture env;
  WriteSetupString("ReportPath", env.dir.path());
  std::vector<StoreStatement> statements = {InsertAccountStatement(1, "Acme"),
                                            InsertItemStatement(10, 1, "Work")};
  const int records = 150;
  for (int id = 1; id <= records; ++id) {
    const std::string n = std::to_string(id);
    statements.push_back(InsertTimeRecordStatement(
        id, PackDate(2003, 3, 1 + id % 31), 1, 10,
        "Start" + n + "x of a note long enough to wrap over two lines of its cell End" + n + "x"));
    statements.push_back(InsertSpanStatement(id, 3600 * (8 + id % 5), 25));
  }
  env.Run(env.CreateStore("Long"), statements);
  const HoralogRun run = Horalog({"report", "Long", "--no-open", "--pdf"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string pdf = PdfPathBeside(run.lastLine);
  const int pages = PdfPages(pdf);
  EXPECT_GE(pages, 6);
  size_t rows = 0;
  for (int page = 1; page <= pages; ++page) {
    const std::string text = WithoutBlanks(PdfText(pdf, page));
    if (Count(text, "Start") > 0) {
      EXPECT_TRUE(text.find("DateItemNotesTimes") != std::string::npos ||
                  text.find("DateAccount/ItemNotesHours") != std::string::npos)
          << "page " << page;
    }
    for (int id = 1; id <= records; ++id) {
      const std::string n = std::to_string(id);
      EXPECT_EQ(Count(text, "Start" + n + "x"), Count(text, "End" + n + "x"))
          << "record " << id << " on page " << page;
    }
    rows += Count(text, "Start");
  }
  EXPECT_EQ(rows, 2u * records);  // the details and the daily table
}
#endif
