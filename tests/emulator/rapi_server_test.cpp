// The RAPI server of an image against requests no library would send: each
// gets an error answer or a closed connection, and the server serves on.
#include "emulator/rapi_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "emulator/device_password.h"
#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"

namespace {

// Sends bytes and reads the answer's packet; "closed" when the server
// closed the connection instead. To a locked handheld (gated), the bytes
// start with a password, and its one-byte verdict comes first: "refused"
// unless it is 1.
std::string Exchange(const std::string& address, const std::vector<uint8_t>& bytes,
                     bool gated = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(kRapiPort);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return "no connection";
  }
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  uint8_t le[4];
  std::string answer = "closed";
  if (gated && (::recv(fd, le, 1, 0) != 1 || le[0] != 1)) {
    // Then closed (a reset, when the request sent after is unread), not
    // left open for a deadline that no server takes.
    const timeval deadline{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
    const bool closed = ::recv(fd, le, 1, 0) == 0 || errno == ECONNRESET;
    answer = closed ? "refused" : "refused, left open";
  } else if (::recv(fd, le, 4, MSG_WAITALL) == 4) {
    const uint32_t n = le[0] | le[1] << 8 | le[2] << 16 | static_cast<uint32_t>(le[3]) << 24;
    std::vector<uint8_t> body(n);
    if (n >= 8 && ::recv(fd, body.data(), n, MSG_WAITALL) == static_cast<ssize_t>(n)) {
      const uint32_t word = body[0];
      const uint32_t code =
          body[4] | body[5] << 8 | body[6] << 16 | static_cast<uint32_t>(body[7]) << 24;
      char text[32];
      std::snprintf(text, sizeof text, "%s %08x", word == 1 ? "failure" : "answer", code);
      answer = text;
    }
  }
  ::close(fd);
  return answer;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes;
  for (uint32_t w : words) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(w >> (8 * k)));
  }
  return bytes;
}

}  // namespace

TEST(RapiServer, MalformedRequestsGetAnErrorOrAClosedConnection) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Smith").ok());
  RapiDock dock(env.imagePath(), env.dir.File("synce"));
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string answer;
  };
  const Case cases[] = {
      {"a length shorter than a command", Words({2, 0}), "closed"},
      {"a length beyond any request", Words({0x7fffffff, 0x0e}), "closed"},
      {"a packet that stops early", Words({40, 0x0e, 0}), "closed"},
      {"an unknown command", Words({4, 0x99}), "failure 80004001"},
      {"a command without its arguments", Words({4, 0x0e}), "failure 80070057"},
      {"a name longer than the packet", Words({24, 0x0e, 0, 0x10003, 0, 1, 1000}),
       "failure 80070057"},
      {"a name that is not a string", Words({20, 0x0e, 0, 0x10003, 0, 7}), "failure 80070057"},
      {"a registry query cut short", Words({12, 0x26, 0x100, 1}), "failure 80070057"},
      {"a record read on no database", Words({24, 0x10, 77, 1, 0, 0, 0}),
       "failure 80070057"},  // two bytes short of its count field
      {"closing a handle that is no database", Words({8, 0x08, 12345}), "answer 00000006"},
      {"a value enumeration cut short", Words({16, 0x23, 0x80000002, 0, 1}), "failure 80070057"},
      {"a find of every database without its flags", Words({8, 0x2c, 0}), "failure 80070057"},
      {"an optional argument neither given nor not", Words({8, 0x29, 7}), "failure 80070057"},
      {"an optional value said to follow that does not", Words({16, 0x2f, 1, 36, 1}),
       "failure 80070057"},
      {"a database enumeration never begun", Words({8, 0x0b, 0x40000001}), "answer 00000006"},
      {"the sub-keys of no key", Words({36, 0x1f, 77, 0, 0, 0, 0, 0, 0, 0}), "answer 00000006"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Exchange(dock.address(), c.bytes), c.answer) << c.what;
  }
  // The server still serves, and counted only what it answered.
  EXPECT_EQ(Exchange(dock.address(), Words({8, 0x08, 0xffffffff})), "answer 00000006");
  EXPECT_EQ(dock.server().requests(), 14u);
  EXPECT_EQ(dock.server().roundTrips(), 14u);
  // Its description names this process, the address and the handheld.
  std::ifstream in(env.dir.File("synce/active_connection"));
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(text, "[dccm]\npid=" + std::to_string(::getpid()) +
                      "\n[device]\nname=Pocket PC\nip=" + dock.address() +
                      "\nos_version=4\nos_minor=20\nkey=0\n[connection]\ntransport=ppp\n");
}

