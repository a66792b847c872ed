// A test's docked handheld.
#include "support/handheld_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

std::vector<uint8_t> RegistryText(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text + u'\0') {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

HandheldFixture::HandheldFixture(const std::u16string& name,
                                 const std::optional<std::u16string>& owner)
    : image(dir.File("handheld.hhd")), dock("HORALOG_HANDHELD", dir.File("dock/handheld.hhd")) {
  const Status created = HandheldImage::Create(imagePath(), name, owner, false);
  EXPECT_TRUE(created.ok()) << created.message();
  std::filesystem::create_directories(dir.File("dock"));
  EXPECT_EQ(::symlink(imagePath().c_str(), dockPath().c_str()), 0);
}

int64_t RemoveRecords(HandheldImage& image, const std::string& database, int32_t key) {
  int64_t removed = 0;
  return image.Remove(database, key, &removed).ok() ? removed : -1;
}
