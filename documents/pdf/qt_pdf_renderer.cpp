// The documents as PDF, laid out with Qt's PDF writer.
#include "documents/pdf/qt_pdf_renderer.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Device units per inch: QPdfWriter's own. Qt shares a font engine among
// all devices that ask for the same family at the same pixel size, and the
// first one to ask sets it up for its resolution: at 72 units an inch the
// PDF's 12-point text is the 12 pixels of a 9-point screen font, and the
// windows then drew their texts with the PDF's engine (a Help menu cut to
// "About ...une..." after a document). At 1200 the sizes never meet.
constexpr int kResolution = 1200;
constexpr qreal kPoint = kResolution / 72.0;

struct TextOp {
  QPointF baseline;
  int font;
  QString text;
  bool grey = false;
  bool simple = false;  // drawn from the font's own glyphs, without shaping
};
struct LineOp {
  QLineF line;
  qreal width;  // in points
};
struct FillOp {
  QRectF rect;
  QColor color;
};
struct Page {
  std::vector<FillOp> fills;
  std::vector<TextOp> texts;
  std::vector<LineOp> lines;
};

// One line of a cell, with its advance and, for the decimal point, the
// advance of what stands before its last ".". Hours written as a fraction
// ("1 2/3") have no point to line up on: they end where the column's
// numbers end, as the decimal hours beside them do.
struct CellLine {
  QString text;
  qreal width = 0;
  qreal whole = 0;
  bool fraction = false;
};
struct CellBox {
  std::vector<CellLine> lines;
  int font = 0;
  TextAlign align = TextAlign::Left;
};

// A table's cells keep this much room from their rules; the rules are
// thin between rows and columns, medium under the heading and above the
// closing row, thick around each page's part of the table (in points).
constexpr qreal kCellPadX = 4 * kPoint, kCellPadY = 2.5 * kPoint;
constexpr qreal kThinRule = 0.4, kMediumRule = 0.8, kThickRule = 1.4;

// A table laid out: every row as boxes of measured lines (the heading
// first), each column's width and the width of the widest decimal places
// in it, each row's height, and the width of the whole.
struct TableGrid {
  std::vector<std::vector<CellBox>> rows;
  std::vector<qreal> width, fraction, heights;
  qreal total = 0;
};

// Text as the page shows it: tabs and other control characters as blanks,
// one entry per line of the text.
QStringList DisplayLines(const std::string& text) {
  QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  for (QChar& c : value) {
    if (c == QLatin1Char('\r')) c = QLatin1Char('\n');
    if (c.unicode() < 0x20 && c != QLatin1Char('\n')) c = QLatin1Char(' ');
  }
  return value.split(QLatin1Char('\n'));
}

// Text whose glyphs may be placed one after the other without shaping: no
// combining marks, no script from Hebrew on, no characters beyond U+FFFF.
bool NeedsNoShaping(const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u >= 0x0590 || (u >= 0x0300 && u < 0x0370)) return false;
  }
  return true;
}

// Ten colours that stay apart in print, then hues around the circle.
QColor AccountColour(size_t index) {
  static const QRgb palette[] = {0x4E79A7, 0xF28E2B, 0xE15759, 0x76B7B2, 0x59A14F,
                                 0xEDC948, 0xB07AA1, 0xFF9DA7, 0x9C755F, 0xBAB0AC};
  if (index < std::size(palette)) return QColor(palette[index]);
  return QColor::fromHsv(static_cast<int>((index * 47) % 360), 160, 200);
}

class PageLayout {
 public:
  PageLayout(QPdfWriter& writer, DocumentKind kind)
      : device_(writer), family_(kind == DocumentKind::Invoice ? "DejaVu Serif" : "DejaVu Sans") {
    const qreal side = (kind == DocumentKind::Invoice ? 72 : 54) * kPoint;
    pageHeight_ = writer.height();
    content_ =
        QRectF(side, 54 * kPoint, writer.width() - 2 * side, pageHeight_ - (54 + 64) * kPoint);
    NewPage();
  }

