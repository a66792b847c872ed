// Whole messages over a stream socket.
#pragma once

#include <cstdint>
#include <vector>

// Sends every byte of bytes on the blocking socket fd (a signal between
// pieces is no failure); false when the peer or the link went away first.
// Never raises SIGPIPE.
bool SendAll(int fd, const std::vector<uint8_t>& bytes);
