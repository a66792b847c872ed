// Fuzzes the reading of Windows stores: the bytes are read as a Jet or ACE
// file through mdbtools. A file either is refused with a reason or reads as
// rows that all keep the rules the import relies on: Jet keeps no checksums,
// so every value that passes must have been checked.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/utf8.h"
#include "store/windows_store_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WindowsStoreRows rows;
  if (const Status read = WindowsStoreReader().ReadBytes(bytes, &rows); !read.ok()) {
    FUZZ_CHECK(!read.message().empty());
    return 0;
  }
  std::set<int32_t> records;
  for (const AccountEntry& account : rows.accounts) {
    FUZZ_CHECK(account.id > 0 && CountCharacters(account.name) <= kMaxNameChars);
    FUZZ_CHECK(IsUtf8(account.name) && account.name.find('\'') == std::string::npos);
  }
  for (const ItemEntry& item : rows.items) {
    FUZZ_CHECK(item.id > 0 && item.parent > 0 && CountCharacters(item.name) <= kMaxNameChars);
  }
  for (const WindowsTimeRecord& record : rows.records) {
    FUZZ_CHECK(record.id > 0 && records.insert(record.id).second);
    FUZZ_CHECK(PackedMonth(record.grpdate) >= 1 && PackedMonth(record.grpdate) <= 12);
    FUZZ_CHECK(std::isfinite(record.invoicedate) && record.invoicedate >= kOldestJetDate &&
               record.invoicedate <= kNewestJetDate);
    FUZZ_CHECK(IsUtf8(record.notes) && CountCharacters(record.notes) <= kMaxNotesChars);
  }
  for (const TimeSpan& span : rows.spans) {
    FUZZ_CHECK(records.count(span.parent) == 1);
    FUZZ_CHECK(span.starttime >= 0 && span.starttime < 86400 && span.duration >= 0);
  }
  return 0;
}
