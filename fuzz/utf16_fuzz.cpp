// Fuzzes the UTF-8/UTF-16 conversions: the bytes are read once as UTF-8 and
// once as UTF-16LE units.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/utf16.h"
#include "platform/utf8.h"

namespace {

bool HasLoneSurrogate(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // As UTF-8: the result is always valid UTF-16, and gives the bytes back
  // exactly when they were well-formed UTF-8.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string units = Utf8ToUtf16(bytes);
  FUZZ_CHECK(!HasLoneSurrogate(units));
  FUZZ_CHECK(units.size() <= bytes.size());
  std::string back;
  FUZZ_CHECK(Utf16ToUtf8(units, &back));
  FUZZ_CHECK(IsUtf8(back));
  FUZZ_CHECK((back == bytes) == IsUtf8(bytes));
  FUZZ_CHECK(Utf8ToUtf16(back) == units);

  // As UTF-16LE: converts exactly when no surrogate stands alone, and then
  // comes back unit for unit.
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  std::string utf8;
  const bool converted = Utf16ToUtf8(text, &utf8);
  FUZZ_CHECK(converted == !HasLoneSurrogate(text));
  if (converted) {
    FUZZ_CHECK(IsUtf8(utf8));
    FUZZ_CHECK(Utf8ToUtf16(utf8) == text);
  }
  return 0;
}
