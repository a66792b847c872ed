// The PDF writer's page layout, read back with poppler's tools.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>

#include "documents/document.h"
#include "documents/pdf/qt_pdf_renderer.h"
#include "support/pdf_text.h"
#include "support/test_env.h"

namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// An account's details: rows data rows, each with hours, then its total.
Document Details(int rows, const std::vector<std::string>& hours) {
  Table table;
  table.widths = {16, 25, 64, 36};
  table.heading.cells = {Cell("Date"), Cell("Item"), Cell("Notes"), Cell("Hours")};
  table.headingHalfPoints = table.bodyHalfPoints = 20;
  for (int row = 1; row <= rows; ++row) {
    const std::string n = std::to_string(row);
    table.rows.push_back(
        {{Cell("3/" + n + "/03"), Cell("Row" + n + "x"), Cell("a note"),
          Cell(hours[static_cast<size_t>(row - 1) % hours.size()], false, TextAlign::Decimal)}});
  }
  table.rows.push_back({{Cell("", true), Cell("Account Total", true), Cell("", true),
                         Cell("9 2/3", true, TextAlign::Decimal)}});
  Document document;
  document.title = "Layout";
  document.blocks.push_back(table);
  return document;
}

std::string Render(const Document& document, const std::string& path) {
  std::string pdf;
  QtPdfRenderer renderer;
  const Status rendered = renderer.Render(document, PaperSize::A4, &pdf);
  EXPECT_TRUE(rendered.ok()) << rendered.message();
  std::ofstream(path, std::ios::binary) << pdf;
  return path;
}

}  // namespace

// The table grows a row at a time until it needs a second page: that first
// break falls just before the account's total, which takes the last row
// along under the repeated heading instead of standing there alone.
TEST(PdfLayout, ATotalNeverStartsAPageAlone) {
  TempDir dir;
  const std::string pdf = dir.File("details.pdf");
  int rows = 20;
  for (; rows < 120 && PdfPages(Render(Details(rows, {"1.5"}), pdf)) < 2; ++rows) {
  }
  ASSERT_EQ(PdfPages(pdf), 2) << rows;
  const std::string second = PdfText(pdf, 2);
  EXPECT_NE(second.find("Date Item Notes Hours"), std::string::npos) << second;
  EXPECT_EQ(Count(second, "Row"), 1u) << second;
  EXPECT_NE(second.find("Row" + std::to_string(rows) + "x"), std::string::npos) << second;
  EXPECT_NE(second.find("Account Total"), std::string::npos) << second;
  EXPECT_EQ(Count(PdfText(pdf, 1), "Row"), static_cast<size_t>(rows - 1));
}

// Hours written as fractions end where the column's decimal hours end; the
// decimal hours line up on their point.
TEST(PdfLayout, FractionsEndWhereTheDecimalHoursEnd) {
  TempDir dir;
  const std::string pdf =
      Render(Details(4, {"2.5", "1 2/3", "10.25", "3 0/3"}), dir.File("hours.pdf"));
  // Each word's right edge, as poppler places it.
  const std::string boxes = Poppler("pdftotext -bbox " + Quoted(pdf) + " -");
  std::map<std::string, double> left, right;
  const std::regex word(
      "<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\" "
      "yMax=\"[0-9.]+\">([^<]+)</word>");
  for (std::sregex_iterator at(boxes.begin(), boxes.end(), word), end; at != end; ++at) {
    left[(*at)[3]] = std::stod((*at)[1]);
    right[(*at)[3]] = std::stod((*at)[2]);
  }
  ASSERT_TRUE(right.count("10.25") && right.count("2/3") && right.count("0/3") &&
              right.count("2.5"))
      << boxes;
  // The table's glyphs stand on whole dots of 1/1200 inch (0.06 point).
  for (const char* text : {"10.25", "2/3", "2.5", "Row1x", "3/1/03"}) {
    const double x = left.at(text);
    EXPECT_NEAR(x / 0.06, std::round(x / 0.06), 0.01) << text;
  }
  for (const char* fraction : {"2/3", "0/3"}) {
    EXPECT_NEAR(right[fraction], right["10.25"], 0.5) << fraction;
  }
  // "2.5" stops one digit short of "10.25": their points are in line.
  EXPECT_LT(right["2.5"], right["10.25"] - 2);
}