  void Add(const Paragraph& paragraph);
  void Add(const Table& table);
  void Add(const HoursChart& chart);
  bool Paint(QPainter& painter);

 private:
  int Font(int halfPoints, bool bold);
  const QFontMetricsF& Metrics(int font) const { return metrics_[static_cast<size_t>(font)]; }
  qreal Advance(const QString& text, int font);
  // The glyphs of text in font, when it needs no shaping and the font has
  // them all, with their advances in *advances; false otherwise.
  bool Glyphs(const QString& text, int font, std::vector<quint32>* glyphs,
              std::vector<qreal>* advances);
  std::vector<CellLine> Wrap(const QString& text, int font, qreal width);
  CellLine Measure(QString text, int font, TextAlign align);
  // A table's steps: its cells measured, its columns fitted to the page,
  // its texts wrapped to their columns, and its rows drawn page by page,
  // each page's part closed by its rules.
  void MeasureCells(const Table& table, TableGrid* grid);
  void FitColumns(const Table& table, TableGrid* grid);
  void WrapCells(TableGrid* grid);
  void DrawRow(const TableGrid& grid, size_t r);
  void CloseSegment(const TableGrid& grid, qreal segmentTop);
  void NewPage() {
    pages_.emplace_back();
    y_ = content_.top();
  }
  bool PageEmpty() const { return y_ <= content_.top(); }
  Page& page() { return pages_.back(); }
  void Text(qreal x, qreal baseline, int font, const QString& text, bool grey = false) {
    page().texts.push_back({QPointF(x, baseline), font, text, grey, NeedsNoShaping(text)});
  }
  void Line(qreal x1, qreal y1, qreal x2, qreal y2, qreal width) {
    page().lines.push_back({QLineF(x1, y1, x2, y2), width});
  }

  QPdfWriter& device_;
  QString family_;
  qreal pageHeight_ = 0;
  QRectF content_;
  qreal y_ = 0;
  std::vector<Page> pages_;
  std::map<int, int> fontIndex_;
  std::vector<QFont> fonts_;
  std::vector<QFontMetricsF> metrics_;
  std::vector<QRawFont> raw_;  // the fonts at the PDF's resolution
  std::vector<QHash<QString, qreal>> advanceCache_;
  std::vector<quint32> glyphs_;
  std::vector<qreal> advances_;
  std::vector<std::vector<qreal>> glyphAdvances_;  // per font, by glyph; -1 until asked
};

int PageLayout::Font(int halfPoints, bool bold) {
  const int key = halfPoints * 2 + (bold ? 1 : 0);
  auto found = fontIndex_.find(key);
  if (found != fontIndex_.end()) return found->second;
  QFont font(family_);
  font.setPointSizeF(halfPoints / 2.0);
  font.setBold(bold);
  fonts_.push_back(font);
  metrics_.emplace_back(font, &device_);
  raw_.push_back(QRawFont::fromFont(QFont(font, &device_)));
  advanceCache_.emplace_back();
  glyphAdvances_.emplace_back();
  return fontIndex_[key] = static_cast<int>(fonts_.size() - 1);
}

bool PageLayout::Glyphs(const QString& text, int font, std::vector<quint32>* glyphs,
                        std::vector<qreal>* advances) {
  const QRawFont& raw = raw_[static_cast<size_t>(font)];
  const int length = static_cast<int>(text.size());
  if (!raw.isValid() || !NeedsNoShaping(text)) return false;
  glyphs->resize(static_cast<size_t>(length));
  advances->resize(static_cast<size_t>(length));
  int count = length;
  if (!raw.glyphIndexesForChars(text.constData(), length, glyphs->data(), &count) ||
      count != length || std::find(glyphs->begin(), glyphs->end(), 0u) != glyphs->end()) {
    return false;
  }
  // The font engine reads a glyph's design advance anew on every call;
  // each glyph's is asked for once.
  std::vector<qreal>& known = glyphAdvances_[static_cast<size_t>(font)];
  for (size_t i = 0; i < glyphs->size(); ++i) {
    const quint32 glyph = (*glyphs)[i];
    if (glyph >= known.size()) known.resize(glyph + 1, -1);
    if (known[glyph] < 0) {
      QPointF advance;
      if (!raw.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics)) {
        return false;
      }
      known[glyph] = advance.x();
    }
    (*advances)[i] = known[glyph];
  }
  return true;
}

