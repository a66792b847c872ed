// The RAPI server of an image against requests no library would send: each
// gets an error answer or a closed connection, and the server serves on.
#include "device/rapi_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "support/handheld_fixture.h"
#include "support/rapi_dock.h"

namespace {

// Sends bytes and reads the answer's packet; "closed" when the server
// closed the connection instead.
std::string Exchange(const std::string& address, const std::vector<uint8_t>& bytes) {
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
  if (::recv(fd, le, 4, MSG_WAITALL) == 4) {
    const uint32_t n = le[0] | le[1] << 8 | le[2] << 16 | static_cast<uint32_t>(le[3]) << 24;
    std::vector<uint8_t> body(n);
    if (n >= 8 && ::recv(fd, body.data(), n, MSG_WAITALL) == static_cast<ssize_t>(n)) {
      const uint32_t word = body[0];
      const uint32_t code = body[4] | body[5] << 8 | body[6] << 16 |
                            static_cast<uint32_t>(body[7]) << 24;
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
