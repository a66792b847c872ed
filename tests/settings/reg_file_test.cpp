// Tests of .reg files: every kind of line, both versions and their
// encodings, malformed files, and export followed by import.
#include "settings/reg_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/test_env.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<uint8_t> Sz(const std::string& text) {
  std::vector<uint8_t> data = Bytes(text);
  data.push_back(0);
  return data;
}

// Every key and value below key, one line each, for comparing whole trees.
void Dump(Registry& registry, RegistryKey key, const std::string& path, std::ostringstream* out) {
  std::vector<RegistryValue> values;
  std::vector<std::string> names;
  ASSERT_TRUE(registry.ListValues(key, &values).ok());
  ASSERT_TRUE(registry.ListSubKeys(key, &names).ok());
  *out << "[" << path << "]\n";
  for (const RegistryValue& value : values) {
    *out << value.name << " " << value.type << ":";
    for (uint8_t byte : value.data) *out << " " << int{byte};
    *out << "\n";
  }
  for (const std::string& name : names) {
    RegistryKey child = 0;
    ASSERT_TRUE(registry.OpenKey(key, name, &child).ok());
    Dump(registry, child, path + "\\" + name, out);
  }
}

std::string Dump(Registry& registry) {
  std::ostringstream out;
  Dump(registry, kHkeyCurrentUser, "", &out);
  return out.str();
}

RegistryValue Value(Registry& registry, const std::vector<std::string>& names,
                    const std::string& name) {
  RegistryKey key = 0;
  RegistryValue value;
  EXPECT_TRUE(registry.OpenKeyPath(kHkeyCurrentUser, names, &key).ok()) << names.back();
  EXPECT_TRUE(registry.QueryValue(key, name, &value).ok()) << name;
  return value;
}

bool Import(Registry& registry, const std::string& bytes, std::string* error = nullptr) {
  RegFile file;
  Status status = file.Parse(bytes);
  if (status.ok()) status = file.Apply(&registry);
  if (error) *error = status.message();
  return status.ok();
}

std::string Utf16Le(const std::string& ascii_or_utf8) {
  std::string out = "\xFF\xFE";
  std::u16string units;
  for (size_t i = 0; i < ascii_or_utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(ascii_or_utf8[i]);
    if (c < 0x80) {
      units.push_back(c);
    } else {  // two-byte sequences are all the tests use
      units.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (ascii_or_utf8[++i] & 0x3F)));
    }
  }
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

}  // namespace

TEST(RegFile, ImportsEveryKindOfLine) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  ASSERT_TRUE(Import(registry,
                     "Windows Registry Editor Version 5.00\n"
                     "[HKEY_CURRENT_USER\\Old\\Deep]\n\"x\"=\"1\"\n"
                     "[HKCU\\Keep]\n\"gone\"=\"1\"\n\"kept\"=\"1\"\n"));
  ASSERT_TRUE(Import(registry,
                     "Windows Registry Editor Version 5.00\r\n"
                     "\r\n"
                     "; a comment\r\n"
                     "[HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Setup]\r\n"
                     "@=\"default\"\r\n"
                     "\"Path\"=\"C:\\\\Reports \\\"new\\\"\"\r\n"
                     "  \"Rate\" = dword:000004E2\r\n"
                     "\"Blob\"=hex:00,ff,\\\r\n"
                     "  10,\\\r\n"
                     "  2\r\n"
                     "\"Empty\"=hex:\r\n"
                     "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                     "\"Expand\"=hex(2):25,00,e9,00,00,00\r\n"
                     "[-HKEY_CURRENT_USER\\Old]\r\n"
                     "\"ignored\"=\"under a deleted key\"\r\n"
                     "[HKEY_CURRENT_USER\\Keep]\r\n"
                     "\"gone\"=-\r\n"
                     "\"never there\"=-\r\n"
                     "[-HKEY_CURRENT_USER\\Never\\There]\r\n"));
  const std::vector<std::string> setup = {"SOFTWARE", "Brackwell", "Horalog", "Setup"};
  EXPECT_EQ(Value(registry, setup, "").data, Sz("default"));
  EXPECT_EQ(Value(registry, setup, "Path").data, Sz("C:\\Reports \"new\""));
  EXPECT_EQ(Value(registry, setup, "Rate").type, kRegDword);
  EXPECT_EQ(Value(registry, setup, "Rate").data, (std::vector<uint8_t>{0xE2, 0x04, 0, 0}));
  EXPECT_EQ(Value(registry, setup, "Blob").type, kRegBinary);
  EXPECT_EQ(Value(registry, setup, "Blob").data, (std::vector<uint8_t>{0, 0xFF, 0x10, 2}));
  EXPECT_TRUE(Value(registry, setup, "Empty").data.empty());
  EXPECT_EQ(Value(registry, setup, "Q").type, 11u);
  EXPECT_EQ(Value(registry, setup, "Q").data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Value(registry, setup, "Expand").type, 2u);
  EXPECT_EQ(Value(registry, setup, "Expand").data, Sz("%é"));  // UTF-16LE text becomes UTF-8
  RegistryKey key = 0;
  RegistryValue value;
  EXPECT_FALSE(registry.OpenKeyPath(kHkeyCurrentUser, {"Old"}, &key).ok());
  ASSERT_TRUE(registry.OpenKeyPath(kHkeyCurrentUser, {"Keep"}, &key).ok());
  EXPECT_FALSE(registry.QueryValue(key, "gone", &value).ok());
  EXPECT_TRUE(registry.QueryValue(key, "kept", &value).ok());
  EXPECT_FALSE(registry.OpenKeyPath(kHkeyCurrentUser, {"Never"}, &key).ok());
}

