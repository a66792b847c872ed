// Character counts and cuts of UTF-8 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Number of characters (code points) of UTF-8 text; a byte that is not UTF-8
// counts as one.
size_t CountCharacters(const std::string& text);

// text cut after at most maxChars characters, never inside a UTF-8 sequence;
// the view is the beginning of text.
std::string_view CharactersPrefix(std::string_view text, size_t maxChars);
inline std::string CutToCharacters(std::string_view text, size_t maxChars) {
  return std::string(CharactersPrefix(text, maxChars));
}

// Simple per-character case folding of UTF-8 text, as names compare on
// Windows (Straße and STRASSE differ); bytes that are not UTF-8 stay as they are.
std::string FoldCase(const std::string& text);

// True when text is well-formed UTF-8; otherwise false, with the byte offset
// of the first ill-formed sequence in *bad when bad is given.
bool IsUtf8(const std::string& text, size_t* bad = nullptr);
