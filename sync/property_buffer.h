// The buffer a record read returns: 16-byte property values followed by the
// UTF-16 strings they point to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/ce_platform.h"

// One property of a record: an integer, or a string when its type is CEVT_LPWSTR.
struct CeValue {
  uint32_t propid = 0;
  int32_t integer = 0;
  std::u16string text;
  bool isString() const { return (propid & 0xFFFF) == CEVT_LPWSTR; }
};

// Lays values out as a read returns them.
std::vector<uint8_t> BuildPropertyBuffer(const std::vector<CeValue>& values);

// The zero-terminated UTF-16LE text at offset pos of the size bytes at data;
// false when it has no terminator before their end (nothing past it is read).
bool ReadTerminatedText(const uint8_t* data, size_t size, size_t pos, std::u16string* out);

// Reads count values from buffer. False when a value, or the text a string
// points to, lies outside the buffer or its text has no terminator: nothing
// is ever read past the buffer.
bool ReadPropertyBuffer(const std::vector<uint8_t>& buffer, uint16_t count,
                        std::vector<CeValue>* out);