TEST(RegFile, ReadsUtf16AndWindows1252Files) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  ASSERT_TRUE(Import(registry, Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Grüße]\r\n\"Näme\"=\"Wert ä\"\r\n")));
  EXPECT_EQ(Value(registry, {"Grüße"}, "Näme").data, Sz("Wert ä"));

  // REGEDIT4 is Windows-1252, hex text included: 0xE9 is é, 0x80 the euro sign.
  ASSERT_TRUE(Import(registry,
                     "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Caf\xE9]\r\n\"Sign\"=\"\x80 \xE9\"\r\n"
                     "\"Hex\"=hex(1):e9,80,00\r\n"));
  EXPECT_EQ(Value(registry, {"Café"}, "Sign").data, Sz("€ é"));
  EXPECT_EQ(Value(registry, {"Café"}, "Hex").data, Sz("é€"));

  ASSERT_TRUE(Import(registry,
                     "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
                     "[HKEY_CURRENT_USER\\Bom]\n\"v\"=\"ü\"\n"));
  EXPECT_EQ(Value(registry, {"Bom"}, "v").data, Sz("ü"));
}

TEST(RegFile, RefusesMalformedFilesWithTheirLineAndChangesNothing) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  ASSERT_TRUE(Import(registry, "REGEDIT4\n[HKEY_CURRENT_USER\\Before]\n\"v\"=\"1\"\n"));
  const std::string before = Dump(registry);
  const std::string head = "Windows Registry Editor Version 5.00\n\n[HKCU\\New]\n\"ok\"=\"1\"\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "line 1:"},
      {"Windows Registry Editor Version 4.00\n", "line 1:"},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"1\"\n", "line 2: value before"},
      {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n", "line 5: HKEY_LOCAL_MACHINE is not kept"},
      {head + "[SOFTWARE\\x]\n", "line 5:"},
      {head + "[-HKEY_CURRENT_USER]\n", "line 5:"},
      {head + "[HKCU\\x\n", "line 5:"},
      {head + "\"v\"=\"open\n", "line 5: missing closing quote"},
      {head + "\"v\"=\"a\\nb\"\n", "line 5: unknown escape"},
      {head + "\"v\"=\"a\" trailing\n", "line 5:"},
      {head + "\"v\"\"a\"\n", "line 5: expected ="},
      {head + "\"v\"=dword:123456789\n", "line 5:"},
      {head + "\"v\"=dword:\n", "line 5:"},
      {head + "\"v\"=dword:12x\n", "line 5:"},
      {head + "\"v\"=hex:01,0g\n", "line 5:"},
      {head + "\"v\"=hex:01 02\n", "line 5:"},
      {head + "\"v\"=hex:01,\\\n  02,\\\n  zz\n", "line 7:"},
      {head + "\"v\"=hex:01,\\", "line 5: hex data continues past the end"},
      {head + "\"v\"=hex(2):41,00,42\n", "line 5:"},
      {head + "\"v\"=hex(1):00,d8,41,00\n", "line 5: hex(1) data is not UTF-16"},
      {head + "\"v\"=hex(q):00\n", "line 5:"},
      {head + "\"v\"=word:1\n", "line 5: unknown value data"},
      {head + "junk\n", "line 5:"},
      {head + "\"v\"=\"\xC3\"\n", "line 5: not UTF-8"},
      {Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\New]\r\n") +
           std::string("\x00\xD8", 2),
       "line 4:"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    RegFile file;
    const Status parsed = file.Parse(text);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.message().rfind(expected, 0), 0u) << parsed.message();
    EXPECT_TRUE(file.edits().empty());
    EXPECT_TRUE(file.Apply(&registry).ok());  // nothing left to apply
  }
  EXPECT_EQ(Dump(registry), before);
}

