// The password of a locked handheld as the desktop proves it knows it: the
// text in UTF-16LE with its terminator, every byte XORed with a key the
// handheld chose and sent in its challenge. The desktop sends the encoded
// bytes after their 16-bit length, once on the control link and again at the
// start of every RAPI connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DevicePassword {
 public:
  // Text in UTF-8. The key is chosen so that no byte of the encoded password
  // is zero: the start of an answer is then told from padding (see Read).
  explicit DevicePassword(const std::string& text);

  // text (UTF-8) as the desktop sends it to a handheld whose key is key.
  static std::vector<uint8_t> Encode(const std::string& text, uint8_t key);

  uint8_t key() const { return key_; }
  // The password as the desktop sends it, encoded with key().
  const std::vector<uint8_t>& encoded() const { return encoded_; }

  // Reads one answer from the connected socket fd: its 16-bit length, then
  // the encoded bytes. SynCE's dccm sends the length as a word of its own
  // machine (8 bytes on 64-bit machines): up to 6 zero bytes after the
  // length are taken for that padding. False when the connection ended
  // first; else *matches tells whether the answer is this password.
  bool Read(int fd, bool* matches) const;

 private:
  uint8_t key_ = 0;
  std::vector<uint8_t> encoded_;
};
