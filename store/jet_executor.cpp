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
  std::string text;
};

namespace {

using Literal = JetLiteral;

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Splits jet into its shape (the text with each literal's value replaced by a
// mark; a word literal such as Yes stays) and its literals, reading the text
// as the translation does. False for text the translation would refuse or
// that needs it in full (an unterminated quote, date or name, a zero byte).
bool Split(const std::string& jet, std::string* shape, std::vector<Literal>* literals,
           size_t* count) {
  const size_t n = jet.size();
  shape->clear();
  *count = 0;
  // The literals' strings are kept from one statement to the next.
  auto next = [&](Literal::Kind kind) -> std::string& {
    if (*count == literals->size()) literals->emplace_back();
    Literal& literal = (*literals)[(*count)++];
    literal.kind = kind;
    literal.text.clear();
    return literal.text;
  };
  for (size_t i = 0; i < n;) {
    const char c = jet[i];
    if (c == '\0') return false;
    if (c == '\'' || c == '"') {
      std::string& text = next(Literal::Kind::Quoted);
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= n) return false;
        if (jet[j] != c) {
          text += jet[j];
        } else if (j + 1 < n && jet[j + 1] == c) {
          text += c;
          ++j;
        } else {
          break;
        }
      }
      shape->push_back(c);
      shape->push_back('\x01');
      i = j + 1;
    } else if (c == '#') {
      const size_t end = jet.find('#', i + 1);
      if (end == std::string::npos) return false;
      shape->append("#\x01");
      next(Literal::Kind::Hash).assign(jet, i + 1, end - i - 1);
      i = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(jet[i + 1])))) {
      const size_t j = JetNumberEnd(jet, i);
      shape->push_back('\x02');
      next(Literal::Kind::Number).assign(jet, i, j - i);
      i = j;
    } else if (IsIdentStart(c)) {
      size_t j = i;
      while (j < n && IsIdentChar(jet[j])) ++j;
      if (j - i <= 5) {
        char lower[6] = {};
        for (size_t k = i; k < j; ++k) {
          lower[k - i] = static_cast<char>(std::tolower(static_cast<unsigned char>(jet[k])));
        }
        const std::string_view word(lower, j - i);
        if (word == "yes" || word == "true" || word == "no" || word == "false") {
          next(Literal::Kind::Word).assign(word);
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
  const bool split = Split(jetSql, &shape, &literals, &count);
  SqliteStatement* statement = nullptr;
  std::vector<SqlParameter>& parameters = parameters_;
  if (auto known = split ? plans_.find(shape) : plans_.end(); known != plans_.end()) {
    const Plan& plan = known->second;
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
      if (mapped) plans_.emplace(shape, std::move(plan));
    }
  }
  // A statement left unreset by a failure must not keep its lock or rows.
  statement->Reset();
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