// The width of text as Paint draws it: the sum of its glyphs' advances, or
// the shaped width of text that needs shaping.
qreal PageLayout::Advance(const QString& text, int font) {
  // Dates, hours and names come back again and again.
  const bool remembered = text.size() <= 24;
  auto& known = advanceCache_[static_cast<size_t>(font)];
  if (remembered) {
    auto found = known.constFind(text);
    if (found != known.constEnd()) return *found;
  }
  qreal width = 0;
  if (Glyphs(text, font, &glyphs_, &advances_)) {
    for (qreal advance : advances_) width += advance;
  } else {
    width = Metrics(font).horizontalAdvance(text);
  }
  if (remembered) known.insert(text, width);
  return width;
}

CellLine PageLayout::Measure(QString text, int font, TextAlign align) {
  CellLine line;
  line.width = Advance(text, font);
  if (align == TextAlign::Decimal) {
    const qsizetype point = text.lastIndexOf(QLatin1Char('.'));
    line.whole = point < 0 ? line.width : Advance(text.left(point), font);
    line.fraction = point < 0 && text.contains(QLatin1Char('/'));
  }
  line.text = std::move(text);
  return line;
}

std::vector<CellLine> PageLayout::Wrap(const QString& text, int font, qreal width) {
  std::vector<CellLine> lines;
  if (Glyphs(text, font, &glyphs_, &advances_)) {
    // One glyph a character: lines break after the last blank that fits,
    // or, in a word longer than the line, after the last letter that fits.
    const std::vector<qreal> advances = advances_;
    const qsizetype length = text.size();
    qsizetype start = 0;
    while (start < length) {
      while (start < length && text[start] == QLatin1Char(' ')) ++start;
      if (start == length) break;
      qreal used = 0;
      qsizetype end = start, lastBlank = -1;
      while (end < length && (end == start || used + advances[static_cast<size_t>(end)] <= width)) {
        if (text[end] == QLatin1Char(' ')) lastBlank = end;
        used += advances[static_cast<size_t>(end)];
        ++end;
      }
      if (end < length && lastBlank > start && text[end] != QLatin1Char(' ')) end = lastBlank;
      QString part = text.mid(start, end - start);
      while (part.endsWith(QLatin1Char(' '))) part.chop(1);
      lines.push_back(Measure(part, font, TextAlign::Left));
      start = end;
    }
    return lines;
  }
  QTextLayout layout(text, fonts_[static_cast<size_t>(font)], &device_);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    QString part = text.mid(line.textStart(), line.textLength());
    while (part.endsWith(QLatin1Char(' '))) part.chop(1);
    lines.push_back(Measure(part, font, TextAlign::Left));
  }
  layout.endLayout();
  return lines;
}

