// Character counts and cuts of UTF-8 text.
#include "platform/utf8.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

size_t CountCharacters(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  size_t count = 0;
  for (int32_t i = 0; i < length; ++count) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
  }
  return count;
}

std::string_view CharactersPrefix(std::string_view text, size_t maxCharacters) {
  // Every character takes a byte at least.
  if (text.size() <= maxCharacters) return text;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  for (size_t count = 0; i < length && count < maxCharacters; ++count) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
  }
  return text.substr(0, static_cast<size_t>(i));
}

std::string FoldCase(const std::string& text) {
  std::string folded;
  folded.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      // Bytes that are not UTF-8 stay as they are, so distinct names stay distinct.
      folded.append(text, static_cast<size_t>(start), static_cast<size_t>(i - start));
      continue;
    }
    const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    uint8_t out[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(out, n, f);
    folded.append(reinterpret_cast<const char*>(out), static_cast<size_t>(n));
  }
  return folded;
}

bool IsUtf8(const std::string& text, size_t* bad) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      if (bad) *bad = static_cast<size_t>(start);
      return false;
    }
  }
  return true;
}
