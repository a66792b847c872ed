// Turns a Jet statement into SQLite SQL with bound literals.
#include "store/jet_statement.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>

#include "store/ole_date.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Where a literal goes: the table and column it is compared with or assigned to.
struct Context {
  std::string table;
  std::vector<std::string> insertColumns;  // column list of an INSERT, if given
  std::string pendingKeyword;              // "into", "update", "from": the next word is the table
  bool expectColumnList = false;
  bool inColumnList = false;
  bool afterValues = false;
  int valuesDepth = 0;  // parenthesis depth inside VALUES (...)
  int valueIndex = 0;
  std::string lastIdentifier;
  bool lastWasComparison = false;
};

}  // namespace

size_t JetNumberEnd(const std::string& text, size_t i) {
  const size_t n = text.size();
  size_t j = i;
  while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  if (j < n && text[j] == '.') {
    ++j;
    while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  }
  if (j < n && (text[j] == 'e' || text[j] == 'E')) {
    size_t k = j + 1;
    if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
    if (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) {
      j = k;
      while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    }
  }
  return j;
}

SqlParameter JetNumberValue(const std::string& number) {
  SqlParameter p;
  bool real = number.find_first_of(".eE") != std::string::npos;
  errno = 0;
  if (!real) {
    p.integer = std::strtoll(number.c_str(), nullptr, 10);
    if (errno == ERANGE) real = true;
  }
  if (real) {
    p.kind = SqlParameter::Kind::Real;
    // Read in the "C" locale: under one with a decimal comma strtod would
    // stop at the ".".
    static const locale_t cLocale = ::newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    p.real = ::strtod_l(number.c_str(), nullptr, cLocale);
  }
  return p;
}

