// Every statement the programs send to a local store.
#include "store/statements.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// printf into a string of whatever length the values need.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 0) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return std::string(buffer.data(), static_cast<size_t>(size > 0 ? size : 0));
}

}  // namespace

std::string NameForStatement(const std::string& name) {
  std::string result = name;
  std::replace(result.begin(), result.end(), '\'', '`');
  return result;
}

std::string NotesForStatement(const std::string& notes) {
  std::string result = notes;
  std::replace(result.begin(), result.end(), '"', '\'');
  return result;
}

std::string MarkInvoicedStatement(const std::string& dateText, int32_t recordId) {
  return Format("update hlgroup set invoiced = Yes, invoicedate = '%s' where id = %d",
                dateText.c_str(), recordId);
}

std::string FlagDeletedStatement() {
  return "update hlgroup set deleted = Yes where invoiced = Yes and deleted = No";
}

std::string InsertAccountStatement(int32_t accountId, const std::string& name) {
  return Format("insert into accountname values (%d, '%s')", accountId,
                NameForStatement(name).c_str());
}

std::string RenameAccountStatement(const std::string& name, int32_t accountId) {
  return Format("update accountname set name = '%s' where id = %d", NameForStatement(name).c_str(),
                accountId);
}

std::string InsertItemStatement(int32_t itemId, int32_t accountId, const std::string& name) {
  return Format("insert into itemname values (%d, %d, '%s')", itemId, accountId,
                NameForStatement(name).c_str());
}

std::string UpdateItemStatement(int32_t accountId, const std::string& name, int32_t itemId) {
  return Format("update itemname set parent = %d, name = '%s' where id = %d", accountId,
                NameForStatement(name).c_str(), itemId);
}

std::string DeleteSpansStatement(int32_t recordId) {
  return Format("delete from hltime where parent = %d", recordId);
}

std::string DeleteUninvoicedStatement() { return "delete from hlgroup where invoiced = No"; }

std::string InsertTimeRecordStatement(int32_t recordId, int32_t grpdate, int32_t accountId,
                                      int32_t itemId, const std::string& notes) {
  return Format("insert into hlgroup values (%d, %d, %d, %d, \"%s\", 0, '01-JAN-1900', 0)",
                recordId, grpdate, accountId, itemId, NotesForStatement(notes).c_str());
}

std::string InsertSpanStatement(int32_t recordId, int32_t starttime, int32_t duration) {
  return Format("insert into hltime values (%d, %d, %d)", recordId, starttime, duration);
}

std::string DeleteTimeRecordStatement(int32_t recordId) {
  return Format("delete from hlgroup where id = %d", recordId);
}

std::string DeleteItemsOfAccountStatement(int32_t accountId) {
  return Format("delete from itemname where parent = %d", accountId);
}

std::string DeleteAccountStatement(int32_t accountId) {
  return Format("delete from accountname where id = %d", accountId);
}
