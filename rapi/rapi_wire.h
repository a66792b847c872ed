// The classic RAPI protocol as it travels, written once for both ends: the
// command numbers, the packets (a 32-bit length, then the body), and the
// little-endian fields, strings and optional arguments of the requests and
// answers. The desktop's read-ahead writes requests and reads answers with
// it; the emulated handheld's server reads requests and writes answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The commands a request starts with.
enum class RapiCommand : uint32_t {
  CloseHandle = 0x08,
  FindFirstDatabase = 0x0a,
  FindNextDatabase = 0x0b,
  OidGetInfo = 0x0c,
  OpenDatabase = 0x0e,
  ReadRecordProps = 0x10,
  DeleteRecord = 0x12,
  SeekDatabase = 0x13,
  RegOpenKeyEx = 0x1e,
  RegEnumKeyEx = 0x1f,
  RegCloseKey = 0x21,
  RegEnumValue = 0x23,
  RegQueryInfoKey = 0x25,
  RegQueryValueEx = 0x26,
  GetSystemMemoryDivision = 0x28,
  GetStoreInformation = 0x29,
  FindAllDatabases = 0x2c,
  GetSystemInfo = 0x2f,
  GetVersionEx = 0x3b,
  GetSystemPowerStatusEx = 0x41,
};

// Every packet, request or answer, starts with its body's length.
constexpr size_t kRapiLengthSize = 4;

// Little-endian words at p.
inline uint16_t RapiLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t RapiLe32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// UTF-16LE units up to the first terminator.
std::u16string RapiUnits(const std::vector<uint8_t>& raw);

// An optional argument: 0 when the caller passed no pointer, else 1, the
// room it points to in bytes, whether its value follows (1) or only room for
// a result (0), and the value.
struct RapiParam {
  bool present = false;
  uint32_t size = 0;           // the room the caller has, in bytes
  std::vector<uint8_t> value;  // when its value was sent
  uint32_t U32() const { return value.size() == 4 ? RapiLe32(value.data()) : 0; }
};

// Reads the fields of a packet's body; every read past its end fails.
class RapiReader {
 public:
  RapiReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit RapiReader(const std::vector<uint8_t>& bytes) : RapiReader(bytes.data(), bytes.size()) {}

  bool U16(uint16_t* v);
  bool U32(uint32_t* v);
  bool Bytes(size_t n, std::vector<uint8_t>* out);
  // The next n bytes, in place; null when fewer are left.
  const uint8_t* Skip(size_t n);
  // A string: 1, its length in UTF-16 units with the terminator, the units;
  // or, when absent is allowed, 0 for none (read as empty).
  bool String(std::u16string* out, bool absentAllowed = false);
  bool Optional(RapiParam* p);
  // Optional arguments, in order.
  template <typename... P>
  bool Optionals(P*... params) {
    return (Optional(params) && ...);
  }
  // An answer's start: 0, or 1 and the HRESULT of a failure (*hresult is 0
  // for an answer). False when the body has neither.
  bool AnswerStart(uint32_t* hresult);

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Writes the fields of a packet's body.
class RapiWriter {
 public:
  // An answer's start: 0 ...
  static RapiWriter Answer();
  // ... or 1 and the HRESULT of a failure, with nothing after it.
  static RapiWriter Failure(uint32_t hresult);
  // A request's start: its command.
  static RapiWriter Request(RapiCommand command);

  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void Bytes(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
  void Units(const std::u16string& text);
  // The device's last error, then a registry call's result: the same.
  void Result(int32_t result);
  // An optional result, sent: 1, its size, 1, the bytes.
  void Optional(const uint8_t* data, uint32_t n);
  void Optional(const RapiWriter& fields);
  void OptionalU32(uint32_t v);
  // The result for an optional argument: sent when the caller passed it,
  // else 0.
  void OptionalU32(const RapiParam& asked, uint32_t v);
  // Zero-terminated text, when asked.
  void OptionalText(const RapiParam& asked, const std::u16string& text);
  // n zero bytes (a time nobody keeps), when asked.
  void OptionalZeros(const RapiParam& asked, uint32_t n);

  // Appends the packet (its length, then the body) to out.
  void AppendPacket(std::vector<uint8_t>* out) const;

 private:
  std::vector<uint8_t> bytes_;
};

// A record read (ReadRecordProps) as the desktop sends it: the handle, the
// read's flags, three words the handheld does not use (the properties asked
// for, none: all of them) and a 16-bit count of them.
struct RapiRecordReadRequest {
  uint32_t handle = 0;
  uint32_t flags = 0;
};
void AppendRecordReadRequest(const RapiRecordReadRequest& request, std::vector<uint8_t>* out);
bool ReadRecordReadRequest(RapiReader& in, RapiRecordReadRequest* request);

// Its answer after the answer's start: the device's last error, the record
// (0: none), then the size and count of its values and the values, 16 bytes
// each followed by their strings, as a read returns them.
struct RapiRecordReadAnswer {
  uint32_t lastError = 0;
  uint32_t record = 0;
  uint16_t count = 0;
  const uint8_t* values = nullptr;  // size bytes, in the answer read
  uint32_t size = 0;
};
void WriteRecordReadAnswer(uint32_t lastError, uint32_t record, uint16_t count,
                           const std::vector<uint8_t>& values, RapiWriter& out);
bool ReadRecordReadAnswer(RapiReader& in, RapiRecordReadAnswer* answer);