TEST(RegFile, ImportIsOneTransaction) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  registry.SetBusyTimeout(50);
  ASSERT_TRUE(Import(registry, "REGEDIT4\n[HKCU\\Before]\n"));
  RegFile file;
  ASSERT_TRUE(
      file.Parse("REGEDIT4\n[HKCU\\A]\n\"v\"=\"1\"\n[-HKCU\\Before]\n[HKCU\\B]\n\"w\"=dword:2\n")
          .ok());
  {
    // A reader in another connection lets every change through but the
    // commit: what was done must then be undone.
    SqliteConnection reader;
    ASSERT_EQ(reader.Open(env.registryPath(), false), 0);
    ASSERT_EQ(reader.Exec("BEGIN; SELECT count(*) FROM reg_keys;"), 0);
    const Status applied = file.Apply(&registry);
    EXPECT_FALSE(applied.ok());
    EXPECT_NE(applied.message().find("locked"), std::string::npos) << applied.message();
    EXPECT_EQ(Dump(registry), "[]\n[\\Before]\n");
  }
  const Status applied = file.Apply(&registry);
  ASSERT_TRUE(applied.ok()) << applied.message();
  EXPECT_EQ(Dump(registry), "[]\n[\\A]\nv 1: 49 0\n[\\B]\nw 4: 2 0 0 0\n");
}

TEST(RegFile, ExportThenImportGivesTheSameTree) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  RegistryKey setup = 0;
  RegistryKey other = 0;
  ASSERT_TRUE(
      registry
          .CreateKeyPath(kHkeyCurrentUser, {"SOFTWARE", "Brackwell", "Horalog", "Setup"}, &setup)
          .ok());
  ASSERT_TRUE(
      registry.CreateKeyPath(kHkeyCurrentUser, {"SOFTWARE", "Grüße 日本", "[x]"}, &other).ok());
  std::vector<uint8_t> blob;
  for (int i = 0; i < 100; ++i) blob.push_back(static_cast<uint8_t>(i * 37));
  const std::vector<std::tuple<RegistryKey, std::string, uint32_t, std::vector<uint8_t>>> values = {
      {setup, "", kRegSz, Sz("default")},
      {setup, "Path", kRegSz, Sz("C:\\x \"q\" \\\\")},
      {setup, "Empty", kRegSz, Sz("")},
      {setup, "Name \"quoted\" \\ é", kRegSz, Sz("€")},
      {setup, "Rate", kRegDword, {0xE2, 0x04, 0, 0}},
      {setup, "Blob", kRegBinary, blob},
      {setup, "NoBytes", kRegBinary, {}},
      {other, "Lines", kRegSz, Sz("one\ntwo")},
      {other, "Unterminated", kRegSz, Bytes("abc")},
      {other, "Inner", kRegSz, {'a', 0, 'b', 0}},
      {other, "Expand", 2, Sz("%HOME%/ü")},
      {other, "Q", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
      {other, "ShortDword", kRegDword, {1, 2, 3}},
  };
  for (const auto& [key, name, type, data] : values) {
    ASSERT_TRUE(registry.SetValue(key, name, type, data).ok());
  }
  std::string text;
  const Status exported = RegFile::Export(&registry, {}, &text);
  ASSERT_TRUE(exported.ok()) << exported.message();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n\n", 0), 0u);
  for (const char* line :
       {"@=\"default\"\n", "\"Path\"=\"C:\\\\x \\\"q\\\" \\\\\\\\\"\n", "\"Rate\"=dword:000004e2\n",
        "\"NoBytes\"=hex:\n",
        "\"Expand\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,fc,00,00,00\n",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Grüße 日本\\[x]]\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  // Long hex data is wrapped as regedit wraps it: ",\" and two blanks.
  std::istringstream lines(text);
  std::string line;
  int continued = 0;
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size(), 80u) << line;
    if (line.size() > 1 && line.back() == '\\') {
      ++continued;
      EXPECT_EQ(line.substr(line.size() - 2), ",\\");
    }
  }
  EXPECT_GE(continued, 3);

  TestEnvironment fresh;
  Registry copy(fresh.registryPath());
  std::string importError;
  ASSERT_TRUE(Import(copy, text, &importError)) << importError;
  EXPECT_EQ(Dump(copy), Dump(registry));

  std::string part;
  ASSERT_TRUE(RegFile::Export(&registry, {"software", "grüße 日本"}, &part).ok());
  EXPECT_EQ(part,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Grüße 日本]\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Grüße 日本\\[x]]\n"
            "\"Expand\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,fc,00,00,00\n"
            "\"Inner\"=hex(1):61,00,00,00,62,00,00,00\n"
            "\"Lines\"=hex(1):6f,00,6e,00,65,00,0a,00,74,00,77,00,6f,00,00,00\n"
            "\"Q\"=hex(b):01,02,03,04,05,06,07,08\n"
            "\"ShortDword\"=hex(4):01,02,03\n"
            "\"Unterminated\"=hex(1):61,00,62,00,63,00\n\n");
  EXPECT_EQ(RegFile::Export(&registry, {"Missing"}, &part).code(), Registry::kNotFound);
}

