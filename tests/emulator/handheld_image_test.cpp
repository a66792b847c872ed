// Tests of the handheld image file: creation, records, limits, registry, faults.
#include "emulator/handheld_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/sqlite_connection.h"
#include "support/test_env.h"

namespace {

std::vector<uint8_t> Bytes(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// The records of a database as "key:values..." lines, for compact checks.
std::string Dump(HandheldImage& image, const std::string& database) {
  std::vector<std::vector<CeValue>> records;
  const Status read = image.Records(database, &records);
  EXPECT_TRUE(read.ok()) << read.message();
  std::ostringstream out;
  for (const auto& record : records) {
    for (const CeValue& v : record) {
      out << std::hex << v.propid << std::dec << "=";
      if (v.isString()) {
        out << std::string(v.text.begin(), v.text.end());
      } else {
        out << v.integer;
      }
      out << " ";
    }
    out << "\n";
  }
  return out.str();
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(HandheldImage, CreateRefusesExistingFilesAndForeignFiles) {
  TempDir dir;
  const std::string path = dir.File("h.hhd");
  ASSERT_TRUE(HandheldImage::Create(path, u"Pocket PC", std::nullopt, false).ok());
  HandheldImage image(path);
  ASSERT_TRUE(image.PutAccount(1, u"Acme").ok());

  const Status again = HandheldImage::Create(path, u"Other", std::nullopt, false);
  EXPECT_FALSE(again.ok());
  EXPECT_NE(again.message().find("already exists"), std::string::npos) << again.message();
  EXPECT_EQ(image.RecordCount("HLAccountName"), 1);
  ASSERT_TRUE(HandheldImage::Create(path, u"Other", std::nullopt, true).ok());
  EXPECT_EQ(image.RecordCount("HLAccountName"), 0);
  for (const char* database : kHandheldDatabases) EXPECT_EQ(image.RecordCount(database), 0);

  EXPECT_FALSE(
      HandheldImage::Create(dir.File("no/such/folder.hhd"), u"X", std::nullopt, false).ok());

  // Another program's SQLite file or a text file is never taken for an image.
  const std::string text = dir.File("notes.txt");
  std::ofstream(text) << "not an image";
  HandheldImage foreign(text);
  const Status put = foreign.PutAccount(1, u"Acme");
  EXPECT_FALSE(put.ok());
  EXPECT_NE(put.message().find("not a handheld image"), std::string::npos) << put.message();
  EXPECT_EQ(Slurp(text), "not an image");
  const std::string sqlite = dir.File("other.db");
  {
    SqliteConnection other;
    ASSERT_EQ(other.Open(sqlite, true), 0);
    ASSERT_EQ(other.Exec("CREATE TABLE records (x)"), 0);
  }
  EXPECT_FALSE(HandheldImage(sqlite).SetDelay(5).ok());
  EXPECT_EQ(HandheldImage(sqlite).Delay(), -1);
  HandheldImage missing(dir.File("missing.hhd"));
  EXPECT_FALSE(missing.Open().ok());
  EXPECT_EQ(missing.RecordCount("HLGroup"), -1);
}

TEST(HandheldImage, RecordsFollowTheLayoutsInKeyThenInsertionOrder) {
  TempDir dir;
  ASSERT_TRUE(HandheldImage::Create(dir.File("h.hhd"), u"P", std::nullopt, false).ok());
  HandheldImage image(dir.File("h.hhd"));
  ASSERT_TRUE(image.PutAccount(5, u"Five").ok());
  ASSERT_TRUE(image.PutAccount(-1, u"Minus").ok());
  ASSERT_TRUE(image.PutAccount(3, u"Three").ok());
  ASSERT_TRUE(image.PutAccount(5, u"Renamed").ok());
  EXPECT_EQ(Dump(image, "HLAccountName"),
            "10003=-1 2001f=Minus \n10003=3 2001f=Three \n10003=5 2001f=Renamed \n");
  ASSERT_TRUE(image.PutItem(9, 5, u"Design").ok());
  ASSERT_TRUE(image.PutItem(9, 3, u"Moved").ok());
  EXPECT_EQ(Dump(image, "HLItemName"), "10003=9 20003=3 3001f=Moved \n");

  // Spans of one record keep the order they were added in, not their start.
  ASSERT_TRUE(image.PutRecord(7, 2003 * 65536 + 3 * 256 + 15, 5, 9, u"first").ok());
  ASSERT_TRUE(image.AddSpan(7, 50000, 30).ok());
  ASSERT_TRUE(image.AddSpan(2, 100, 1).ok());
  ASSERT_TRUE(image.AddSpan(7, 30000, 45).ok());
  ASSERT_TRUE(image.PutRecord(7, 2003 * 65536 + 3 * 256 + 16, 5, 9, u"second").ok());
  EXPECT_EQ(Dump(image, "HLGroup"), "10003=7 20003=131269392 30003=5 40003=9 5001f=second \n");
  EXPECT_EQ(Dump(image, "HLTime"),
            "10003=2 20003=100 30003=1 \n10003=7 20003=50000 30003=30 \n"
            "10003=7 20003=30000 30003=45 \n");

  int64_t removed = -1;
  EXPECT_TRUE(image.Remove("HLTime", 7, &removed).ok());
  EXPECT_EQ(removed, 2);
  EXPECT_TRUE(image.Remove("HLTime", 7, &removed).ok());
  EXPECT_EQ(removed, 0);
  EXPECT_EQ(image.RecordCount("HLTime"), 1);
  EXPECT_FALSE(image.Remove("HLNothing", 7, &removed).ok());

  // Notes of any length and text that is not valid UTF-16 are kept as given.
  const std::u16string longNotes(10000, u'n');
  const std::u16string lone = {u'A', char16_t(0xD800)};
  ASSERT_TRUE(image.PutRecord(8, 1, 2, 3, longNotes).ok());
  ASSERT_TRUE(image.PutRecord(9, 1, 2, 3, lone).ok());
  std::vector<std::vector<CeValue>> records;
  ASSERT_TRUE(image.Records("HLGroup", &records).ok());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][4].text, longNotes);
  EXPECT_EQ(records[2][4].text, lone);
}

TEST(HandheldImage, DatabaseHoldsAtMost65535Records) {
  TempDir dir;
  ASSERT_TRUE(HandheldImage::Create(dir.File("h.hhd"), u"P", std::nullopt, false).ok());
  HandheldImage image(dir.File("h.hhd"));
  const Status generated = image.Generate({.records = kMaxCeRecords, .spansPerRecord = 1});
  ASSERT_TRUE(generated.ok()) << generated.message();
  EXPECT_EQ(image.RecordCount("HLGroup"), 65535);
  EXPECT_EQ(image.RecordCount("HLTime"), 65535);

  const Status full = image.PutRecord(70000, 1, 1, 1, u"one too many");
  EXPECT_FALSE(full.ok());
  EXPECT_NE(full.message().find("full"), std::string::npos) << full.message();
  EXPECT_FALSE(image.AddSpan(1, 0, 1).ok());
  EXPECT_TRUE(image.PutRecord(65535, 1, 1, 1, u"replacing is no new record").ok());
  int64_t removed = 0;
  EXPECT_TRUE(image.Remove("HLTime", 1, &removed).ok());
  EXPECT_EQ(removed, 1);
  EXPECT_TRUE(image.AddSpan(1, 0, 1).ok());
  EXPECT_FALSE(image.AddSpan(1, 0, 1).ok());
  EXPECT_EQ(image.RecordCount("HLTime"), 65535);

  // A generation past the limit changes nothing.
  EXPECT_FALSE(image.Generate({.records = 65536, .spansPerRecord = 0}).ok());
  EXPECT_FALSE(image.Generate({.records = 40000, .spansPerRecord = 2}).ok());
  EXPECT_EQ(image.RecordCount("HLGroup"), 65535);
}

TEST(HandheldImage, BatchKeepsAllChangesOrNone) {
  TempDir dir;
  ASSERT_TRUE(HandheldImage::Create(dir.File("h.hhd"), u"P", std::nullopt, false).ok());
  HandheldImage image(dir.File("h.hhd"));
  EXPECT_FALSE(image.Batch([&] { return image.PutAccount(1, u"A").ok() && false; }).ok());
  EXPECT_FALSE(
      image
          .Batch([&] {
            image.PutAccount(2, u"B").ok();
            int64_t removed = 0;
            EXPECT_FALSE(
                image.Remove("HLNothing", 1, &removed).ok());  // the batch must not be kept
            return true;
          })
          .ok());
  EXPECT_EQ(image.RecordCount("HLAccountName"), 0);
  EXPECT_TRUE(image
                  .Batch([&] {
                    for (int32_t id = 1; id <= 1000; ++id) {
                      if (!image.PutAccount(id, u"A").ok() || !image.AddSpan(id, 0, 1).ok())
                        return false;
                    }
                    return true;
                  })
                  .ok());
  EXPECT_EQ(image.RecordCount("HLAccountName"), 1000);
  EXPECT_EQ(image.RecordCount("HLTime"), 1000);
}

TEST(HandheldImage, RegistryNamesCompareWithoutLetterCase) {
  TempDir dir;
  const std::u16string longName = u"A name longer than fifteen";
  ASSERT_TRUE(HandheldImage::Create(dir.File("h.hhd"), longName, u"Jane", false).ok());
  HandheldImage image(dir.File("h.hhd"));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(image.RegistryValue(HKEY_CE_LOCAL_MACHINE, u"IDENT", u"name", &type, &data).ok());
  EXPECT_EQ(type, CE_REG_SZ);
  EXPECT_EQ(data, Bytes(longName + u'\0'));
  ASSERT_TRUE(
      image.RegistryValue(HKEY_CE_CURRENT_USER, u"\\controlpanel\\OWNER\\", u"Owner", &type, &data)
          .ok());
  EXPECT_EQ(type, CE_REG_BINARY);
  EXPECT_EQ(data, Bytes(std::u16string(u"Jane") + u'\0'));
  const Status missing =
      image.RegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\ControlPanel\\Owner", u"Owner", &type, &data);
  EXPECT_EQ(missing.code(), HandheldImage::kNotFound);
  EXPECT_EQ(missing.message(), "");
  EXPECT_TRUE(image.HasRegistryKey(HKEY_CE_CURRENT_USER, u"\\ControlPanel").ok());
  // A root's own key is always there; keys are listed as kept, folded.
  EXPECT_TRUE(image.HasRegistryKey(HKEY_CE_CLASSES_ROOT, u"\\").ok());
  std::vector<std::u16string> keys;
  ASSERT_TRUE(image.RegistrySubkeys(HKEY_CE_CURRENT_USER, u"", &keys).ok());
  EXPECT_EQ(keys, std::vector<std::u16string>{u"controlpanel"});
  ASSERT_TRUE(image.RegistrySubkeys(HKEY_CE_CURRENT_USER, u"CONTROLPANEL", &keys).ok());
  EXPECT_EQ(keys, std::vector<std::u16string>{u"owner"});
  std::vector<HandheldImage::RegistryEntry> values;
  ASSERT_TRUE(image.RegistryValues(HKEY_CE_LOCAL_MACHINE, u"Ident", &values).ok());
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, u"Name");
  EXPECT_EQ(values[0].data, Bytes(longName + u'\0'));

  // Deleting the value leaves its key; a handheld made without owner has neither.
  ASSERT_TRUE(
      image.DeleteRegistryValue(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"OWNER").ok());
  EXPECT_TRUE(image.HasRegistryKey(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner").ok());
  EXPECT_FALSE(
      image.RegistryValue(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner", &type, &data)
          .ok());
  ASSERT_TRUE(HandheldImage::Create(dir.File("n.hhd"), u"N", std::nullopt, false).ok());
  EXPECT_FALSE(HandheldImage(dir.File("n.hhd"))
                   .HasRegistryKey(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner")
                   .ok());
}
