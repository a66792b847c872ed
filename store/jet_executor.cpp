// Runs Jet statements on one connection to a local store.
#include "store/jet_executor.h"

#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/clock.h"
#include "store/jet_statement.h"
#include "store/ole_date.h"

// One literal of a statement, as its text stands.
struct JetLiteral {
  enum class Kind { Quoted, Hash, Number, Word } kind = Kind::Quoted;
  std::string text;  // empty for a number read already
  // A number of at most 18 digits and nothing else is read as it is split:
  // strtoll would give the same value.
  bool read = false;
  int64_t value = 0;
  size_t begin = 0, end = 0;  // where it stands in the statement
};

// A statement taken apart as Split took it: each literal's kind, and the
// text before it as it stands.
struct JetPattern {
  struct Piece {
    std::string before;  // the text up to the literal
    bool literal = false;  // false for the text after the last literal
    JetLiteral::Kind kind = JetLiteral::Kind::Quoted;
    char quote = 0;    // the quote of a quoted literal
    std::string word;  // a word literal as it stands
    std::string lower; // and as Split keeps it
  };
  std::vector<Piece> pieces;
};

namespace {

using Literal = JetLiteral;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool StartsNumber(const std::string& jet, size_t i) {
  return IsDigit(jet[i]) || (jet[i] == '.' && i + 1 < jet.size() && IsDigit(jet[i + 1]));
}

// The next literal of literals, of kind, its text empty: their strings are
// kept from one statement to the next.
Literal& Next(std::vector<Literal>* literals, size_t* count, Literal::Kind kind, size_t begin) {
  if (*count == literals->size()) literals->emplace_back();
  Literal& literal = (*literals)[(*count)++];
  literal.kind = kind;
  literal.text.clear();
  literal.read = false;
  literal.begin = begin;
  return literal;
}

// Reads the quoted literal whose quote is at i: where it ends, or npos when
// the quote is not closed. A doubled quote stands for one.
size_t ReadQuoted(const std::string& jet, size_t i, Literal* literal) {
  const char c = jet[i];
  size_t j = i + 1;
  for (;;) {
    const size_t quote = jet.find(c, j);
    if (quote == std::string::npos) return std::string::npos;
    literal->text.append(jet, j, quote - j);
    if (quote + 1 < jet.size() && jet[quote + 1] == c) {
      literal->text += c;
      j = quote + 2;
    } else {
      return literal->end = quote + 1;
    }
  }
}

// Reads the date literal whose "#" is at i: where it ends, or npos.
size_t ReadHash(const std::string& jet, size_t i, Literal* literal) {
  const size_t end = jet.find('#', i + 1);
  if (end == std::string::npos) return end;
  literal->text.assign(jet, i + 1, end - i - 1);
  return literal->end = end + 1;
}

// Reads the number literal that starts at i: where it ends.
size_t ReadNumber(const std::string& jet, size_t i, Literal* literal) {
  // Up to 18 digits are read on the way; most numbers end with them.
  size_t k = i;
  int64_t value = 0;
  while (k < jet.size() && k - i < 18 && IsDigit(jet[k])) value = value * 10 + (jet[k++] - '0');
  const bool more =
      k < jet.size() && (IsDigit(jet[k]) || jet[k] == '.' || jet[k] == 'e' || jet[k] == 'E');
  const size_t j = more ? JetNumberEnd(jet, i) : k;
  literal->read = k == j;
  if (literal->read) {
    literal->value = value;
  } else {
    literal->text.assign(jet, i, j - i);
  }
  return literal->end = j;
}

// Splits jet into its shape (the text with each literal's value replaced by a
// mark; a word literal such as Yes stays) and its literals, reading the text
// as the translation does. False for text the translation would refuse or
// that needs it in full (an unterminated quote, date or name, a zero byte).
bool Split(const std::string& jet, std::string* shape, std::vector<Literal>* literals,
           size_t* count) {
  const size_t n = jet.size();
  shape->clear();
  *count = 0;
  for (size_t i = 0; i < n;) {
    const char c = jet[i];
    if (c == '\0') return false;
    if (c == '\'' || c == '"') {
      i = ReadQuoted(jet, i, &Next(literals, count, Literal::Kind::Quoted, i));
      if (i == std::string::npos) return false;
      shape->push_back(c);
      shape->push_back('\x01');
    } else if (c == '#') {
      i = ReadHash(jet, i, &Next(literals, count, Literal::Kind::Hash, i));
      if (i == std::string::npos) return false;
      shape->append("#\x01");
    } else if (StartsNumber(jet, i)) {
      i = ReadNumber(jet, i, &Next(literals, count, Literal::Kind::Number, i));
      shape->push_back('\x02');
    } else if (JetIdentStart(c)) {
      size_t j = i;
      while (j < n && JetIdentChar(jet[j])) ++j;
      if (j - i <= 5) {
        char lower[6] = {};
        for (size_t k = i; k < j; ++k) {
          lower[k - i] = static_cast<char>(std::tolower(static_cast<unsigned char>(jet[k])));
        }
        const std::string_view word(lower, j - i);
        if (word == "yes" || word == "true" || word == "no" || word == "false") {
          Literal& literal = Next(literals, count, Literal::Kind::Word, i);
          literal.text.assign(word);
          literal.end = j;
        }
      }
      shape->append(jet, i, j - i);
      i = j;
    } else if (c == '[' || c == '`') {
      const size_t end = jet.find(c == '[' ? ']' : '`', i + 1);
      if (end == std::string::npos) return false;
      shape->append(jet, i, end - i + 1);
      i = end + 1;
    } else {
      shape->push_back(c);
      ++i;
    }
  }
  return true;
}

// The pattern of jet as Split took it apart into count literals.
void MakePattern(const std::string& jet, const std::vector<Literal>& literals, size_t count,
                 JetPattern* pattern) {
  pattern->pieces.resize(count + 1);
  size_t at = 0;
  for (size_t k = 0; k <= count; ++k) {
    JetPattern::Piece& piece = pattern->pieces[k];
    piece.literal = k < count;
    const size_t begin = piece.literal ? literals[k].begin : jet.size();
    piece.before.assign(jet, at, begin - at);
    if (!piece.literal) break;
    const Literal& literal = literals[k];
    piece.kind = literal.kind;
    piece.quote = jet[begin];
    piece.word.assign(jet, begin, literal.end - begin);
    piece.lower = literal.text;
    at = literal.end;
  }
}

// Reads jet's literals when jet is the text of pattern with other literals,
// so that Split would give the same shape and literals: the text between
// the literals is the same to the byte, and each literal starts with what
// its kind starts with and ends where Split ends it. Split reads a text
// from left to right, each step looking only at what is ahead, so it takes
// both texts apart at the same places. False when jet is not of pattern.
bool Match(const std::string& jet, const JetPattern& pattern, std::vector<Literal>* literals,
           size_t* count) {
  const size_t n = jet.size();
  size_t i = 0;
  *count = 0;
  for (const JetPattern::Piece& piece : pattern.pieces) {
    if (jet.compare(i, piece.before.size(), piece.before) != 0) return false;
    i += piece.before.size();
    if (!piece.literal) break;
    if (i >= n) return false;
    Literal& literal = Next(literals, count, piece.kind, i);
    switch (piece.kind) {
      case Literal::Kind::Quoted:
        i = jet[i] == piece.quote ? ReadQuoted(jet, i, &literal) : std::string::npos;
        break;
      case Literal::Kind::Hash:
        i = jet[i] == '#' ? ReadHash(jet, i, &literal) : std::string::npos;
        break;
      case Literal::Kind::Number:
        i = StartsNumber(jet, i) ? ReadNumber(jet, i, &literal) : std::string::npos;
        break;
      case Literal::Kind::Word:
        if (jet.compare(i, piece.word.size(), piece.word) != 0) return false;
        literal.text = piece.lower;
        i = literal.end = i + piece.word.size();
        break;
    }
    if (i == std::string::npos) return false;
  }
  return i == n;
}

}  // namespace

