// Tests of the emulated handheld against real images at a real dock.
#include "emulator/emulated_handheld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "emulator/handheld_image.h"
#include "store/records.h"
#include "support/handheld_fixture.h"
#include "support/test_env.h"
#include "sync/property_buffer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class EmulatedHandheldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.File("dock"));
    ASSERT_TRUE(HandheldImage::Create(imagePath, u"Pocket PC", u"Jane Doe", false).ok());
    fs::create_symlink(imagePath, dock);
  }

  // Starts an attempt and waits for its answer: its result code, or nothing
  // when no attempt started or none was answered in 5000 ms.
  static std::optional<int32_t> Connect(EmulatedHandheld& handheld) {
    RapiInit init;
    if (handheld.CeRapiInitEx(&init) != 0 || !init.heRapiInit->Wait(5000)) return std::nullopt;
    return init.heRapiInit->result();
  }

  // Seeks position i and reads it; the record read, or 0.
  static CeOid ReadAt(EmulatedHandheld& handheld, CeHandle handle, uint32_t i,
                      std::vector<CeValue>* values) {
    uint32_t index = 0;
    if (!handheld.CeSeekDatabase(handle, CEDB_SEEK_BEGINNING, i, nullptr, &index)) return 0;
    EXPECT_EQ(index, i);
    uint16_t count = 0;
    std::vector<uint8_t> buffer;
    const CeOid oid = handheld.CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer);
    if (oid) {
      EXPECT_TRUE(ReadPropertyBuffer(buffer, count, values));
    }
    return oid;
  }

  static CeHandle Open(EmulatedHandheld& handheld, const std::u16string& name, CeOid* oid) {
    *oid = 0;
    return handheld.CeOpenDatabase(oid, name, kKeyProperty, 0);
  }

  TempDir dir;
  const std::string dock = dir.File("dock/handheld.hhd");
  const std::string imagePath = dir.File("pocket.hhd");
  HandheldImage image{imagePath};
};

TEST_F(EmulatedHandheldTest, NoAttemptWithoutADockFolder) {
  std::ofstream(dir.File("plain")) << "a file, not a folder";
  for (const std::string& path : {dir.File("none/handheld.hhd"), dir.File("plain/handheld.hhd")}) {
    EmulatedHandheld handheld(path);
    RapiInit init;
    EXPECT_NE(handheld.CeRapiInitEx(&init), 0) << path;
    EXPECT_EQ(init.heRapiInit, nullptr);
    CeOid oid = 0;
    EXPECT_EQ(Open(handheld, u"HLGroup", &oid), kCeInvalidHandle);
  }
}

TEST_F(EmulatedHandheldTest, AttemptFailsWithoutAnImageAtTheDock) {
  std::ofstream(dir.File("dock/text")) << "not an image";
  for (const std::string& path : {dir.File("dock/empty.hhd"), dir.File("dock/text")}) {
    EmulatedHandheld handheld(path);
    const std::optional<int32_t> result = Connect(handheld);
    ASSERT_TRUE(result.has_value()) << "the attempt must start: the dock folder exists";
    EXPECT_NE(*result, 0) << path;
    CeOid oid = 0;
    uint32_t key = 0;
    EXPECT_EQ(Open(handheld, u"HLGroup", &oid), kCeInvalidHandle);
    EXPECT_NE(handheld.CeRegOpenKeyEx(HKEY_CE_LOCAL_MACHINE, u"\\Ident", &key), CE_ERROR_SUCCESS);
  }
  fs::remove(imagePath);  // the dock link now dangles
  EmulatedHandheld handheld(dock);
  const std::optional<int32_t> result = Connect(handheld);
  ASSERT_TRUE(result.has_value());
  EXPECT_NE(*result, 0);
}

