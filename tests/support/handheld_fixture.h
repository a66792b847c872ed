// A test's docked handheld: an image in the temporary folder, linked at a
// dock location of its own (HORALOG_HANDHELD), beside a store fixture.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "emulator/handheld_image.h"
#include "support/store_fixture.h"

// text as a registry string value holds it: UTF-16LE with its terminator.
std::vector<uint8_t> RegistryText(const std::u16string& text);

// The records of database with that key removed from image: how many, or -1
// when the removal fails.
int64_t RemoveRecords(HandheldImage& image, const std::string& database, int32_t key);

class HandheldFixture : public StoreFixture {
 public:
  // Creates the image (name "Pocket PC", owner "Jane Doe" unless given) and docks it.
  explicit HandheldFixture(const std::u16string& name = u"Pocket PC",
                           const std::optional<std::u16string>& owner = u"Jane Doe");
  std::string imagePath() const { return dir.File("handheld.hhd"); }
  std::string dockPath() const { return dir.File("dock/handheld.hhd"); }
  HandheldImage image;
  ScopedEnv dock;
};
