// Character counts and cuts of UTF-8 text.
#pragma once

#include <cstddef>
#include <string>

// Number of characters (code points) of UTF-8 text; stray continuation bytes
// count as nothing.
size_t CountCharacters(const std::string& text);

// text cut after at most maxChars characters, never inside a UTF-8 sequence.
std::string CutToCharacters(const std::string& text, size_t maxChars);
