// Whole messages over a stream socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Sends every byte of bytes on the blocking socket fd (a signal between
// pieces is no failure); false when the peer or the link went away first.
// Never raises SIGPIPE.
bool SendAll(int fd, const std::vector<uint8_t>& bytes);
// Receives exactly n bytes into data from the blocking socket fd; false when
// the peer closed the link or it failed first.
bool ReceiveAll(int fd, uint8_t* data, size_t n);
