// The current time, which tests can pin.
#pragma once

#include <ctime>
#include <optional>

// Seconds since 1970-01-01 00:00:00 UTC; the pinned value when one is set.
std::time_t Now();

// Pins Now() to value, or releases it with std::nullopt.
void SetNowForTesting(std::optional<std::time_t> value);