void PageLayout::Add(const Paragraph& paragraph) {
  const int font = Font(paragraph.halfPoints, paragraph.bold);
  const qreal lineHeight = Metrics(font).lineSpacing();
  qreal before = 0, after = 0.3;
  bool keepWithNext = false;
  switch (paragraph.role) {
    case ParagraphRole::Letterhead: after = 0.2; break;
    case ParagraphRole::DateLine: before = 0.5, after = 1.5; break;
    case ParagraphRole::Title: after = 1.0, keepWithNext = true; break;
    case ParagraphRole::Heading: after = 0.4, keepWithNext = true; break;
    case ParagraphRole::SectionHeading: before = 1.0, after = 0.4, keepWithNext = true; break;
    case ParagraphRole::ClientAddress: after = 1.5; break;
    case ParagraphRole::InvoiceTitle: after = 0.6, keepWithNext = true; break;
    case ParagraphRole::PageHeading: after = 0.6, keepWithNext = true; break;
  }
  if (paragraph.newPage && !PageEmpty()) NewPage();
  std::vector<CellLine> lines;
  for (const std::string& text : paragraph.lines) {
    for (const QString& part : DisplayLines(text)) {
      for (CellLine& line : Wrap(part, font, content_.width())) lines.push_back(std::move(line));
    }
  }
  const qreal height = static_cast<qreal>(lines.size()) * lineHeight;
  // A heading stays with the first rows of what it heads.
  const qreal kept = keepWithNext ? 72 * kPoint : 0;
  if (!PageEmpty() && y_ + before * lineHeight + height + kept > content_.bottom()) NewPage();
  if (!PageEmpty()) y_ += before * lineHeight;
  for (const CellLine& line : lines) {
    qreal x = content_.left();
    if (paragraph.align == TextAlign::Center) x += (content_.width() - line.width) / 2;
    if (paragraph.align == TextAlign::Right || paragraph.align == TextAlign::Decimal) {
      x = content_.right() - line.width;
    }
    Text(x, y_ + Metrics(font).ascent(), font, line.text);
    y_ += lineHeight;
  }
  y_ += after * lineHeight;
}

void PageLayout::MeasureCells(const Table& table, TableGrid* grid) {
  const size_t columns = table.widths.size();
  std::vector<std::vector<CellBox>>& rows = grid->rows;
  rows.reserve(table.rows.size() + 1);
  const auto boxes = [&](const TableRow& row, int halfPoints, bool heading) {
    std::vector<CellBox> cells(columns);
    for (size_t c = 0; c < columns && c < row.cells.size(); ++c) {
      const TableCell& cell = row.cells[c];
      CellBox& box = cells[c];
      box.font = Font(halfPoints, cell.bold || heading);
      box.align = cell.align;
      for (const std::string& text : cell.lines) {
        for (QString& part : DisplayLines(text)) {
          box.lines.push_back(Measure(std::move(part), box.font, box.align));
        }
      }
    }
    rows.push_back(std::move(cells));
  };
  boxes(table.heading, table.headingHalfPoints, true);
  for (const TableRow& row : table.rows) boxes(row, table.bodyHalfPoints, false);
}

// Column widths: the RTF's, widened to the heading and to every number,
// then text columns narrowed (down to their heading or 90 points) to fit.
void PageLayout::FitColumns(const Table& table, TableGrid* grid) {
  const size_t columns = table.widths.size();
  const std::vector<std::vector<CellBox>>& rows = grid->rows;
  std::vector<qreal>& width = grid->width;
  std::vector<qreal>& fraction = grid->fraction;
  width.assign(columns, 0);
  fraction.assign(columns, 0);
  std::vector<qreal> least(columns), whole(columns, 0);
  qreal total = 0;
  for (size_t c = 0; c < columns; ++c) {
    qreal heading = 0, text = 0, number = 0;
    bool numeric = false;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (const CellLine& line : rows[r][c].lines) {
        if (r == 0) {
          heading = std::max(heading, line.width);
        } else if (rows[r][c].align == TextAlign::Decimal && line.fraction) {
          numeric = true;
          number = std::max(number, line.width);
        } else if (rows[r][c].align == TextAlign::Decimal) {
          numeric = true;
          whole[c] = std::max(whole[c], line.whole);
          fraction[c] = std::max(fraction[c], line.width - line.whole);
        } else if (rows[r][c].align == TextAlign::Right) {
          numeric = true;
          number = std::max(number, line.width);
        } else {
          text = std::max(text, line.width);
        }
      }
    }
    number = std::max(number, whole[c] + fraction[c]);
    least[c] = std::max({heading, number, std::min(text, 90 * kPoint)}) + 2 * kCellPadX;
    width[c] =
        std::max(table.widths[c] * 3.6 * kPoint, numeric ? least[c] : heading + 2 * kCellPadX);
    width[c] = std::max(width[c], least[c]);
    total += width[c];
  }
  if (total > content_.width()) {
    qreal slack = 0;
    for (size_t c = 0; c < columns; ++c) slack += width[c] - least[c];
    const qreal cut = std::min(slack, total - content_.width());
    total = 0;
    for (size_t c = 0; c < columns; ++c) {
      if (slack > 0) width[c] -= (width[c] - least[c]) * cut / slack;
      total += width[c];
    }
    if (total > content_.width()) {
      for (qreal& w : width) w *= content_.width() / total;
      total = content_.width();
    }
  }
  grid->total = total;
}

