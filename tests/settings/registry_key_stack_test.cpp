// Tests of the key stack: path walks, the ten-level bound, and the typed
// reads and writes of the top key.
#include "settings/registry_key_stack.h"

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace {

bool Exists(const TestEnvironment& env, const std::vector<std::string>& names) {
  Registry registry(env.registryPath());
  RegistryKey key = 0;
  return registry.OpenKeyPath(kHkeyCurrentUser, names, &key).ok();
}

std::vector<uint8_t> Stored(const TestEnvironment& env, const std::vector<std::string>& names,
                            const std::string& value) {
  Registry registry(env.registryPath());
  RegistryKey key = 0;
  RegistryValue out;
  if (!registry.OpenKeyPath(kHkeyCurrentUser, names, &key).ok()) return {};
  if (!registry.QueryValue(key, value, &out).ok()) return {};
  return out.data;
}

}  // namespace

TEST(RegistryKeyStack, WalksPathsOneComponentAtATime) {
  TestEnvironment env;
  RegistryKeyStack stack;
  EXPECT_EQ(stack.depth(), 1u);
  EXPECT_FALSE(stack.OpenPath("A\\B"));  // nothing exists yet, nothing is created
  EXPECT_EQ(stack.depth(), 1u);
  EXPECT_FALSE(Exists(env, {"A"}));

  // Leading, trailing and doubled separators do not matter.
  EXPECT_TRUE(stack.CreatePath("\\A\\\\B\\"));
  EXPECT_EQ(stack.depth(), 3u);
  EXPECT_TRUE(Exists(env, {"A", "B"}));
  EXPECT_EQ(stack.Pop(), 2u);

  // A failing component does not end the walk; the last one decides.
  EXPECT_TRUE(stack.OpenPath("Missing\\B"));
  EXPECT_EQ(stack.depth(), 3u);
  EXPECT_EQ(stack.Pop(), 2u);
  EXPECT_FALSE(stack.OpenPath("B\\Missing"));
  EXPECT_EQ(stack.depth(), 3u);
  EXPECT_FALSE(stack.OpenPath(""));
  EXPECT_FALSE(stack.CreatePath("\\\\\\"));
  EXPECT_FALSE(stack.CreateChild(""));
  EXPECT_EQ(stack.depth(), 3u);

  // A child name holding "\" reaches nested keys in one level, so one Pop
  // goes back to where it started; a failing one changes nothing.
  EXPECT_TRUE(stack.CreateChild("C\\\\D\\"));
  EXPECT_EQ(stack.depth(), 4u);
  EXPECT_TRUE(Exists(env, {"A", "B", "C", "D"}));
  EXPECT_TRUE(stack.SetDword("v", 7));
  EXPECT_EQ(Stored(env, {"A", "B", "C", "D"}, "v"), (std::vector<uint8_t>{7, 0, 0, 0}));
  EXPECT_EQ(stack.Pop(), 3u);
  EXPECT_TRUE(stack.SetDword("w", 8));
  EXPECT_EQ(Stored(env, {"A", "B"}, "w"), (std::vector<uint8_t>{8, 0, 0, 0}));
  EXPECT_FALSE(stack.OpenChild("C\\Missing"));
  EXPECT_EQ(stack.depth(), 3u);
  EXPECT_TRUE(stack.OpenChild("C\\D"));
  EXPECT_EQ(stack.Pop(), 3u);

  stack.CloseAll();
  EXPECT_EQ(stack.depth(), 0u);
  EXPECT_EQ(stack.Pop(), 0u);
  EXPECT_FALSE(stack.OpenChild("A"));
  EXPECT_FALSE(stack.CreateChild("Z"));
  EXPECT_FALSE(stack.SetDword("v", 1));
  uint32_t dword = 0;
  EXPECT_FALSE(stack.QueryDword("v", &dword));
  EXPECT_FALSE(Exists(env, {"Z"}));
}

TEST(RegistryKeyStack, HoldsAtMostTenLevels) {
  TestEnvironment env;
  RegistryKeyStack stack;
  // Root plus nine levels fill the stack; L10 to L12 find no room.
  EXPECT_FALSE(stack.CreatePath("L1\\L2\\L3\\L4\\L5\\L6\\L7\\L8\\L9\\L10\\L11\\L12"));
  EXPECT_EQ(stack.depth(), RegistryKeyStack::kMaxDepth);
  const std::vector<std::string> nine = {"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"};
  EXPECT_TRUE(Exists(env, nine));
  Registry registry(env.registryPath());
  RegistryKey top = 0;
  std::vector<std::string> below;
  ASSERT_TRUE(registry.OpenKeyPath(kHkeyCurrentUser, nine, &top).ok());
  ASSERT_TRUE(registry.ListSubKeys(top, &below).ok());
  EXPECT_TRUE(below.empty());

  // The top stays the tenth level, which writes still reach.
  EXPECT_FALSE(stack.CreateChild("More"));
  EXPECT_FALSE(stack.CreateChild("Deeper\\Still"));
  EXPECT_TRUE(stack.SetString("at", "ten"));
  EXPECT_EQ(Stored(env, nine, "at"), (std::vector<uint8_t>{'t', 'e', 'n', 0}));
  EXPECT_EQ(stack.Pop(), 9u);
  EXPECT_TRUE(stack.CreateChild("Other"));
  EXPECT_EQ(stack.depth(), 10u);
}