TEST_F(EmulatedHandheldTest, DelayIsHonouredAndAnAttemptMayBeAbandoned) {
  ASSERT_TRUE(image.SetDelay(300).ok());
  {
    EmulatedHandheld handheld(dock);
    RapiInit init;
    const auto start = Clock::now();
    ASSERT_EQ(handheld.CeRapiInitEx(&init), 0);
    EXPECT_FALSE(init.heRapiInit->Wait(100));
    ASSERT_TRUE(init.heRapiInit->Wait(5000));
    EXPECT_EQ(init.heRapiInit->result(), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(250));
    CeOid oid = 0;
    EXPECT_NE(Open(handheld, u"HLGroup", &oid), kCeInvalidHandle);
    EXPECT_EQ(handheld.CeRapiUninit(), 0);
    EXPECT_EQ(Open(handheld, u"HLGroup", &oid), kCeInvalidHandle);
  }
  // A caller that gives up and destroys the handheld while the handheld has
  // not answered: the attempt ends at once and its event reports a failure.
  ASSERT_TRUE(image.SetDelay(60000).ok());
  RapiInit init;
  const auto start = Clock::now();
  {
    EmulatedHandheld handheld(dock);
    ASSERT_EQ(handheld.CeRapiInitEx(&init), 0);
    EXPECT_FALSE(init.heRapiInit->Wait(50));
  }
  ASSERT_TRUE(init.heRapiInit->Wait(1000));
  EXPECT_NE(init.heRapiInit->result(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(EmulatedHandheldTest, DockLocationFollowsTheEnvironment) {
  ScopedEnv named("HORALOG_HANDHELD", std::nullopt);
  ScopedEnv data("XDG_DATA_HOME", dir.File("data"));
  EXPECT_EQ(DockLocation(), dir.File("data") + "/horalog/dock/handheld.hhd");
}

TEST_F(EmulatedHandheldTest, ReadsRecordsInSortOrderByPosition) {
  ASSERT_TRUE(image.PutAccount(5, u"Five").ok());
  ASSERT_TRUE(image.PutAccount(1, u"One").ok());
  ASSERT_TRUE(image.PutAccount(3, u"Three").ok());
  EmulatedHandheld handheld(dock);
  CeOid oid = 0;
  EXPECT_EQ(Open(handheld, u"HLAccountName", &oid), kCeInvalidHandle) << "not yet connected";
  ASSERT_EQ(Connect(handheld), 0);

  const CeHandle accounts = Open(handheld, u"hlaccountname", &oid);
  ASSERT_NE(accounts, kCeInvalidHandle);
  ASSERT_NE(accounts, 0u);
  CeOidInfo info;
  ASSERT_NE(handheld.CeOidGetInfo(oid, &info), 0);
  EXPECT_EQ(info.wNumRecords, 3);
  std::vector<CeValue> values;
  const int32_t keys[] = {1, 3, 5};
  const std::u16string names[] = {u"One", u"Three", u"Five"};
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_NE(ReadAt(handheld, accounts, i, &values), 0u);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].propid, kKeyProperty);
    EXPECT_EQ(values[0].integer, keys[i]);
    EXPECT_EQ(values[1].text, names[i]);
  }
  EXPECT_EQ(ReadAt(handheld, accounts, 3, &values), 0u);
  uint16_t count = 0;
  std::vector<uint8_t> buffer;
  EXPECT_EQ(handheld.CeReadRecordProps(accounts, CEDB_ALLOWREALLOC, &count, &buffer), 0u)
      << "a failed seek leaves no record to read";

  // An empty database yields its count and nothing to read.
  CeOid groupOid = 0;
  const CeHandle groups = Open(handheld, u"HLGroup", &groupOid);
  ASSERT_NE(groups, kCeInvalidHandle);
  ASSERT_NE(handheld.CeOidGetInfo(groupOid, &info), 0);
  EXPECT_EQ(info.wNumRecords, 0);
  EXPECT_EQ(ReadAt(handheld, groups, 0, &values), 0u);

  EXPECT_EQ(Open(handheld, u"HLNothing", &oid), kCeInvalidHandle);
  EXPECT_EQ(Open(handheld, std::u16string(32, u'H'), &oid), kCeInvalidHandle);
  CeOid byOid = groupOid;
  const CeHandle third = handheld.CeOpenDatabase(&byOid, u"", kKeyProperty, 0);
  EXPECT_NE(third, kCeInvalidHandle);
  EXPECT_NE(handheld.CeCloseHandle(accounts), 0);
  EXPECT_EQ(handheld.CeSeekDatabase(accounts, CEDB_SEEK_BEGINNING, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(handheld.CeCloseHandle(accounts), 0);

  // A record another program adds meanwhile is there at the next open.
  handheld.CeCloseHandle(groups), handheld.CeCloseHandle(third);
  ASSERT_TRUE(image.PutAccount(2, u"Two").ok());
  const CeHandle again = Open(handheld, u"HLAccountName", &oid);
  ASSERT_NE(ReadAt(handheld, again, 1, &values), 0u);
  EXPECT_EQ(values[0].integer, 2);
  handheld.CeCloseHandle(again);

  // Accounts whose records lie far apart, each followed by ten time records,
  // are fetched one by one. The order is read as far as the reads go: one
  // removed after the open, before the reads reached it, is left out and the
  // records after it move up, as on a device.
  for (int32_t key = 100; key < 110; ++key) {
    ASSERT_TRUE(image.PutAccount(key, u"Far").ok());
    for (int32_t r = 0; r < 10; ++r) {
      ASSERT_TRUE(image.PutRecord(key * 100 + r, PackDate(2003, 3, 1), key, 0, u"").ok());
    }
  }
  const CeHandle far = Open(handheld, u"HLAccountName", &oid);  // keys 1, 2, 3, 5, 100..109
  ASSERT_EQ(RemoveRecords(image, "HLAccountName", 104), 1);
  for (uint32_t i = 4; i < 14; ++i) {
    const CeOid read = ReadAt(handheld, far, i, &values);
    if (i == 13) {
      EXPECT_EQ(read, 0u);
      continue;
    }
    ASSERT_NE(read, 0u) << i;
    EXPECT_EQ(values[0].integer, static_cast<int32_t>(i < 8 ? 96 + i : 97 + i));
  }
}

TEST_F(EmulatedHandheldTest, EveryFaultKind) {
  for (int32_t id = 1; id <= 5; ++id) ASSERT_TRUE(image.PutRecord(id, 1, 2, 3, u"notes").ok());
  ASSERT_TRUE(image.AddSpan(1, 0, 1).ok());
  ASSERT_TRUE(image.AddSpan(2, 0, 1).ok());
  EmulatedHandheld handheld(dock);
  ASSERT_EQ(Connect(handheld), 0);
  // Faults set while connected are met by the next open, as any program's.
  ASSERT_TRUE(image.SetFault(HandheldFault::Open, "HLItemName").ok());
  ASSERT_TRUE(image.SetFault(HandheldFault::Count, "HLTime").ok());
  ASSERT_TRUE(image.SetFault(HandheldFault::Seek, "HLGroup", 1).ok());
  ASSERT_TRUE(image.SetFault(HandheldFault::Read, "HLGroup", 2).ok());
  ASSERT_TRUE(image.SetFault(HandheldFault::Short, "HLGroup", 3).ok());

  CeOid oid = 0;
  EXPECT_EQ(Open(handheld, u"HLItemName", &oid), kCeInvalidHandle);
  const CeHandle spans = Open(handheld, u"HLTime", &oid);
  ASSERT_NE(spans, kCeInvalidHandle);
  CeOidInfo info;
  EXPECT_EQ(handheld.CeOidGetInfo(oid, &info), 0);
  std::vector<CeValue> values;
  EXPECT_NE(ReadAt(handheld, spans, 1, &values), 0u) << "faults of HLGroup stay there";

  const CeHandle groups = Open(handheld, u"HLGroup", &oid);
  ASSERT_NE(groups, kCeInvalidHandle);
  ASSERT_NE(handheld.CeOidGetInfo(oid, &info), 0);
  EXPECT_EQ(info.wNumRecords, 5);
  EXPECT_NE(ReadAt(handheld, groups, 0, &values), 0u);
  EXPECT_EQ(handheld.CeSeekDatabase(groups, CEDB_SEEK_BEGINNING, 1, nullptr, nullptr), 0u);
  EXPECT_NE(handheld.CeSeekDatabase(groups, CEDB_SEEK_BEGINNING, 2, nullptr, nullptr), 0u);
  EXPECT_EQ(ReadAt(handheld, groups, 2, &values), 0u);

  // The short record: one property fewer, and nothing to read past the buffer.
  ASSERT_NE(handheld.CeSeekDatabase(groups, CEDB_SEEK_BEGINNING, 3, nullptr, nullptr), 0u);
  uint16_t count = 0;
  std::vector<uint8_t> buffer;
  ASSERT_NE(handheld.CeReadRecordProps(groups, CEDB_ALLOWREALLOC, &count, &buffer), 0u);
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(ReadPropertyBuffer(buffer, 4, &values));
  EXPECT_EQ(values[0].integer, 4);
  EXPECT_FALSE(ReadPropertyBuffer(buffer, 5, &values));
  ASSERT_NE(ReadAt(handheld, groups, 4, &values), 0u);
  EXPECT_EQ(values.size(), 5u);
  EXPECT_EQ(values[4].text, u"notes");
}

TEST_F(EmulatedHandheldTest, Reads65535RecordsWithoutAScanPerSeek) {
  ASSERT_TRUE(image.Generate({.records = kMaxCeRecords, .spansPerRecord = 0}).ok());
  EmulatedHandheld handheld(dock);
  ASSERT_EQ(Connect(handheld), 0);
  CeOid oid = 0;
  const CeHandle groups = Open(handheld, u"HLGroup", &oid);
  CeOidInfo info;
  ASSERT_NE(handheld.CeOidGetInfo(oid, &info), 0);
  ASSERT_EQ(info.wNumRecords, 65535);
  std::vector<CeValue> values;
  for (uint32_t i = 0; i < info.wNumRecords; ++i) {
    ASSERT_NE(ReadAt(handheld, groups, i, &values), 0u) << i;
    ASSERT_EQ(values[0].integer, static_cast<int32_t>(i + 1));
  }
  EXPECT_EQ(handheld.counters().seeks, 65535);
  EXPECT_EQ(handheld.counters().reads, 65535);

  // Read in order, each read moving on, while the next records are fetched
  // ahead; a record deleted through another handle on the way (one already
  // fetched ahead) and a seek back are seen at once.
  const CeHandle inOrder =
      handheld.CeOpenDatabase(&oid, u"HLGroup", kKeyProperty, CEDB_AUTOINCREMENT);
  auto next = [&] {
    uint16_t count = 0;
    std::vector<uint8_t> buffer;
    if (!handheld.CeReadRecordProps(inOrder, CEDB_ALLOWREALLOC, &count, &buffer)) return -1;
    return ReadPropertyBuffer(buffer, count, &values) ? values[0].integer : -2;
  };
  for (int32_t id = 1; id <= 1000; ++id) {
    if (id == 300) {
      CePropVal key;
      key.propid = kKeyProperty;
      key.value = 600;
      handheld.CeDeleteRecord(
          groups, handheld.CeSeekDatabase(groups, CEDB_SEEK_VALUEFIRSTEQUAL, 0, &key, nullptr));
    }
    if (id != 600) {
      ASSERT_EQ(next(), id);
    }
  }
  ASSERT_NE(ReadAt(handheld, inOrder, 0, &values), 0u);
  EXPECT_EQ(values[0].integer, 1);
  EXPECT_EQ(next(), 2);
}

TEST_F(EmulatedHandheldTest, DeletingByKeySearchesAgainAfterEachDelete) {
  ASSERT_TRUE(image.AddSpan(8, 100, 1).ok());
  for (int32_t start : {300, 200, 100}) ASSERT_TRUE(image.AddSpan(7, start, 5).ok());
  ASSERT_TRUE(image.AddSpan(6, 100, 1).ok());
  EmulatedHandheld handheld(dock);
  ASSERT_EQ(Connect(handheld), 0);
  CeOid oid = 0;
  const CeHandle spans = Open(handheld, u"HLTime", &oid);
  const CeHandle second = Open(handheld, u"HLTime", &oid);
  auto deleteAll = [&](int32_t key) {
    CePropVal sought;
    sought.propid = kKeyProperty;
    sought.value = static_cast<uint32_t>(key);
    while (CeOid record =
               handheld.CeSeekDatabase(spans, CEDB_SEEK_VALUEFIRSTEQUAL, 0, &sought, nullptr)) {
      handheld.CeDeleteRecord(spans, record);
    }
  };
  deleteAll(7);
  EXPECT_EQ(handheld.counters().seeks, 4);
  EXPECT_EQ(handheld.counters().deletes, 3);
  deleteAll(9);
  EXPECT_EQ(handheld.counters().seeks, 5);
  EXPECT_EQ(handheld.counters().deletes, 3);
  EXPECT_EQ(image.RecordCount("HLTime"), 2);

  // Both handles see the records gone, and the key must be the key property.
  std::vector<CeValue> values;
  ASSERT_NE(ReadAt(handheld, second, 1, &values), 0u);
  EXPECT_EQ(values[0].integer, 8);
  EXPECT_EQ(ReadAt(handheld, second, 2, &values), 0u);
  // And so does a handle opened afterwards.
  ASSERT_NE(ReadAt(handheld, Open(handheld, u"HLTime", &oid), 1, &values), 0u);
  EXPECT_EQ(values[0].integer, 8);
  CePropVal other;
  other.propid = 0x20003;
  other.value = 8;
  EXPECT_EQ(handheld.CeSeekDatabase(spans, CEDB_SEEK_VALUEFIRSTEQUAL, 0, &other, nullptr), 0u);
}

TEST_F(EmulatedHandheldTest, RegistryReadsWithBufferSizes) {
  EmulatedHandheld handheld(dock);
  ASSERT_EQ(Connect(handheld), 0);
  uint32_t key = 0, type = 0, size = 32;
  uint8_t data[64] = {};
  ASSERT_EQ(handheld.CeRegOpenKeyEx(HKEY_CE_LOCAL_MACHINE, u"ident", &key), CE_ERROR_SUCCESS);
  ASSERT_EQ(handheld.CeRegQueryValueEx(key, u"NAME", &type, data, &size), CE_ERROR_SUCCESS);
  EXPECT_EQ(type, CE_REG_SZ);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data)), u"Pocket PC");
  EXPECT_EQ(handheld.CeRegQueryValueEx(key, u"Nothing", &type, data, &size),
            CE_ERROR_FILE_NOT_FOUND);

  // A name of more than 15 characters does not fit in 32 bytes.
  const std::u16string longName = u"Sixteen chars!!!";
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(longName.c_str()),
                             reinterpret_cast<const uint8_t*>(longName.c_str()) + 34);
  ASSERT_TRUE(
      image.SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name", CE_REG_SZ, bytes).ok());
  size = 32;
  EXPECT_EQ(handheld.CeRegQueryValueEx(key, u"Name", &type, data, &size), CE_ERROR_MORE_DATA);
  EXPECT_EQ(size, 34u);
  size = 0;
  EXPECT_EQ(handheld.CeRegQueryValueEx(key, u"Name", &type, nullptr, &size), CE_ERROR_SUCCESS);
  EXPECT_EQ(size, 34u);
  size = sizeof data;
  EXPECT_EQ(handheld.CeRegQueryValueEx(key, u"Name", &type, data, &size), CE_ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data)), longName);
  EXPECT_EQ(handheld.CeRegCloseKey(key), CE_ERROR_SUCCESS);
  EXPECT_NE(handheld.CeRegQueryValueEx(key, u"Name", &type, data, &size), CE_ERROR_SUCCESS);

  // The owner, reached also through its parent key; then without it.
  uint32_t parent = 0;
  ASSERT_EQ(handheld.CeRegOpenKeyEx(HKEY_CE_CURRENT_USER, u"\\ControlPanel", &parent), 0);
  ASSERT_EQ(handheld.CeRegOpenKeyEx(parent, u"Owner", &key), CE_ERROR_SUCCESS);
  size = sizeof data;
  ASSERT_EQ(handheld.CeRegQueryValueEx(key, u"Owner", &type, data, &size), CE_ERROR_SUCCESS);
  EXPECT_EQ(type, CE_REG_BINARY);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data)), u"Jane Doe");
  ASSERT_TRUE(
      image.DeleteRegistryValue(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner").ok());
  EXPECT_EQ(handheld.CeRegQueryValueEx(key, u"Owner", &type, data, &size), CE_ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(HandheldImage::Create(imagePath, u"Pocket PC", std::nullopt, true).ok());
  EmulatedHandheld ownerless(dock);
  ASSERT_EQ(Connect(ownerless), 0);
  EXPECT_EQ(ownerless.CeRegOpenKeyEx(HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", &key),
            CE_ERROR_FILE_NOT_FOUND);
}

}  // namespace