// Text wider than its column wraps; the row is as high as its tallest cell.
void PageLayout::WrapCells(TableGrid* grid) {
  std::vector<std::vector<CellBox>>& rows = grid->rows;
  const size_t columns = grid->width.size();
  grid->heights.assign(rows.size(), 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    qreal height = 0;
    for (size_t c = 0; c < columns; ++c) {
      CellBox& box = rows[r][c];
      const qreal room = grid->width[c] - 2 * kCellPadX;
      const bool overflows =
          box.align != TextAlign::Decimal &&
          std::any_of(box.lines.begin(), box.lines.end(),
                      [&](const CellLine& line) { return line.width > room + 0.01; });
      if (overflows) {
        std::vector<CellLine> wrapped;
        for (const CellLine& line : box.lines) {
          for (CellLine& part : Wrap(line.text, box.font, room)) wrapped.push_back(std::move(part));
        }
        box.lines = std::move(wrapped);
      }
      const qreal lines = static_cast<qreal>(std::max<size_t>(1, box.lines.size()));
      height = std::max(height, lines * Metrics(box.font).lineSpacing());
    }
    grid->heights[r] = height + 2 * kCellPadY;
  }
}

void PageLayout::DrawRow(const TableGrid& grid, size_t r) {
  const std::vector<qreal>& width = grid.width;
  const qreal left = content_.left(), total = grid.total;
  const qreal top = y_, height = grid.heights[r];
  if (r == 0) page().fills.push_back({QRectF(left, top, total, height), QColor(0xE8, 0xE8, 0xE8)});
  qreal x = left;
  for (size_t c = 0; c < width.size(); ++c) {
    const CellBox& box = grid.rows[r][c];
    const QFontMetricsF& metrics = Metrics(box.font);
    qreal baseline = top + kCellPadY + metrics.ascent();
    for (const CellLine& line : box.lines) {
      qreal at = x + kCellPadX;
      if (r > 0 && box.align == TextAlign::Right) at = x + width[c] - kCellPadX - line.width;
      if (r > 0 && box.align == TextAlign::Center) at = x + (width[c] - line.width) / 2;
      if (r > 0 && box.align == TextAlign::Decimal) {
        at = line.fraction ? x + width[c] - kCellPadX - line.width
                           : x + width[c] - kCellPadX - grid.fraction[c] - line.whole;
      }
      Text(at, baseline, box.font, line.text);
      baseline += metrics.lineSpacing();
    }
    x += width[c];
  }
  // A heavier rule under the heading and above the closing row.
  if (r > 0) {
    const bool closing = r + 1 == grid.rows.size() && r > 1;
    Line(left, top, left + total, top, r == 1 ? kMediumRule : closing ? kMediumRule : kThinRule);
  }
  y_ += height;
}

// The lines between the columns run down the whole of each page's part.
void PageLayout::CloseSegment(const TableGrid& grid, qreal segmentTop) {
  const qreal left = content_.left(), total = grid.total;
  qreal x = left;
  for (size_t c = 0; c + 1 < grid.width.size(); ++c) {
    x += grid.width[c];
    Line(x, segmentTop, x, y_, kThinRule);
  }
  Line(left, segmentTop, left + total, segmentTop, kThickRule);
  Line(left, y_, left + total, y_, kThickRule);
  Line(left, segmentTop, left, y_, kThickRule);
  Line(left + total, segmentTop, left + total, y_, kThickRule);
}

