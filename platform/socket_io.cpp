// Whole messages over a stream socket.
#include "platform/socket_io.h"

#include <sys/socket.h>

#include <cerrno>

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool ReceiveAll(int fd, uint8_t* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::recv(fd, data + done, n - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}
