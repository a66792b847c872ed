// Every statement the programs send to a local store, one function each, with
// the exact texts the programs have always sent.
#pragma once

#include <cstdint>
#include <string>

// Names are quoted with apostrophes in the statements, so an apostrophe in a
// name becomes a backquote; notes are quoted with double quotes, so a double
// quote in the notes becomes an apostrophe. The statement functions apply
// these themselves.
std::string NameForStatement(const std::string& name);
std::string NotesForStatement(std::string notes);

// 1: record id invoiced on the day dateText ("%m/%d/%y").
std::string MarkInvoicedStatement(const std::string& dateText, int32_t recordId);
// 2: invoiced records flagged as removed from the handheld.
std::string FlagDeletedStatement();
// 3, 4: a new account; an account renamed.
std::string InsertAccountStatement(int32_t accountId, const std::string& name);
std::string RenameAccountStatement(const std::string& name, int32_t accountId);
// 5, 6: a new item; an item moved or renamed.
std::string InsertItemStatement(int32_t itemId, int32_t accountId, const std::string& name);
std::string UpdateItemStatement(int32_t accountId, const std::string& name, int32_t itemId);
// 7: the spans of one record.
std::string DeleteSpansStatement(int32_t recordId);
// 8: every uninvoiced record.
std::string DeleteUninvoicedStatement();
// 9, 10: a record and a span copied from the handheld.
std::string InsertTimeRecordStatement(int32_t recordId, int32_t grpdate, int32_t accountId,
                                      int32_t itemId, const std::string& notes);
std::string InsertSpanStatement(int32_t recordId, int32_t starttime, int32_t duration);
// 11, 12, 13: one record, the items of an account, the account.
std::string DeleteTimeRecordStatement(int32_t recordId);
std::string DeleteItemsOfAccountStatement(int32_t accountId);
std::string DeleteAccountStatement(int32_t accountId);