TEST(RegistryKeyStack, PathsAreCutAt1023Characters) {
  TestEnvironment env;
  RegistryKeyStack stack;
  // Characters, not bytes: both two-byte "é" still fit, the "X" after them
  // is the 1024th character and does not.
  EXPECT_TRUE(stack.CreatePath(std::string(1021, '\\') + "ééX"));
  EXPECT_EQ(stack.depth(), 2u);
  EXPECT_TRUE(Exists(env, {"éé"}));
  EXPECT_FALSE(Exists(env, {"ééX"}));
  EXPECT_EQ(stack.Pop(), 1u);
  EXPECT_TRUE(stack.OpenPath(std::string(1021, '\\') + "ééX"));
}

TEST(RegistryKeyStack, StringsFitWhenTheirCharactersAndZeroFitTheCapacity) {
  TestEnvironment env;
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath("S"));
  const std::string thirtyOne(31, 'x');
  std::string thirtyOneWide;
  for (int i = 0; i < 31; ++i) thirtyOneWide += "é";
  stack.SetString("31", thirtyOne);
  stack.SetString("32", thirtyOne + "y");
  stack.SetString("31wide", thirtyOneWide);
  stack.SetString("long", std::string(1000, 'z'));
  std::string out;
  EXPECT_TRUE(stack.QueryString("31", &out, 32));
  EXPECT_EQ(out, thirtyOne);
  out = "unchanged";
  EXPECT_FALSE(stack.QueryString("32", &out, 32));
  EXPECT_EQ(out, "unchanged");
  EXPECT_TRUE(stack.QueryString("31wide", &out, 32));
  EXPECT_EQ(out, thirtyOneWide);
  EXPECT_FALSE(stack.QueryString("long", &out, 256));
  EXPECT_TRUE(stack.QueryString("long", &out, 0));
  EXPECT_EQ(out, std::string(1000, 'z'));
  EXPECT_FALSE(stack.QueryString("missing", &out, 0));
  EXPECT_EQ(Stored(env, {"S"}, "31wide").size(), 63u);  // UTF-8 and its zero

  // Values not written by SetString: no terminating zero, or zeros inside.
  Registry registry(env.registryPath());
  RegistryKey key = 0;
  ASSERT_TRUE(registry.OpenKeyPath(kHkeyCurrentUser, {"S"}, &key).ok());
  ASSERT_TRUE(registry.SetValue(key, "bare", kRegSz, {'a', 'b', 'c'}).ok());
  ASSERT_TRUE(registry.SetValue(key, "inner", kRegSz, {'a', 'b', 0, 'c', 0}).ok());
  EXPECT_TRUE(stack.QueryString("bare", &out, 4));
  EXPECT_EQ(out, "abc");
  EXPECT_FALSE(stack.QueryString("bare", &out, 3));
  EXPECT_TRUE(stack.QueryString("inner", &out, 0));
  EXPECT_EQ(out, "ab");
}

TEST(RegistryKeyStack, DwordsAreFourLittleEndianBytesOfAnyType) {
  TestEnvironment env;
  RegistryKeyStack stack;
  ASSERT_TRUE(stack.CreatePath("D"));
  ASSERT_TRUE(stack.SetDword("full", 0x01020304));
  EXPECT_EQ(Stored(env, {"D"}, "full"), (std::vector<uint8_t>{4, 3, 2, 1}));
  Registry registry(env.registryPath());
  RegistryKey key = 0;
  ASSERT_TRUE(registry.OpenKeyPath(kHkeyCurrentUser, {"D"}, &key).ok());
  ASSERT_TRUE(registry.SetValue(key, "short", kRegBinary, {0x34, 0x12}).ok());
  ASSERT_TRUE(registry.SetValue(key, "empty", kRegBinary, {}).ok());
  ASSERT_TRUE(registry.SetValue(key, "five", kRegBinary, {1, 2, 3, 4, 5}).ok());
  stack.SetString("text", "12");

  uint32_t out = 0;
  EXPECT_TRUE(stack.QueryDword("full", &out));
  EXPECT_EQ(out, 0x01020304u);
  out = 0xFFFFFFFF;
  EXPECT_TRUE(stack.QueryDword("short", &out));
  EXPECT_EQ(out, 0x1234u);
  out = 0xFFFFFFFF;
  EXPECT_TRUE(stack.QueryDword("empty", &out));
  EXPECT_EQ(out, 0u);
  EXPECT_TRUE(stack.QueryDword("text", &out));  // '1', '2', zero: readers never check the type
  EXPECT_EQ(out, 0x3231u);
  out = 99;
  EXPECT_FALSE(stack.QueryDword("five", &out));
  EXPECT_FALSE(stack.QueryDword("missing", &out));
  EXPECT_EQ(out, 99u);

  EXPECT_TRUE(stack.DeleteValue("full"));
  EXPECT_FALSE(stack.QueryDword("full", &out));
  EXPECT_FALSE(stack.DeleteValue("full"));
}
