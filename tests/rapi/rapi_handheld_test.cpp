// The real handheld's platform through the RAPI library: connection,
// identification, round trips, and what it makes of broken or hostile
// answers.
#if HORALOG_HAVE_RAPI

#include "rapi/rapi_handheld.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"
#include "support/recording_sync_view.h"
#include "sync/device_database.h"
#include "sync/sync_procedure.h"

// After the project's headers: the library defines some of their names.
#include <rapi.h>

using namespace synce;  // the library's C names

namespace {

constexpr const char* kInitFailed =
    "Mobile device initialization failed.  Verify SynCE (its RAPI library and connection "
    "manager) is installed and functioning properly, then try connecting again.";
constexpr const char* kConnectFailed =
    "Unable to connect to mobile device.  Verify device is turned on and docked and SynCE's "
    "connection manager (dccm) is running, then try connecting again.";

bool Connect(CePlatform& handheld, int waitMs = 5000) {
  RapiInit init;
  if (handheld.CeRapiInitEx(&init) != 0) return false;
  return init.heRapiInit->Wait(waitMs) && init.heRapiInit->result() == 0;
}

void Le32(std::vector<uint8_t>* b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b->push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void Le16(std::vector<uint8_t>* b, uint16_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
std::vector<uint8_t> Packet(const std::vector<uint8_t>& body) {
  std::vector<uint8_t> p;
  Le32(&p, static_cast<uint32_t>(body.size()));
  p.insert(p.end(), body.begin(), body.end());
  return p;
}

// A peer on the RAPI port that answers the handle close every connection
// starts with and a database open properly, and every record read with the
// bytes a test chooses, sent as they are.
class HostilePeer {
 public:
  // With records set, a record count is answered with it: the desktop then
  // reads that many records ahead in one go.
  explicit HostilePeer(std::vector<uint8_t> readAnswer, uint16_t records = 0)
      : answer_(std::move(readAnswer)), records_(records) {
    address_ = UniqueLoopbackAddress();
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kRapiPort);
    ::inet_pton(AF_INET, address_.c_str(), &a.sin_addr);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << strerror(errno);
    EXPECT_EQ(::listen(listener_, 4), 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HostilePeer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  const std::string& address() const { return address_; }

 private:
  void Serve() {
    client_ = ::accept(listener_, nullptr, nullptr);
    if (client_ < 0) return;
    for (;;) {
      uint8_t le[4];
      if (::recv(client_, le, 4, MSG_WAITALL) != 4) break;
      const uint32_t n = le[0] | le[1] << 8 | le[2] << 16 | static_cast<uint32_t>(le[3]) << 24;
      std::vector<uint8_t> body(n);
      if (n > 0 && ::recv(client_, body.data(), n, MSG_WAITALL) != static_cast<ssize_t>(n)) break;
      const uint32_t command = body.size() >= 4 ? body[0] : 0;
      std::vector<uint8_t> reply;
      if (command == 0x08) {  // closing a handle
        Le32(&reply, 0), Le32(&reply, 6), Le32(&reply, 0);
        reply = Packet(reply);
      } else if (command == 0x0e) {  // opening a database: handle 5, object 7
        Le32(&reply, 0), Le32(&reply, 0), Le32(&reply, 5), Le32(&reply, 7);
        reply = Packet(reply);
      } else if (command == 0x0c && records_ > 0) {  // a database of records_ records
        Le32(&reply, 0), Le32(&reply, 0), Le32(&reply, 1), Le16(&reply, 3), Le16(&reply, 68);
        Le32(&reply, 0);
        reply.resize(reply.size() + 68);  // the name, the type
        Le16(&reply, records_), Le16(&reply, 1);
        reply.resize(reply.size() + 44);
        reply = Packet(reply);
      } else {
        reply = answer_;
      }
      ::send(client_, reply.data(), reply.size(), MSG_NOSIGNAL);
      if (command == 0x10) break;  // then the connection ends
    }
    ::close(client_);
  }

  std::vector<uint8_t> answer_;
  uint16_t records_;
  std::string address_;
  int listener_ = -1;
  int client_ = -1;
  std::thread thread_;
};

// A record read's answer: oid 0x1234, the size and count given, then data.
std::vector<uint8_t> ReadAnswer(uint32_t size, uint16_t count, const std::vector<uint8_t>& data,
                                size_t sendOnly = SIZE_MAX) {
  std::vector<uint8_t> body;
  Le32(&body, 0), Le32(&body, 0), Le32(&body, 0x1234), Le32(&body, size), Le16(&body, count);
  body.insert(body.end(), data.begin(), data.end());
  std::vector<uint8_t> packet = Packet(body);
  if (sendOnly < packet.size()) packet.resize(sendOnly);
  return packet;
}

// One string property (CEVT_LPWSTR) whose offset is given, then extra bytes.
std::vector<uint8_t> StringValue(uint32_t offset, const std::vector<uint8_t>& extra) {
  std::vector<uint8_t> d;
  Le32(&d, 0x0001001F), Le16(&d, 0), Le16(&d, 0), Le32(&d, offset), Le32(&d, 0);
  d.insert(d.end(), extra.begin(), extra.end());
  return d;
}

}  // namespace

TEST(RapiHandheld, HostileAnswersAreFailedReadsAndNeverReadPastTheirBuffer) {
  TestEnvironment env;
  const std::vector<uint8_t> abc = {'a', 0, 'b', 0, 'c', 0};
  const std::vector<uint8_t> good = StringValue(16, {'o', 0, 'k', 0, 0, 0});
  struct Case {
    const char* what;
    std::vector<uint8_t> answer;
    bool reads;
  };
  const Case cases[] = {
      {"a proper answer", ReadAnswer(22, 1, good), true},
      {"a packet cut short", ReadAnswer(22, 1, good, 20), false},
      {"a size beyond the packet", ReadAnswer(1000, 1, good), false},
      {"a string outside the answer", ReadAnswer(22, 1, StringValue(500, abc)), false},
      {"a string at the answer's end", ReadAnswer(22, 1, StringValue(22, abc)), false},
      {"a string inside the values", ReadAnswer(22, 1, StringValue(4, abc)), false},
      {"a string without a terminator", ReadAnswer(22, 1, StringValue(16, abc)), false},
      {"a string at an odd offset, cut", ReadAnswer(22, 1, StringValue(17, abc)), false},
      {"an empty packet", Packet({}), false},
  };
  for (const Case& c : cases)
    for (const uint16_t records : {0, 3}) {
      HostilePeer peer(c.answer, records);
      ASSERT_TRUE(
          RapiServer::WriteConnectionFile(env.dir.File("synce"), "Hostile", peer.address()).ok());
      ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
      RapiHandheld handheld;
      ASSERT_TRUE(Connect(handheld)) << c.what << ", " << records << " records";
      DeviceDatabase db(handheld, "HLAccountName");
      ASSERT_NE(db.Open(), 0u) << c.what << ", " << records << " records";
      uint16_t count = 0;
      EXPECT_TRUE(records == 0 || (db.RecordCount(&count) && count == records)) << c.what;
      std::vector<CeValue> values;
      const DeviceDatabase::ReadResult read = db.ReadRecord(0, 1, &values);
      EXPECT_EQ(read == DeviceDatabase::ReadResult::Ok, c.reads)
          << c.what << ", " << records << " records";
      if (c.reads) {
        EXPECT_EQ(values[0].text, u"ok");
      }
      handheld.CeRapiUninit();
    }
}

TEST(RapiHandheld, LibraryValuesAreCheckedAgainstTheirBuffer) {
  // The values as the library lays them out: its own structures, pointers.
  struct Layout {
    CEPROPVAL values[2];
    char16_t text[4];
  } layout{};
  layout.values[0].propid = 0x10003;
  layout.values[0].val.lVal = -7;
  layout.values[1].propid = 0x2001F;
  layout.values[1].val.lpwstr = reinterpret_cast<LPWSTR>(layout.text);
  std::memcpy(layout.text, u"hi\0", 6);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&layout);
  std::vector<CeValue> values;
  ASSERT_TRUE(ReadLibraryProperties(bytes, sizeof layout, 2, &values));
  EXPECT_EQ(values[0].integer, -7);
  EXPECT_EQ(values[1].text, u"hi");
  EXPECT_TRUE(ReadLibraryProperties(nullptr, 0, 0, &values));
  EXPECT_TRUE(values.empty());
  // More values than the buffer holds; text cut off before its terminator.
  EXPECT_FALSE(ReadLibraryProperties(bytes, sizeof layout.values - 1, 2, &values));
  EXPECT_FALSE(ReadLibraryProperties(bytes, sizeof layout.values + 4, 2, &values));
  // Pointers before the text, into the values, and past the end.
  const auto at = reinterpret_cast<uintptr_t>(bytes);
  for (const uintptr_t p : {at - 64, at + 8, at + sizeof layout}) {
    layout.values[1].val.lpwstr = reinterpret_cast<LPWSTR>(p);
    EXPECT_FALSE(ReadLibraryProperties(bytes, sizeof layout, 2, &values));
  }
}

TEST(RapiHandheld, ConnectionFailuresAreTheProceduresOwn) {
  HandheldFixture env;
  ScopedEnv conf("SYNCE_CONF_DIR", env.dir.File("synce"));
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string status;
  };
  std::optional<RapiDock> dock;
  const Case cases[] = {
      // No connection description: nothing known of any handheld.
      {"no handheld known", [] {}, kInitFailed},
      // A description whose program has gone (pid 0 is never a server).
      {"a description left behind",
       [&] {
         std::filesystem::create_directories(env.dir.File("synce"));
         std::ofstream(env.dir.File("synce/active_connection"))
             << "[dccm]\npid=999999999\n[device]\nname=Gone\nip=127.0.0.1\n"
                "[connection]\ntransport=ppp\n";
       },
       kConnectFailed},
      // Served, but answering only after 8 s: given up at 5 s.
      {"a handheld that answers too late",
       [&] {
         ASSERT_TRUE(env.image.SetDelay(8000).ok());
         dock.emplace(env.imagePath(), env.dir.File("synce"));
       },
       kConnectFailed},
  };
  for (const Case& c : cases) {
    c.arrange();
    RecordingSyncView view;
    RapiHandheld handheld;
    SyncProcedure procedure(handheld, view, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::NotConnected) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(7000)) << c.what;
    EXPECT_EQ(view.statuses, std::vector<std::string>{c.status}) << c.what;
    EXPECT_EQ(procedure.deviceName(), "") << c.what;
  }
  dock.reset();  // the abandoned attempt's connection ends with the server

