// Fuzzes the reading of a record's property buffer: the first two bytes are
// the value count (little-endian), the rest is the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "sync/property_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const auto count = static_cast<uint16_t>(data[0] | (data[1] << 8));
  const std::vector<uint8_t> buffer(data + 2, data + size);
  std::vector<CeValue> values;
  if (!ReadPropertyBuffer(buffer, count, &values)) return 0;

  // What was read is what a writer of those values would have laid out.
  FUZZ_CHECK(values.size() == count);
  const std::vector<uint8_t> rebuilt = BuildPropertyBuffer(values);
  std::vector<CeValue> again;
  FUZZ_CHECK(ReadPropertyBuffer(rebuilt, count, &again));
  FUZZ_CHECK(again.size() == values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    FUZZ_CHECK(again[i].propid == values[i].propid);
    FUZZ_CHECK(again[i].isString() == values[i].isString());
    if (values[i].isString()) {
      FUZZ_CHECK(again[i].text == values[i].text);
      FUZZ_CHECK(values[i].text.find(u'\0') == std::u16string::npos);
    } else {
      FUZZ_CHECK(again[i].integer == values[i].integer);
    }
  }
  // The rebuilt layout is canonical: building it once more changes nothing.
  FUZZ_CHECK(BuildPropertyBuffer(again) == rebuilt);
  return 0;
}
