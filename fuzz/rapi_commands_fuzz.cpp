// Fuzzes the served handheld's answers to RAPI requests: the input is a run
// of requests, each a 16-bit little-endian length and that many bytes of
// body (command number, then arguments), answered in order on one
// connection to a small image (a few records, registry keys and values).
// Every answer must be one whole packet: an answer, or a failure whose
// HRESULT says the command is unknown, its arguments malformed, or the
// handheld failed.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "emulator/rapi_commands.h"
#include "fuzz/fuzz_check.h"

namespace {

// The image, made once per process in a folder of its own, removed at exit.
struct Image {
  Image() {
    char made[] = "/tmp/rapi-commands-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(made) != nullptr);
    folder = made;
    path = folder + "/handheld.hhd";
    FUZZ_CHECK(HandheldImage::Create(path, u"Pocket PC", u"Jane Doe", false).ok());
    HandheldImage image(path);
    FUZZ_CHECK(image.Generate({.records = 6, .spansPerRecord = 2, .accounts = 2}).ok());
    FUZZ_CHECK(
        image
            .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Software\\Apps", u"Count", 4, {1, 0, 0, 0})
            .ok());
  }
  ~Image() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder, path;
};

uint32_t Word(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Image made;
  const std::string& path = made.path;
  EmulatedHandheld handheld(path);
  RapiInit init;
  FUZZ_CHECK(handheld.CeRapiInitEx(&init) == 0);
  FUZZ_CHECK(init.heRapiInit->Wait(30000) && init.heRapiInit->result() == 0);
  HandheldImage image(path);
  RapiCommands commands(handheld, image);
  size_t pos = 0;
  while (size - pos >= 2) {
    const size_t length = data[pos] | data[pos + 1] << 8;
    pos += 2;
    if (size - pos < length) break;
    const std::vector<uint8_t> body(data + pos, data + pos + length);
    pos += length;
    std::vector<uint8_t> packet;
    commands.Answer(body, &packet);
    FUZZ_CHECK(packet.size() >= 8);
    FUZZ_CHECK(Word(packet.data()) == packet.size() - 4);
    const uint32_t kind = Word(packet.data() + 4);
    FUZZ_CHECK(kind == 0 || kind == 1);
    if (kind == 1) {
      FUZZ_CHECK(packet.size() == 12);
      const uint32_t hresult = Word(packet.data() + 8);
      FUZZ_CHECK(hresult == 0x80004001u || hresult == 0x80070057u || hresult == 0x80004005u);
    }
  }
  handheld.CeRapiUninit();
  return 0;
}
