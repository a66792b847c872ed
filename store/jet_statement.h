// Turns a statement in the Jet dialect the programs send into SQLite SQL with
// every literal bound as a parameter.
#pragma once

#include <cctype>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct SqlParameter {
  enum class Kind { Integer, Real, Text };
  Kind kind = Kind::Integer;
  int64_t integer = 0;
  double real = 0;
  std::string text;
};

// Columns of a table as (name, declared type), in table order; empty when the
// table is unknown.
using ColumnLookup =
    std::function<std::vector<std::pair<std::string, std::string>>(const std::string& table)>;

// Whether c starts or continues a word, as the locale classifies letters.
// Bytes below 0x80 are ASCII letters in every locale and are told apart
// without asking it: a statement is read character by character.
inline bool JetIdentStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x80) return ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || u == '_';
  return std::isalpha(u) != 0;
}
inline bool JetIdentChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x80) {
    return ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || (u >= '0' && u <= '9') || u == '_';
  }
  return std::isalnum(u) != 0;
}

// Where the number literal starting at i of text ends (digits, a fraction,
// an exponent), and its value: an integer, or a real when it has a point or
// an exponent or does not fit in 64 bits, read whatever the locale.
size_t JetNumberEnd(const std::string& text, size_t i);
SqlParameter JetNumberValue(const std::string& number);

// A Jet statement in SQLite's terms. The statement text keeps its words; each
// literal becomes "?": Yes/No/True/False become 1/0, double- and
// single-quoted texts become text values, and a quoted date text (or a #date#)
// given for a date column becomes an OLE date, so no text of the statement is
// ever read as SQL. "--" and "/*", which Jet does not know as comments, are
// kept apart by a blank so SQLite does not read them as comments either.
class JetStatement {
 public:
  // False, with the reason in error(), for text that cannot be read: an
  // unterminated quote, a date text that is no date, a second statement
  // after a ";", a zero byte, or a "?", ":", "@" or "$" outside a literal
  // (SQLite would take them for parameters). today decides the century of
  // two-digit years.
  bool Translate(const std::string& jetSql, const ColumnLookup& columns, std::time_t today);

  const std::string& sql() const { return sql_; }
  const std::vector<SqlParameter>& parameters() const { return parameters_; }
  const std::string& error() const { return error_; }
  // Whether the failure was a value that could not be converted (a bad date).
  bool conversionFailed() const { return conversionFailed_; }

 private:
  std::string sql_;
  std::vector<SqlParameter> parameters_;
  std::string error_;
  bool conversionFailed_ = false;
};