// Which rows of the laid-out table (the heading being row 0) are totals:
// rows whose every written cell is bold (an item's, an account's, the
// document's).
std::vector<bool> TotalRows(const Table& table) {
  std::vector<bool> totals(table.rows.size() + 1, false);
  for (size_t r = 1; r < totals.size(); ++r) {
    const std::vector<TableCell>& cells = table.rows[r - 1].cells;
    totals[r] = std::any_of(cells.begin(), cells.end(), [](const TableCell& cell) {
      return cell.bold && std::any_of(cell.lines.begin(), cell.lines.end(),
                                      [](const std::string& line) { return !line.empty(); });
    });
    for (const TableCell& cell : cells) {
      const bool written = std::any_of(cell.lines.begin(), cell.lines.end(),
                                       [](const std::string& line) { return !line.empty(); });
      if (written && !cell.bold) totals[r] = false;
    }
  }
  return totals;
}

void PageLayout::Add(const Table& table) {
  if (table.widths.empty()) return;
  TableGrid grid;
  MeasureCells(table, &grid);
  FitColumns(table, &grid);
  WrapCells(&grid);
  const std::vector<qreal>& heights = grid.heights;
  const size_t rows = grid.rows.size();

  // The heading never stands alone at the foot of a page.
  const qreal first = heights[0] + (rows > 1 ? heights[1] : 0);
  if (!PageEmpty() && y_ + first > content_.bottom()) NewPage();
  qreal segmentTop = y_;
  DrawRow(grid, 0);
  // A total never starts a page alone under the repeated heading: the row
  // it totals goes along with it.
  const std::vector<bool> totals = TotalRows(table);
  for (size_t r = 1; r < rows; ++r) {
    qreal needed = heights[r];
    for (size_t next = r + 1; !totals[r] && next < rows && totals[next]; ++next) {
      needed += heights[next];
    }
    if (y_ + needed > content_.bottom() && y_ > segmentTop + heights[0]) {
      CloseSegment(grid, segmentTop);
      NewPage();
      segmentTop = y_;
      DrawRow(grid, 0);
    }
    DrawRow(grid, r);
  }
  CloseSegment(grid, segmentTop);
  y_ += Metrics(Font(table.bodyHalfPoints, false)).lineSpacing();
}

