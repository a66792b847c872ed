// Character counts and cuts of UTF-8 text.
#include "platform/utf8.h"

namespace {
bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
}  // namespace

size_t CountCharacters(const std::string& text) {
  size_t count = 0;
  for (unsigned char byte : text) {
    if (!IsContinuation(byte)) ++count;
  }
  return count;
}

std::string CutToCharacters(const std::string& text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuation(static_cast<unsigned char>(text[i]))) continue;
    if (chars == maxChars) return text.substr(0, i);
    ++chars;
  }
  return text;
}
