// The current time, which tests can pin.
#include "platform/clock.h"

#include <atomic>

namespace {
std::atomic<bool> pinned{false};
std::atomic<std::time_t> pinnedValue{0};
}  // namespace

std::time_t Now() { return pinned ? pinnedValue.load() : std::time(nullptr); }

void SetNowForTesting(std::optional<std::time_t> value) {
  pinnedValue = value.value_or(0);
  pinned = value.has_value();
}
