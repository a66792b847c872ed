// The version every program shows: the About box and --version.
#pragma once

inline constexpr const char* kHoralogVersion = "1.3h";
