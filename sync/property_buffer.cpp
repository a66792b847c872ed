// The buffer a record read returns.
#include "sync/property_buffer.h"

#include <algorithm>

namespace {

void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) (*b)[at + k] = static_cast<uint8_t>(v >> (8 * k));
}
void Put16(std::vector<uint8_t>* b, size_t at, uint16_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace

std::vector<uint8_t> BuildPropertyBuffer(const std::vector<CeValue>& values) {
  std::vector<uint8_t> buffer(values.size() * kCePropValSize, 0);
  for (size_t i = 0; i < values.size(); ++i) {
    const CeValue& v = values[i];
    const size_t at = i * kCePropValSize;
    Put32(&buffer, at, v.propid);
    if (v.isString()) {
      const size_t offset = buffer.size();
      Put16(&buffer, at + 4,
            static_cast<uint16_t>(std::min<size_t>(0xFFFF, (v.text.size() + 1) * 2)));
      Put32(&buffer, at + 8, static_cast<uint32_t>(offset));
      for (char16_t c : v.text) {
        buffer.push_back(static_cast<uint8_t>(c));
        buffer.push_back(static_cast<uint8_t>(c >> 8));
      }
      buffer.push_back(0);
      buffer.push_back(0);
    } else {
      Put32(&buffer, at + 8, static_cast<uint32_t>(v.integer));
    }
  }
  return buffer;
}

bool ReadTerminatedText(const uint8_t* data, size_t size, size_t pos, std::u16string* out) {
  out->clear();
  // The terminator first, then the text in one go.
  size_t end = pos;
  while (end < size && size - end >= 2 && (data[end] | data[end + 1]) != 0) end += 2;
  if (end >= size || size - end < 2) return false;
  out->resize((end - pos) / 2);
  for (char16_t& c : *out) {
    c = static_cast<char16_t>(data[pos] | (data[pos + 1] << 8));
    pos += 2;
  }
  return true;
}

bool ReadPropertyBuffer(const std::vector<uint8_t>& buffer, uint16_t count,
                        std::vector<CeValue>* out) {
  if (static_cast<size_t>(count) * kCePropValSize > buffer.size()) {
    out->clear();
    return false;
  }
  // The values of the previous record are overwritten in place: their texts
  // keep their room, so reading record after record allocates nothing.
  out->resize(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = i * kCePropValSize;
    CeValue& v = (*out)[i];
    v.propid = Get32(buffer, at);
    const uint32_t word = Get32(buffer, at + 8);
    if (v.isString()) {
      v.integer = 0;
      if (!ReadTerminatedText(buffer.data(), buffer.size(), word, &v.text)) {
        out->resize(i);
        return false;
      }
    } else {
      v.integer = static_cast<int32_t>(word);
      v.text.clear();
    }
  }
  return true;
}
