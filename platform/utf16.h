// Conversions between the handheld's UTF-16 and the desktop's UTF-8.
#pragma once

#include <string>

// False when text holds a lone surrogate (it cannot be converted); out is
// then unspecified.
bool Utf16ToUtf8(const std::u16string& text, std::string* out);

// Invalid UTF-8 bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
