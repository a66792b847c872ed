// The password of a locked handheld, encoded with its key.
#include "emulator/device_password.h"

#include <algorithm>

#include "platform/socket_io.h"
#include "platform/utf16.h"

namespace {

// Padding a wider length field puts after the 16-bit length.
constexpr size_t kMaxPadding = 6;

}  // namespace

std::vector<uint8_t> DevicePassword::Encode(const std::string& text, uint8_t key) {
  std::u16string units = Utf8ToUtf16(text);
  units.push_back(u'\0');
  std::vector<uint8_t> bytes;
  for (char16_t c : units) {
    bytes.push_back(static_cast<uint8_t>(c) ^ key);
    bytes.push_back(static_cast<uint8_t>(c >> 8) ^ key);
  }
  return bytes;
}

DevicePassword::DevicePassword(const std::string& text) {
  const std::vector<uint8_t> plain = Encode(text, 0);
  // A key that is none of the plain bytes leaves no encoded byte zero. The
  // high bit set keeps it off ASCII; a password using all 255 other values
  // is too long for any handheld's entry field, and keeps the last key.
  key_ = 0xA5;
  for (int k = 0xA5; k < 0xA5 + 255; ++k) {
    const auto candidate = static_cast<uint8_t>(k % 255 + 1);
    if (std::find(plain.begin(), plain.end(), candidate) == plain.end()) {
      key_ = candidate;
      break;
    }
  }
  encoded_ = Encode(text, key_);
}

bool DevicePassword::Read(int fd, bool* matches) const {
  uint8_t length[2];
  if (!ReceiveAll(fd, length, 2)) return false;
  const size_t n = length[0] | length[1] << 8;
  std::vector<uint8_t> answer;
  // Zero bytes right after the length are padding when there are exactly
  // kMaxPadding of them; fewer are the answer's own first bytes (only a
  // wrong answer has any, and one of all zeros is misread: still wrong).
  size_t zeros = 0;
  uint8_t byte = 0;
  while (zeros < kMaxPadding) {
    if (!ReceiveAll(fd, &byte, 1)) return false;
    if (byte != 0) break;
    ++zeros;
  }
  if (zeros == kMaxPadding) {
    answer.resize(n);
    if (!ReceiveAll(fd, answer.data(), n)) return false;
  } else {
    answer.assign(zeros, 0);
    answer.push_back(byte);
    const size_t have = answer.size();
    if (have < n) {
      answer.resize(n);
      if (!ReceiveAll(fd, answer.data() + have, n - have)) return false;
    }
  }
  *matches = answer == encoded_;
  return true;
}
