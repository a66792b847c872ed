// The RAPI server of an image against requests no library would send: each
// gets an error answer or a closed connection, and the server serves on.
#include "device/rapi_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "device/device_password.h"
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
  ASSERT_TRUE(env.image.PutAccount(1, u"Smith"));
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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Exchange(dock.address(), c.bytes), c.answer) << c.what;
  }
  // The server still serves, and counted only what it answered.
  EXPECT_EQ(Exchange(dock.address(), Words({8, 0x08, 0xffffffff})), "answer 00000006");
  EXPECT_EQ(dock.server().requests(), 8u);
  EXPECT_EQ(dock.server().roundTrips(), 8u);
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
  ASSERT_TRUE(server.Start()) << server.error();
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