TEST(RapiServer, ALockedHandheldServesOnlyConnectionsThatStartWithItsPassword) {
  HandheldFixture env;
  const DevicePassword password("s3cret");
  // No encoded byte is zero, so that a wider length's padding is told apart.
  EXPECT_EQ(std::count(password.encoded().begin(), password.encoded().end(), 0), 0);
  const std::string address = UniqueLoopbackAddress();
  RapiServer server({env.imagePath(), address, kRapiPort, 0, password});
  const Status started = server.Start();
  ASSERT_TRUE(started.ok()) << started.message();
  // An answer: its length in 16 bits and padding zeros (SynCE's dccm sends
  // a 64-bit length), the text encoded with the handheld's key, a request.
  const auto answer = [&](const std::string& text, size_t padding) {
    const std::vector<uint8_t> encoded = DevicePassword::Encode(text, password.key());
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(encoded.size()),
                                  static_cast<uint8_t>(encoded.size() >> 8)};
    bytes.insert(bytes.end(), padding, 0);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    const std::vector<uint8_t> request = Words({8, 0x08, 12345});
    bytes.insert(bytes.end(), request.begin(), request.end());
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string answer;
  };
  const Case cases[] = {
      {"the password", answer("s3cret", 0), "answer 00000006"},
      {"the password after a 64-bit length", answer("s3cret", 6), "answer 00000006"},
      {"another password", answer("s3cre", 0), "refused"},
      {"another password after a 64-bit length", answer("S3CRET", 6), "refused"},
      {"no password", answer("", 6), "refused"},
      {"a request instead of a password", Words({8, 0x08, 12345}), "refused"},
      {"nothing", {}, "refused"},
  };
  for (const Case& c : cases) EXPECT_EQ(Exchange(address, c.bytes, true), c.answer) << c.what;
  EXPECT_EQ(server.requests(), 2u);
}

#if HORALOG_HAVE_RAPI

// After the project's headers: the library defines some of their names.
#include <rapi.h>

#include <filesystem>

#include "platform/utf16.h"

using namespace synce;  // the library's C names

namespace {

// A session of the RAPI library with a test's served image, as SynCE's own
// tools open one.
struct LibrarySession {
  LibrarySession() { EXPECT_EQ(CeRapiInit(), S_OK); }
  ~LibrarySession() { CeRapiUninit(); }
};

std::vector<WCHAR> Wide(const std::u16string& text) {
  std::vector<WCHAR> wide(text.begin(), text.end());
  wide.push_back(0);
  return wide;
}

std::string Narrow(const WCHAR* text) {
  std::u16string units;
  while (*text) units.push_back(*text++);
  std::string out;
  Utf16ToUtf8(units, &out);
  return out;
}

}  // namespace

