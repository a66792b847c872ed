// Every statement the programs send to a local store.
#include "store/statements.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <string_view>

namespace {

// One piece of a statement: a text as it stands (up to a zero byte, as the
// texts were always put in with printf's %s), optionally with one character
// replaced throughout, or a number in decimal.
struct Piece {
  Piece(const char* text) : text(text) {}
  Piece(const std::string& text) : text(text.c_str()) {}
  Piece(int32_t number) : isNumber(true), number(number) {}
  std::string_view text;
  char from = 0, to = 0;
  bool isNumber = false;
  int32_t number = 0;
};

// text with from replaced by to: a quoted name or notes.
Piece Replaced(const std::string& text, char from, char to) {
  Piece piece(text);
  piece.from = from;
  piece.to = to;
  return piece;
}

// The pieces one after the other, in one allocation: a synchronization
// writes a statement for every row, and printf cost more than running it.
std::string Compose(std::initializer_list<Piece> pieces) {
  size_t size = 0;
  for (const Piece& p : pieces) size += p.isNumber ? 11 : p.text.size();
  std::string out;
  out.reserve(size);
  for (const Piece& p : pieces) {
    if (p.isNumber) {
      char digits[16];
      const auto end = std::to_chars(digits, digits + sizeof digits, p.number).ptr;
      out.append(digits, end);
    } else {
      const size_t at = out.size();
      out.append(p.text);
      if (p.from != 0) {
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), p.from, p.to);
      }
    }
  }
  return out;
}

}  // namespace

std::string NameForStatement(const std::string& name) {
  std::string result = name;
  std::replace(result.begin(), result.end(), '\'', '`');
  return result;
}

std::string NotesForStatement(std::string notes) {
  std::replace(notes.begin(), notes.end(), '"', '\'');
  return notes;
}

std::string MarkInvoicedStatement(const std::string& dateText, int32_t recordId) {
  return Compose({"update hlgroup set invoiced = Yes, invoicedate = '", dateText, "' where id = ",
                  recordId});
}

std::string FlagDeletedStatement() {
  return "update hlgroup set deleted = Yes where invoiced = Yes and deleted = No";
}

std::string InsertAccountStatement(int32_t accountId, const std::string& name) {
  return Compose({"insert into accountname values (", accountId, ", '", Replaced(name, '\'', '`'),
                  "')"});
}

std::string RenameAccountStatement(const std::string& name, int32_t accountId) {
  return Compose({"update accountname set name = '", Replaced(name, '\'', '`'), "' where id = ",
                  accountId});
}

std::string InsertItemStatement(int32_t itemId, int32_t accountId, const std::string& name) {
  return Compose({"insert into itemname values (", itemId, ", ", accountId, ", '",
                  Replaced(name, '\'', '`'), "')"});
}

std::string UpdateItemStatement(int32_t accountId, const std::string& name, int32_t itemId) {
  return Compose({"update itemname set parent = ", accountId, ", name = '",
                  Replaced(name, '\'', '`'), "' where id = ", itemId});
}

std::string DeleteSpansStatement(int32_t recordId) {
  return Compose({"delete from hltime where parent = ", recordId});
}

std::string DeleteUninvoicedStatement() { return "delete from hlgroup where invoiced = No"; }

std::string InsertTimeRecordStatement(int32_t recordId, int32_t grpdate, int32_t accountId,
                                      int32_t itemId, const std::string& notes) {
  return Compose({"insert into hlgroup values (", recordId, ", ", grpdate, ", ", accountId, ", ",
                  itemId, ", \"", Replaced(notes, '"', '\''), "\", 0, '01-JAN-1900', 0)"});
}

std::string InsertSpanStatement(int32_t recordId, int32_t starttime, int32_t duration) {
  return Compose({"insert into hltime values (", recordId, ", ", starttime, ", ", duration, ")"});
}

std::string DeleteTimeRecordStatement(int32_t recordId) {
  return Compose({"delete from hlgroup where id = ", recordId});
}

std::string DeleteItemsOfAccountStatement(int32_t accountId) {
  return Compose({"delete from itemname where parent = ", accountId});
}

std::string DeleteAccountStatement(int32_t accountId) {
  return Compose({"delete from accountname where id = ", accountId});
}