void PageLayout::Add(const HoursChart& chart) {
  const int titleFont = Font(22, true), labelFont = Font(16, false);
  const QFontMetricsF& labels = Metrics(labelFont);
  const qreal plotHeight = 150 * kPoint, gap = 6 * kPoint;

  // The legend's entries flow in rows: a square, the name, a gap.
  const qreal square = labels.ascent() * 0.9;
  std::vector<std::pair<QPointF, size_t>> legend;
  qreal legendX = 0, legendRows = chart.accounts.empty() ? 0 : 1;
  for (size_t a = 0; a < chart.accounts.size(); ++a) {
    const QString name = chart.accounts[a].empty() ? QStringLiteral("(no account)")
                                                   : QString::fromStdString(chart.accounts[a]);
    const qreal entry = square + gap / 2 + labels.horizontalAdvance(name) + 2 * gap;
    if (legendX > 0 && legendX + entry > content_.width()) {
      legendX = 0;
      ++legendRows;
    }
    legend.push_back({QPointF(legendX, (legendRows - 1) * labels.lineSpacing()), a});
    legendX += entry;
  }
  const qreal height = Metrics(titleFont).lineSpacing() + gap + plotHeight + labels.lineSpacing() +
                       gap + legendRows * labels.lineSpacing();
  if (!PageEmpty() && y_ + height > content_.bottom()) NewPage();

  Text(content_.left(), y_ + Metrics(titleFont).ascent(), titleFont,
       QString::fromStdString(chart.title));
  y_ += Metrics(titleFont).lineSpacing() + gap;

  // The scale: whole steps of 1, 2 or 5 times a power of ten hours, at most six.
  int64_t most = 0;
  for (const auto& day : chart.minutes) {
    int64_t sum = 0;
    for (int64_t minutes : day) sum += minutes;
    most = std::max(most, sum);
  }
  const double hours = std::max(most / 60.0, 1.0);
  double step = 0.5;
  for (double scale = 1; hours / step > 6; scale *= 10) {
    for (double factor : {1.0, 2.0, 5.0}) {
      step = factor * scale;
      if (hours / step <= 6) break;
    }
  }
  const double top = step * std::ceil(hours / step);
  qreal axis = 0;
  for (double tick = 0; tick <= top + 1e-9; tick += step) {
    axis = std::max(axis, labels.horizontalAdvance(QString::number(tick)));
  }
  const QRectF plot(content_.left() + axis + gap, y_, content_.width() - axis - gap, plotHeight);
  for (double tick = 0; tick <= top + 1e-9; tick += step) {
    const qreal at = plot.bottom() - tick / top * plot.height();
    const QString label = QString::number(tick);
    Text(plot.left() - gap - labels.horizontalAdvance(label), at + labels.ascent() / 2, labelFont,
         label);
    if (tick > 0)
      page().fills.push_back(
          {QRectF(plot.left(), at, plot.width(), 0.4 * kPoint), QColor(0xD0, 0xD0, 0xD0)});
  }

  const size_t days = std::max<size_t>(1, chart.days.size());
  const qreal slot = plot.width() / static_cast<qreal>(days);
  qreal widest = 0;
  for (const std::string& day : chart.days) {
    widest = std::max(widest, labels.horizontalAdvance(QString::fromStdString(day)));
  }
  const size_t every = std::max<size_t>(1, static_cast<size_t>(std::ceil((widest + gap) / slot)));
  for (size_t d = 0; d < chart.days.size(); ++d) {
    const qreal x = plot.left() + static_cast<qreal>(d) * slot;
    qreal base = plot.bottom();
    for (size_t a = 0; a < chart.accounts.size() && a < chart.minutes[d].size(); ++a) {
      const qreal bar = chart.minutes[d][a] / 60.0 / top * plot.height();
      if (bar <= 0) continue;
      page().fills.push_back(
          {QRectF(x + slot * 0.15, base - bar, slot * 0.7, bar), AccountColour(a)});
      base -= bar;
    }
    if (d % every == 0) {
      const QString label = QString::fromStdString(chart.days[d]);
      Text(x + (slot - labels.horizontalAdvance(label)) / 2, plot.bottom() + labels.lineSpacing(),
           labelFont, label);
    }
  }
  Line(plot.left(), plot.top(), plot.left(), plot.bottom(), 0.8);
  Line(plot.left(), plot.bottom(), plot.right(), plot.bottom(), 0.8);
  y_ = plot.bottom() + labels.lineSpacing() + gap;

  for (const auto& [at, a] : legend) {
    const qreal x = content_.left() + at.x(), top = y_ + at.y();
    page().fills.push_back(
        {QRectF(x, top + labels.ascent() - square, square, square), AccountColour(a)});
    const QString name = chart.accounts[a].empty() ? QStringLiteral("(no account)")
                                                   : QString::fromStdString(chart.accounts[a]);
    Text(x + square + gap / 2, top + labels.ascent(), labelFont, name);
  }
  y_ += legendRows * labels.lineSpacing() + 2 * gap;
}