TEST(RegFile, KeysAreWrittenFromHkeyCurrentUserOnly) {
  std::vector<std::string> names;
  const std::vector<std::pair<std::string, std::vector<std::string>>> good = {
      {"HKEY_CURRENT_USER", {}},
      {"hkcu\\", {}},
      {"HKCU\\SOFTWARE\\\\Brackwell\\", {"SOFTWARE", "Brackwell"}},
      {"Hkey_Current_User\\Straße", {"Straße"}}};
  for (const auto& [text, expected] : good) {
    EXPECT_TRUE(ParseRootedKeyPath(text, &names).ok()) << text;
    EXPECT_EQ(names, expected);
  }
  for (const char* text :
       {"HKLM\\SOFTWARE", "HKEY_USERS\\x", "SOFTWARE\\Brackwell", "HKCUX\\a", ""}) {
    const Status parsed = ParseRootedKeyPath(text, &names);
    EXPECT_FALSE(parsed.ok()) << text;
    EXPECT_NE(parsed.message().find("HKEY_CURRENT_USER"), std::string::npos) << parsed.message();
  }
  EXPECT_EQ(RootedKeyPathText({"SOFTWARE", "Brackwell"}), "HKEY_CURRENT_USER\\SOFTWARE\\Brackwell");
}

TEST(RegFile, HexTypeNumberBeyond32BitsIsRefusedNotWrapped) {
  // Seventeen digits wrapped round to type 1 (REG_SZ) and the file was read.
  RegFile file;
  const Status wrapped =
      file.Parse("REGEDIT4\n\n[HKCU\\Software]\n\"v\"=hex(10000000000000001):41,00\n");
  EXPECT_FALSE(wrapped.ok());
  EXPECT_EQ(wrapped.message(), "line 4: hex(N) needs a hex type number");
  EXPECT_TRUE(file.edits().empty());
  EXPECT_FALSE(file.Parse("REGEDIT4\n\n[HKCU\\Software]\n\"v\"=hex(100000000):41\n").ok());
  // Leading zeros are no overflow.
  const Status zeros =
      file.Parse("REGEDIT4\n\n[HKCU\\Software]\n\"v\"=hex(000000000000ffffffff):41\n");
  ASSERT_TRUE(zeros.ok()) << zeros.message();
  ASSERT_EQ(file.edits().size(), 2u);
  EXPECT_EQ(file.edits()[1].type, 0xFFFFFFFFu);
}
