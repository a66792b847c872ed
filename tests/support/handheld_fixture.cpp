// A test's docked handheld.
#include "support/handheld_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

HandheldFixture::HandheldFixture(const std::u16string& name,
                                 const std::optional<std::u16string>& owner)
    : image(dir.File("handheld.hhd")), dock("HORALOG_HANDHELD", dir.File("dock/handheld.hhd")) {
  std::string error;
  EXPECT_TRUE(HandheldImage::Create(imagePath(), name, owner, false, &error)) << error;
  std::filesystem::create_directories(dir.File("dock"));
  EXPECT_EQ(::symlink(imagePath().c_str(), dockPath().c_str()), 0);
}