  // Served in time: identified by name and owner, read in one request a record.
  ASSERT_TRUE(env.image.ClearFaults().ok());
  HandheldGenerateOptions options;
  options.records = 400;
  ASSERT_TRUE(env.image.Generate(options).ok());
  // The records left are read ahead, many in a round trip, unless the
  // user sets one read at a time.
  for (const char* readAhead : {"", "1"}) {
    ScopedEnv setting("HORALOG_RAPI_READ_AHEAD", readAhead);
    dock.emplace(env.imagePath(), env.dir.File("synce"));
    RecordingSyncView view;
    RapiHandheld handheld;
    SyncProcedure procedure(handheld, view, false);
    EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::Finished);
    EXPECT_EQ(view.caption, "Synchronization of Pocket PC (Jane Doe)");
    EXPECT_EQ(procedure.deviceName(), "Pocket_PC");
    EXPECT_TRUE(view.messages.empty());
    const uint64_t records = 10 + 50 + 400 + 400;
    EXPECT_LE(dock->server().requests(), records * 105 / 100) << readAhead;
    EXPECT_LE(dock->server().roundTrips(), *readAhead ? records * 105 / 100 : records / 25);
    EXPECT_GE(dock->server().roundTrips(), *readAhead ? records : 10);
  }
}

TEST(RapiHandheld, AnAnswerThatNeverComesFailsTheCallAsALostLink) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Smith").ok());
  // Answers come 4 s late; the call is given up after 300 ms, long before.
  RapiDock dock(env.imagePath(), env.dir.File("synce"), 4000);
  RapiHandheld handheld(300);
  ASSERT_TRUE(Connect(handheld, 20000));
  const auto start = std::chrono::steady_clock::now();
  DeviceDatabase db(handheld, "HLAccountName");
  EXPECT_EQ(db.Open(), 0u);
  EXPECT_NE(handheld.CeRapiGetError(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
  std::vector<CeValue> values;
  EXPECT_EQ(db.ReadRecord(0, 1, &values), DeviceDatabase::ReadResult::LinkLost);
  handheld.CeRapiUninit();
}

#endif  // HORALOG_HAVE_RAPI