bool PageLayout::Paint(QPainter& painter) {
  const int footer = Font(18, false);
  const QString total = QString::number(pages_.size());
  for (size_t p = 0; p < pages_.size(); ++p) {
    const QString text = QStringLiteral("Page %1 of %2").arg(p + 1).arg(total);
    const qreal x =
        content_.left() + (content_.width() - Metrics(footer).horizontalAdvance(text)) / 2;
    pages_[p].texts.push_back({QPointF(x, pageHeight_ - 32 * kPoint), footer, text, true});
  }
  for (size_t p = 0; p < pages_.size(); ++p) {
    if (p > 0 && !device_.newPage()) return false;
    const Page& page = pages_[p];
    for (const FillOp& fill : page.fills) painter.fillRect(fill.rect, fill.color);
    // Text that needs no shaping goes out in glyph runs, one for each
    // stretch of text in one font (the PDF writer's cost is per call); text
    // that needs shaping is drawn in its place, so the PDF keeps the order
    // in which the page reads.
    int runFont = -1;
    QList<quint32> runGlyphs;
    QList<QPointF> runPositions;
    const auto flush = [&] {
      if (runGlyphs.isEmpty()) return;
      QGlyphRun glyphs;
      glyphs.setRawFont(raw_[static_cast<size_t>(runFont)]);
      glyphs.setGlyphIndexes(runGlyphs);
      glyphs.setPositions(runPositions);
      painter.setPen(Qt::black);
      painter.drawGlyphRun(QPointF(0, 0), glyphs);
      runGlyphs.clear();
      runPositions.clear();
    };
    for (const TextOp& text : page.texts) {
      if (text.grey || !text.simple || !Glyphs(text.text, text.font, &glyphs_, &advances_)) {
        flush();
        painter.setFont(fonts_[static_cast<size_t>(text.font)]);
        painter.setPen(text.grey ? Qt::darkGray : Qt::black);
        painter.drawText(text.baseline, text.text);
        continue;
      }
      if (text.font != runFont) flush();
      runFont = text.font;
      qreal x = text.baseline.x();
      // Each glyph is put at the nearest whole dot (1/1200 inch): it moves by
      // a hundredth of a millimetre at most, and the PDF writer then writes
      // each move without a fraction, a quarter fewer bytes to write and
      // compress. The advances add up unrounded, so nothing drifts.
      const qreal y = std::round(text.baseline.y());
      for (size_t i = 0; i < glyphs_.size(); ++i) {
        // A blank draws nothing; readers find the gap between the words.
        if (text.text[static_cast<qsizetype>(i)] != QLatin1Char(' ')) {
          runGlyphs.push_back(glyphs_[i]);
          runPositions.push_back(QPointF(std::round(x), y));
        }
        x += advances_[i];
      }
    }
    flush();
    std::map<qreal, std::vector<QLineF>> lines;
    for (const LineOp& line : page.lines) lines[line.width].push_back(line.line);
    for (const auto& [width, group] : lines) {
      QPen pen(Qt::black, width * kPoint);
      pen.setCapStyle(Qt::SquareCap);
      painter.setPen(pen);
      painter.drawLines(group.data(), static_cast<int>(group.size()));
    }
  }
  return true;
}

}  // namespace

Status QtPdfRenderer::Render(const Document& document, PaperSize paper, std::string* pdf) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    return Status::Failure("there is no application to take the fonts from");
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setCreator(QStringLiteral("Horalog"));
    writer.setTitle(QString::fromStdString(document.title));
    writer.setPageLayout(
        QPageLayout(QPageSize(paper == PaperSize::Letter ? QPageSize::Letter : QPageSize::A4),
                    QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    PageLayout layout(writer, document.kind);
    for (const DocumentBlock& block : document.blocks) {
      std::visit([&](const auto& part) { layout.Add(part); }, block);
    }
    QPainter painter;
    if (!painter.begin(&writer)) return Status::Failure("the PDF writer could not start");
    const bool painted = layout.Paint(painter);
    if (!painter.end() || !painted) return Status::Failure("the PDF writer failed");
  }
  if (bytes.isEmpty()) return Status::Failure("the PDF writer wrote nothing");
  pdf->assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  return Status::Ok();
}