TEST(RapiServer, ToolsSeeAPocketPc2003StoringTheImage) {
  HandheldFixture env;
  RapiDock dock(env.imagePath(), env.dir.File("synce"));
  LibrarySession session;

  CEOSVERSIONINFO version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(CeGetVersionEx(&version));
  EXPECT_EQ(version.dwOSVersionInfoSize, sizeof version);
  EXPECT_EQ(version.dwMajorVersion, 4u);
  EXPECT_EQ(version.dwMinorVersion, 20u);
  EXPECT_EQ(version.dwBuildNumber, 1081u);
  EXPECT_EQ(version.dwPlatformId, 3u);  // Windows CE
  EXPECT_EQ(version.szCSDVersion[0], 0);

  SYSTEM_INFO system{};
  CeGetSystemInfo(&system);
  EXPECT_EQ(CeGetLastError(), 0u);
  EXPECT_EQ(system.wProcessorArchitecture, 5);  // ARM
  EXPECT_EQ(system.dwProcessorType, 2577u);     // StrongARM
  EXPECT_EQ(system.dwPageSize, 4096u);
  EXPECT_EQ(system.dwAllocationGranularity, 0x10000u);
  EXPECT_EQ(system.dwNumberOfProcessors, 1u);

  SYSTEM_POWER_STATUS_EX power{};
  ASSERT_TRUE(CeGetSystemPowerStatusEx(&power, false));
  EXPECT_EQ(power.ACLineStatus, AC_LINE_ONLINE);
  EXPECT_EQ(power.BatteryFlag, BATTERY_FLAG_HIGH);
  EXPECT_EQ(power.BatteryLifePercent, 100);
  EXPECT_EQ(power.BatteryLifeTime, BATTERY_LIFE_UNKNOWN);
  EXPECT_EQ(power.BackupBatteryFlag, BATTERY_FLAG_HIGH);
  EXPECT_EQ(power.BackupBatteryLifePercent, 100);
  EXPECT_EQ(power.BackupBatteryFullLifeTime, BATTERY_LIFE_UNKNOWN);

  // The store holds the image: 16 MB with the image's bytes in use, and
  // the same when the image has grown.
  constexpr DWORD kStore = 16 * 1024 * 1024;
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {
      ASSERT_TRUE(env.image.Generate({.records = 2000}).ok());
    }
    STORE_INFORMATION store{};
    ASSERT_TRUE(CeGetStoreInformation(&store));
    const auto used = static_cast<DWORD>(std::filesystem::file_size(env.imagePath()));
    EXPECT_EQ(store.dwStoreSize, kStore);
    EXPECT_EQ(store.dwFreeSize, kStore - used) << "round " << round;
  }
  DWORD storagePages = 0, ramPages = 0, pageSize = 0;
  ASSERT_TRUE(CeGetSystemMemoryDivision(&storagePages, &ramPages, &pageSize));
  EXPECT_EQ(pageSize, 4096u);
  EXPECT_EQ(storagePages, kStore / 4096);
  EXPECT_EQ(ramPages, kStore / 4096);  // of 32 MB
}