bool JetStatement::Translate(const std::string& jet, const ColumnLookup& columns,
                             std::time_t today) {
  sql_.clear();
  parameters_.clear();
  error_.clear();
  conversionFailed_ = false;
  Context ctx;
  std::vector<std::pair<std::string, std::string>> tableColumns;
  bool columnsKnown = false;

  auto columnOfLiteral = [&]() -> std::string {
    if (ctx.afterValues && ctx.valuesDepth == 1) {
      if (!ctx.insertColumns.empty()) {
        return ctx.valueIndex < static_cast<int>(ctx.insertColumns.size())
                   ? ctx.insertColumns[ctx.valueIndex]
                   : std::string();
      }
      if (!columnsKnown && columns) {
        tableColumns = columns(ctx.table);
        columnsKnown = true;
      }
      return ctx.valueIndex < static_cast<int>(tableColumns.size())
                 ? Lower(tableColumns[ctx.valueIndex].first)
                 : std::string();
    }
    return ctx.lastWasComparison ? ctx.lastIdentifier : std::string();
  };
  auto isDateColumn = [&](const std::string& column) {
    if (column.empty() || ctx.table.empty() || !columns) return false;
    if (!columnsKnown) {
      tableColumns = columns(ctx.table);
      columnsKnown = true;
    }
    for (const auto& [name, type] : tableColumns) {
      if (Lower(name) == column) {
        std::string t = Lower(type);
        return t.find("date") != std::string::npos || t.find("time") != std::string::npos;
      }
    }
    return false;
  };
  auto addDate = [&](const std::string& text) {
    CivilTime civil;
    if (!ParseDateText(text, today, &civil)) {
      error_ = "Data type mismatch: '" + text + "' is not a date";
      conversionFailed_ = true;
      return false;
    }
    SqlParameter p;
    p.kind = SqlParameter::Kind::Real;
    p.real = OleDateFromCivil(civil);
    parameters_.push_back(p);
    sql_ += '?';
    return true;
  };
  auto addText = [&](std::string text) {
    SqlParameter p;
    p.kind = SqlParameter::Kind::Text;
    p.text = std::move(text);
    parameters_.push_back(std::move(p));
    sql_ += '?';
  };
  auto literalDone = [&]() { ctx.lastWasComparison = false; };

  size_t i = 0;
  const size_t n = jet.size();
  while (i < n) {
    char c = jet[i];
    if (c == '\'' || c == '"') {
      std::string text;
      size_t j = i + 1;
      bool closed = false;
      while (j < n) {
        if (jet[j] == c) {
          if (j + 1 < n && jet[j + 1] == c) {  // a doubled quote stands for one
            text += c;
            j += 2;
            continue;
          }
          closed = true;
          break;
        }
        text += jet[j++];
      }
      if (!closed) {
        error_ = "Syntax error: unterminated string";
        return false;
      }
      if (isDateColumn(columnOfLiteral())) {
        if (!addDate(text)) return false;
      } else {
        addText(text);
      }
      literalDone();
      i = j + 1;
      continue;
    }
    if (c == '#') {
      size_t end = jet.find('#', i + 1);
      if (end == std::string::npos) {
        error_ = "Syntax error: unterminated date";
        return false;
      }
      if (!addDate(jet.substr(i + 1, end - i - 1))) return false;
      literalDone();
      i = end + 1;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(jet[i + 1])))) {
      const size_t j = JetNumberEnd(jet, i);
      const SqlParameter p = JetNumberValue(jet.substr(i, j - i));
      parameters_.push_back(p);
      sql_ += '?';
      literalDone();
      i = j;
      continue;
    }
    if (JetIdentStart(c)) {
      size_t j = i;
      while (j < n && JetIdentChar(jet[j])) ++j;
      std::string word = jet.substr(i, j - i);
      std::string lower = Lower(word);
      i = j;
      if (lower == "yes" || lower == "true" || lower == "no" || lower == "false") {
        SqlParameter p;
        p.integer = (lower == "yes" || lower == "true") ? 1 : 0;
        parameters_.push_back(p);
        sql_ += '?';
        literalDone();
        continue;
      }
      sql_ += word;
      if (!ctx.pendingKeyword.empty()) {
        if (ctx.table.empty()) ctx.table = lower;
        ctx.expectColumnList = ctx.pendingKeyword == "into";
        ctx.pendingKeyword.clear();
      } else if (lower == "into" || lower == "update" || lower == "from") {
        ctx.pendingKeyword = lower;
      } else if (lower == "values") {
        ctx.afterValues = true;
        ctx.expectColumnList = false;
      } else if (ctx.inColumnList) {
        ctx.insertColumns.push_back(lower);
      } else {
        ctx.lastIdentifier = lower;
      }
      ctx.lastWasComparison = false;
      continue;
    }
    // SQLite ends a statement at a zero byte, so whatever followed it would
    // be dropped unread (a WHERE clause, say).
    if (c == '\0') {
      error_ = "Syntax error: zero byte in the statement";
      return false;
    }
    // SQLite would read these as parameters of its own, which no literal
    // fills: the bound values would then land on the wrong places.
    if (c == '?' || c == ':' || c == '@' || c == '$') {
      error_ = std::string("Syntax error: parameter marker '") + c + "' in the statement";
      return false;
    }
    // Jet has no comments: "1--1" is a subtraction and "a/*b" no comment,
    // but SQLite would read both as one, comment out what follows and skip
    // the literals there. A blank keeps the two characters apart.
    if ((c == '-' && !sql_.empty() && sql_.back() == '-') ||
        (c == '*' && !sql_.empty() && sql_.back() == '/')) {
      sql_ += ' ';
    }
    // Punctuation and blanks are copied as they stand.
    if (c == '(') {
      if (ctx.afterValues) {
        ++ctx.valuesDepth;
      } else if (ctx.expectColumnList) {
        ctx.inColumnList = true;
      }
    } else if (c == ')') {
      if (ctx.afterValues) {
        --ctx.valuesDepth;
      } else if (ctx.inColumnList) {
        ctx.inColumnList = false;
        ctx.expectColumnList = false;
      }
    } else if (c == ',' && ctx.afterValues && ctx.valuesDepth == 1) {
      ++ctx.valueIndex;
    } else if (c == ';') {
      size_t k = i + 1;
      while (k < n && std::isspace(static_cast<unsigned char>(jet[k]))) ++k;
      if (k < n) {
        error_ = "Syntax error: characters found after end of SQL statement";
        return false;
      }
    }
    if (c == '=' || c == '<' || c == '>') {
      ctx.lastWasComparison = true;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      ctx.lastWasComparison = false;
    }
    if (c == '[' || c == '`') {  // a bracketed or back-quoted name is copied whole
      size_t end = jet.find(c == '[' ? ']' : '`', i + 1);
      if (end == std::string::npos) {
        error_ = "Syntax error: unterminated name";
        return false;
      }
      std::string name = jet.substr(i, end - i + 1);
      if (name.find('\0') != std::string::npos) {
        error_ = "Syntax error: zero byte in the statement";
        return false;
      }
      sql_ += name;
      std::string bare = Lower(name.substr(1, name.size() - 2));
      if (!ctx.pendingKeyword.empty()) {
        if (ctx.table.empty()) ctx.table = bare;
        ctx.expectColumnList = ctx.pendingKeyword == "into";
        ctx.pendingKeyword.clear();
      } else if (ctx.inColumnList) {
        ctx.insertColumns.push_back(bare);
      } else {
        ctx.lastIdentifier = bare;
      }
      i = end + 1;
      continue;
    }
    sql_ += c;
    ++i;
  }
  return true;
}
