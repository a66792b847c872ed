// Fuzzes the escaping of user text for RTF: the result must be plain
// printable ASCII that an RTF reader takes as text only (no group, no other
// control word) and reads back as the text itself.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "documents/rtf_document.h"
#include "fuzz/fuzz_check.h"
#include "platform/utf16.h"

namespace {

// The text an RTF reader gets from escaped output, as UTF-16 units; aborts on
// anything an escape of user text must never contain.
std::u16string ReadAsRtf(const std::string& rtf) {
  std::u16string text;
  size_t i = 0;
  while (i < rtf.size()) {
    const char c = rtf[i];
    FUZZ_CHECK(c >= 0x20 && c <= 0x7E);  // 7-bit, printable, no raw line ends
    FUZZ_CHECK(c != '{' && c != '}');    // a brace of the text never opens or closes a group
    if (c != '\\') {
      text.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    FUZZ_CHECK(i + 1 < rtf.size());  // no backslash left dangling at the end
    const char next = rtf[i + 1];
    if (next == '\\' || next == '{' || next == '}') {
      text.push_back(static_cast<char16_t>(next));
      i += 2;
      continue;
    }
    if (next == '\'') {
      FUZZ_CHECK(i + 4 <= rtf.size());
      const std::string hex = rtf.substr(i + 2, 2);
      FUZZ_CHECK(std::isxdigit(static_cast<unsigned char>(hex[0])) &&
                 std::isxdigit(static_cast<unsigned char>(hex[1])));
      text.push_back(static_cast<char16_t>(std::stoi(hex, nullptr, 16)));
      i += 4;
      continue;
    }
    // A control word: letters, an optional signed number, then one blank
    // that belongs to the word.
    size_t j = i + 1;
    while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
    const std::string word = rtf.substr(i + 1, j - i - 1);
    FUZZ_CHECK(!word.empty());
    if (word == "u") {
      size_t k = j;
      if (k < rtf.size() && rtf[k] == '-') ++k;
      const size_t digits = k;
      while (k < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[k]))) ++k;
      FUZZ_CHECK(k > digits && k - digits <= 5);
      const int value = std::stoi(rtf.substr(j, k - j));
      FUZZ_CHECK(value >= -32768 && value <= 32767);
      text.push_back(static_cast<char16_t>(value < 0 ? value + 0x10000 : value));
      // One fallback character, which a Unicode reader skips.
      FUZZ_CHECK(k < rtf.size() && rtf[k] == '?');
      i = k + 1;
      continue;
    }
    FUZZ_CHECK(word == "tab" || word == "line");
    FUZZ_CHECK(j < rtf.size() && rtf[j] == ' ');
    text.push_back(word == "tab" ? u'\t' : u'\n');
    i = j + 1;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string rtf = RtfEscape(text);

  // The reader sees the text with every line end as one line break and each
  // byte that is not UTF-8 as U+FFFD.
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back('\n');
    } else {
      lines.push_back(text[i]);
    }
  }
  FUZZ_CHECK(ReadAsRtf(rtf) == Utf8ToUtf16(lines));
  return 0;
}
