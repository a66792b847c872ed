// How an operation of the core went: success, or a failure with its code and
// the words that explain it. The codes are the Windows programs' own result
// codes (OLE DB's for the store); a failure that has no code of its own
// carries kFailed. The handheld's codes stay at the handheld's interface.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class [[nodiscard]] Status {
 public:
  // E_FAIL: the code of a failure that has no code of its own.
  static constexpr int32_t kFailed = static_cast<int32_t>(0x80004005u);
  // What a look-up that finds nothing fails with (ERROR_FILE_NOT_FOUND as
  // an HRESULT), where a caller must tell "not there" from a failure.
  static constexpr int32_t kNotFound = static_cast<int32_t>(0x80070002u);

  // Success. code is 0, or a code that says more about the success (as the
  // end of a table's rows does); a success code is never negative.
  static Status Ok(int32_t code = 0) { return Status(code < 0 ? 0 : code); }
  // A failure: code is negative (kFailed for one with no code of its own).
  static Status Failure(int32_t code, std::string message) {
    return Status(code < 0 ? code : kFailed, std::move(message));
  }
  static Status Failure(std::string message) { return Failure(kFailed, std::move(message)); }

  bool ok() const { return code_ >= 0; }
  int32_t code() const { return code_; }
  // The failure's words; empty on success.
  const std::string& message() const { return message_; }

 private:
  explicit Status(int32_t code) : code_(code) {}
  Status(int32_t code, std::string message) : code_(code), message_(std::move(message)) {}
  int32_t code_;
  std::string message_;
};