JetExecutor::JetExecutor(SqliteConnection& connection) : connection_(connection) {}
JetExecutor::~JetExecutor() = default;

std::vector<std::pair<std::string, std::string>> JetExecutor::Columns(const std::string& table) {
  auto known = columns_.find(table);
  if (known != columns_.end()) return known->second;
  std::vector<std::pair<std::string, std::string>> result;
  SqliteStatement info;
  if (info.Prepare(connection_, "SELECT name, type FROM pragma_table_info(?)") != SQLITE_OK) {
    return result;
  }
  info.BindText(1, table);
  while (info.Step() == SQLITE_ROW) result.emplace_back(info.ColumnText(0), info.ColumnText(1));
  // An unknown table is looked up again next time: its statement fails anyway.
  if (!result.empty()) columns_[table] = result;
  return result;
}

void JetExecutor::Remember(const std::string& jetSql, size_t count, const Plan* plan) {
  if (!lastPattern_) lastPattern_ = std::make_unique<JetPattern>();
  MakePattern(jetSql, literals_, count, lastPattern_.get());
  lastPlan_ = plan;
}

DbStatus JetExecutor::Run(const std::string& jetSql, int64_t* changes, std::string* error) {
  *changes = 0;
  error->clear();
  auto fail = [this, error](int rc) {
    *error = connection_.errorMessage();
    return DbStatusFromSqlite(rc, *error);
  };
  std::string& shape = shape_;
  std::vector<Literal>& literals = literals_;
  size_t count = 0;
  // A statement of the last one's shape needs neither Split nor a look-up.
  const Plan* known = nullptr;
  bool split = true;
  if (lastPlan_ && Match(jetSql, *lastPattern_, &literals, &count)) {
    known = lastPlan_;
  } else {
    lastPlan_ = nullptr;
    split = Split(jetSql, &shape, &literals, &count);
    if (split) {
      if (auto found = plans_.find(shape); found != plans_.end()) known = &found->second;
    }
    if (known) Remember(jetSql, count, known);
  }
  SqliteStatement* statement = nullptr;
  std::vector<SqlParameter>& parameters = parameters_;
  if (known) {
    const Plan& plan = *known;
    statement = plan.statement;
    parameters.resize(count);
    size_t constant = 0;
    for (size_t i = 0; i < count; ++i) {
      SqlParameter& p = parameters[i];
      switch (plan.slots[i]) {
        case Plan::Slot::Text:
          p.kind = SqlParameter::Kind::Text;
          p.text.swap(literals[i].text);
          break;
        case Plan::Slot::Date: {
          CivilTime civil;
          if (!ParseDateText(literals[i].text, Now(), &civil)) {
            *error = "Data type mismatch: '" + literals[i].text + "' is not a date";
            return DB_E_CANTCONVERTVALUE;
          }
          p.kind = SqlParameter::Kind::Real;
          p.real = OleDateFromCivil(civil);
          break;
        }
        case Plan::Slot::Number: {
          if (literals[i].read) {
            p.kind = SqlParameter::Kind::Integer;
            p.integer = literals[i].value;
            break;
          }
          const SqlParameter number = JetNumberValue(literals[i].text);
          p.kind = number.kind;
          p.integer = number.integer;
          p.real = number.real;
          break;
        }
        case Plan::Slot::Constant:
          p.kind = SqlParameter::Kind::Integer;
          p.integer = plan.constants[constant++];
          break;
      }
    }
  } else {
    JetStatement jet;
    if (!jet.Translate(jetSql, [this](const std::string& table) { return Columns(table); },
                       Now())) {
      *error = jet.error();
      return jet.conversionFailed() ? DB_E_CANTCONVERTVALUE : DB_E_ERRORSINCOMMAND;
    }
    std::unique_ptr<SqliteStatement>& prepared = prepared_[jet.sql()];
    if (!prepared) {
      auto fresh = std::make_unique<SqliteStatement>();
      if (int rc = fresh->Prepare(connection_, jet.sql()); rc != SQLITE_OK) {
        prepared_.erase(jet.sql());
        return fail(rc);
      }
      prepared = std::move(fresh);
    }
    statement = prepared.get();
    parameters = jet.parameters();
    // The shape is kept when every literal maps onto its parameter.
    if (split && parameters.size() == count) {
      Plan plan;
      plan.statement = statement;
      bool mapped = true;
      for (size_t i = 0; i < count && mapped; ++i) {
        const SqlParameter::Kind kind = parameters[i].kind;
        switch (literals[i].kind) {
          case Literal::Kind::Quoted:
            mapped = kind != SqlParameter::Kind::Integer;
            plan.slots.push_back(kind == SqlParameter::Kind::Text ? Plan::Slot::Text
                                                                   : Plan::Slot::Date);
            break;
          case Literal::Kind::Hash:
            mapped = kind == SqlParameter::Kind::Real;
            plan.slots.push_back(Plan::Slot::Date);
            break;
          case Literal::Kind::Number:
            mapped = kind != SqlParameter::Kind::Text;
            plan.slots.push_back(Plan::Slot::Number);
            break;
          case Literal::Kind::Word:
            mapped = kind == SqlParameter::Kind::Integer;
            plan.slots.push_back(Plan::Slot::Constant);
            plan.constants.push_back(parameters[i].integer);
            break;
        }
      }
      if (mapped) Remember(jetSql, count, &plans_.emplace(shape, std::move(plan)).first->second);
    }
  }
  // Every run leaves its statement reset, so that it keeps no lock or rows:
  // binding needs no reset first.
  int index = 1;
  for (const SqlParameter& p : parameters) {
    int rc = SQLITE_OK;
    switch (p.kind) {
      case SqlParameter::Kind::Integer: rc = statement->BindInt64(index, p.integer); break;
      case SqlParameter::Kind::Real: rc = statement->BindDouble(index, p.real); break;
      case SqlParameter::Kind::Text: rc = statement->BindText(index, p.text); break;
    }
    if (rc != SQLITE_OK) return fail(rc);
    ++index;
  }
  int rc = statement->Step();
  while (rc == SQLITE_ROW) rc = statement->Step();  // a SELECT sent as a statement
  if (rc != SQLITE_DONE) {
    const DbStatus status = fail(rc);
    statement->Reset();
    return status;
  }
  statement->Reset();
  *changes = connection_.changes();
  return S_OK;
}