TEST(RapiServer, ToolsListTheRegistryAsTheImageHoldsIt) {
  HandheldFixture env;  // \Ident\Name "Pocket PC", \ControlPanel\Owner\Owner "Jane Doe"
  const std::vector<uint8_t> version = {2, 1, 0, 0};
  ASSERT_TRUE(env.image
                  .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Software\\Apps\\Horalog", u"Version",
                                    REG_DWORD, version)
                  .ok());
  ASSERT_TRUE(env.image
                  .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"OrigName", REG_SZ,
                                    RegistryText(u"Jane's handheld"))
                  .ok());
  ASSERT_TRUE(
      env.image
          .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Desc", REG_SZ, RegistryText(u""))
          .ok());
  RapiDock dock(env.imagePath(), env.dir.File("synce"));
  LibrarySession session;

  struct Value {
    std::string name;
    DWORD type;
    std::vector<uint8_t> data;
  };
  struct Case {
    HKEY root;
    std::u16string key;  // opened below root; "" opens root itself
    std::vector<std::string> subkeys;
    std::vector<Value> values;
  };
  const Case cases[] = {
      {HKEY_LOCAL_MACHINE, u"", {"ident", "software"}, {}},
      {HKEY_LOCAL_MACHINE,
       u"Ident",
       {},
       {{"Desc", REG_SZ, RegistryText(u"")},
        {"Name", REG_SZ, RegistryText(u"Pocket PC")},
        {"OrigName", REG_SZ, RegistryText(u"Jane's handheld")}}},
      {HKEY_LOCAL_MACHINE, u"software\\APPS", {"horalog"}, {}},
      {HKEY_LOCAL_MACHINE, u"Software\\Apps\\Horalog", {}, {{"Version", REG_DWORD, version}}},
      {HKEY_CURRENT_USER, u"", {"controlpanel"}, {}},
      {HKEY_CURRENT_USER,
       u"ControlPanel\\Owner",
       {},
       {{"Owner", REG_BINARY, RegistryText(u"Jane Doe")}}},
      {HKEY_CLASSES_ROOT, u"", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(Wide(c.key).data()));
    HKEY key = 0;
    ASSERT_EQ(CeRegOpenKeyEx(c.root, Wide(c.key).data(), 0, 0, &key), ERROR_SUCCESS);
    DWORD subkeys = 0, longestSubkey = 0, longestClass = 9, values = 0, longestName = 0,
          largestValue = 0;
    ASSERT_EQ(
        CeRegQueryInfoKey(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, &longestClass,
                          &values, &longestName, &largestValue, nullptr, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(subkeys, c.subkeys.size());
    EXPECT_EQ(values, c.values.size());
    EXPECT_EQ(longestClass, 0u);
    size_t wantSubkey = 0, wantName = 0, wantValue = 0;
    for (const std::string& k : c.subkeys) wantSubkey = std::max(wantSubkey, k.size());
    for (const Value& v : c.values) {
      wantName = std::max(wantName, v.name.size());
      wantValue = std::max(wantValue, v.data.size());
    }
    EXPECT_EQ(longestSubkey, wantSubkey);
    EXPECT_EQ(longestName, wantName);
    EXPECT_EQ(largestValue, wantValue);

    // Listed the way synce-registry lists: buffers as large as the key said.
    std::vector<std::string> gotSubkeys;
    for (DWORD i = 0;; ++i) {
      std::vector<WCHAR> name(longestSubkey + 1);
      DWORD size = longestSubkey + 1;
      const LONG r = CeRegEnumKeyEx(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      ASSERT_EQ(r, ERROR_SUCCESS);
      EXPECT_EQ(size, Narrow(name.data()).size());
      gotSubkeys.push_back(Narrow(name.data()));
    }
    EXPECT_EQ(gotSubkeys, c.subkeys);
    std::vector<Value> got;
    for (DWORD i = 0;; ++i) {
      std::vector<WCHAR> name(longestName + 1);
      std::vector<uint8_t> data(largestValue);
      DWORD nameSize = longestName + 1, type = 0, size = largestValue;
      const LONG r =
          CeRegEnumValue(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &size);
      if (r == ERROR_NO_MORE_ITEMS) break;
      ASSERT_EQ(r, ERROR_SUCCESS);
      data.resize(size);
      got.push_back({Narrow(name.data()), type, data});
    }
    ASSERT_EQ(got.size(), c.values.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.values[i].name);
      EXPECT_EQ(got[i].type, c.values[i].type);
      EXPECT_EQ(got[i].data, c.values[i].data);
    }
    EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);
  }

  // Buffers too small for a name or a value, a handle that names nothing,
  // and a key that is not there.
  HKEY ident = 0;
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, Wide(u"\\IDENT").data(), 0, 0, &ident),
            ERROR_SUCCESS);
  WCHAR name[5];
  uint8_t data[64];
  DWORD nameSize = 5, size = sizeof data;
  EXPECT_EQ(CeRegEnumValue(ident, 1, name, &nameSize, nullptr, nullptr, data, &size),
            ERROR_SUCCESS);  // "Name" and its terminator fit
  nameSize = 4, size = sizeof data;
  EXPECT_EQ(CeRegEnumValue(ident, 1, name, &nameSize, nullptr, nullptr, data, &size),
            ERROR_MORE_DATA);  // but not without room for the terminator
  nameSize = 5, size = sizeof data;
  EXPECT_EQ(CeRegEnumValue(ident, 2, name, &nameSize, nullptr, nullptr, data, &size),
            ERROR_MORE_DATA);  // nor does "OrigName"
  nameSize = 5, size = 19;     // "Pocket PC" takes 20 bytes
  EXPECT_EQ(CeRegEnumValue(ident, 1, name, &nameSize, nullptr, nullptr, data, &size),
            ERROR_MORE_DATA);
  size = 0;  // a buffer with no room at all
  EXPECT_EQ(CeRegQueryValueEx(ident, Wide(u"Name").data(), nullptr, nullptr, data, &size),
            ERROR_MORE_DATA);
  nameSize = 5;
  EXPECT_EQ(CeRegEnumKeyEx(ident, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  DWORD count = 0;
  EXPECT_EQ(CeRegQueryInfoKey(12345, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(CeRegEnumValue(12345, 0, name, &nameSize, nullptr, nullptr, data, &size),
            ERROR_INVALID_HANDLE);
  HKEY none = 0;
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, Wide(u"Ident\\Nothing").data(), 0, 0, &none),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeRegCloseKey(ident), ERROR_SUCCESS);
}

TEST(RapiServer, ToolsFindEveryDatabaseAndReadItsRecords) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.Generate({.records = 40, .spansPerRecord = 2, .accounts = 3}).ok());
  RapiDock dock(env.imagePath(), env.dir.File("synce"));
  LibrarySession session;

  // Every database at once, all it can tell of each.
  const WORD everything = FAD_OID | FAD_FLAGS | FAD_NAME | FAD_TYPE | FAD_NUM_RECORDS |
                          FAD_NUM_SORT_ORDER | FAD_SIZE | FAD_LAST_MODIFIED | FAD_SORT_SPECS;
  WORD count = 0;
  CEDB_FIND_DATA* found = nullptr;
  ASSERT_TRUE(CeFindAllDatabases(0, everything, &count, &found));
  ASSERT_EQ(count, std::size(kHandheldDatabases));
  std::vector<CEOID> oids;
  for (size_t i = 0; i < count; ++i) {
    const std::string name = kHandheldDatabases[i];
    CeOid oid = 0;
    ASSERT_TRUE(env.image.FindDatabase(name, &oid).ok());
    EXPECT_EQ(Narrow(found[i].DbInfo.szDbaseName), name);
    EXPECT_EQ(found[i].OidDb, oid);
    EXPECT_EQ(found[i].DbInfo.wNumRecords, env.image.RecordCount(name)) << name;
    EXPECT_EQ(found[i].DbInfo.dwDbaseType, 0u);
    EXPECT_EQ(found[i].DbInfo.wNumSortOrder, 1);
    EXPECT_EQ(found[i].DbInfo.rgSortSpecs[0].propid, kKeyProperty);
    oids.push_back(oid);
  }
  CeRapiFreeBuffer(found);
  // Only the ids, and of a type the handheld has none of.
  ASSERT_TRUE(CeFindAllDatabases(0, FAD_OID, &count, &found));
  ASSERT_EQ(count, oids.size());
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(found[i].OidDb, oids[i]);
  }
  CeRapiFreeBuffer(found);
  ASSERT_TRUE(CeFindAllDatabases(7, everything, &count, &found));
  EXPECT_EQ(count, 0);

  // One by one, with what the object store tells of each; then the end.
  const HANDLE walk = CeFindFirstDatabase(0);
  ASSERT_NE(walk, INVALID_HANDLE_VALUE);
  for (size_t i = 0; i <= oids.size(); ++i) {
    const CEOID oid = CeFindNextDatabase(walk);
    if (i == oids.size()) {
      EXPECT_EQ(oid, 0u);
      EXPECT_EQ(CeGetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
      break;
    }
    ASSERT_EQ(oid, oids[i]);
    CEOIDINFO info{};
    ASSERT_TRUE(CeOidGetInfo(oid, &info));
    EXPECT_EQ(info.wObjType, OBJTYPE_DATABASE);
    EXPECT_EQ(Narrow(info.u.infDatabase.szDbaseName), kHandheldDatabases[i]);
    EXPECT_EQ(info.u.infDatabase.wNumRecords, env.image.RecordCount(kHandheldDatabases[i]));
  }
  EXPECT_TRUE(CeCloseHandle(walk));
  EXPECT_FALSE(CeCloseHandle(walk));
  // A connection keeps a bounded number of enumerations open.
  std::vector<HANDLE> walks;
  for (HANDLE h; (h = CeFindFirstDatabase(0)) != INVALID_HANDLE_VALUE && walks.size() < 100;) {
    walks.push_back(h);
  }
  EXPECT_EQ(walks.size(), 64u);
  EXPECT_EQ(CeGetLastError(), 4u);  // too many open
  for (HANDLE h : walks) EXPECT_TRUE(CeCloseHandle(h));
  EXPECT_EQ(CeFindNextDatabase(walk), 0u);
  EXPECT_EQ(CeGetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // HLGroup read through as synce-database reads a database: opened by
  // name in no particular order, each read moving on, the buffer grown.
  std::vector<std::vector<CeValue>> records;
  ASSERT_TRUE(env.image.Records("HLGroup", &records).ok());
  ASSERT_EQ(records.size(), 40u);
  CEOID oid = 0;
  const HANDLE db = CeOpenDatabase(&oid, Wide(u"HLGroup").data(), 0, CEDB_AUTOINCREMENT, 0);
  ASSERT_NE(db, INVALID_HANDLE_VALUE);
  EXPECT_EQ(oid, oids[2]);
  LPBYTE buffer = static_cast<LPBYTE>(malloc(16));
  DWORD bufferSize = 16;
  for (size_t n = 0; n <= records.size(); ++n) {
    WORD props = 0;
    const CEOID record =
        CeReadRecordProps(db, CEDB_ALLOWREALLOC, &props, nullptr, &buffer, &bufferSize);
    if (n == records.size()) {
      EXPECT_EQ(record, 0u);
      break;
    }
    ASSERT_NE(record, 0u) << n;
    ASSERT_EQ(props, records[n].size());
    const auto* values = reinterpret_cast<const CEPROPVAL*>(buffer);
    for (size_t k = 0; k < props; ++k) {
      EXPECT_EQ(values[k].propid, records[n][k].propid);
      if (records[n][k].isString()) {
        EXPECT_EQ(Narrow(values[k].val.lpwstr), Narrow(Wide(records[n][k].text).data()));
      } else {
        EXPECT_EQ(values[k].val.lVal, records[n][k].integer);
      }
    }
  }
  free(buffer);
  EXPECT_TRUE(CeCloseHandle(db));
  // A database whose record count cannot be taken fails the whole find.
  ASSERT_TRUE(env.image.SetFault(HandheldFault::Count, "HLTime").ok());
  EXPECT_FALSE(CeFindAllDatabases(0, everything, &count, &found));
  EXPECT_EQ(CeRapiGetError(), E_FAIL);
  // A database the handheld does not have, as synce-database also asks.
  oid = 0;
  EXPECT_EQ(CeOpenDatabase(&oid, Wide(u"pmailAttachs").data(), 0, CEDB_AUTOINCREMENT, 0),
            INVALID_HANDLE_VALUE);
}

#endif  // HORALOG_HAVE_RAPI
