#pragma once
// The "None" interval: never signal. Stored as 4294967295 (-1 as a signed number). No
// Windows headers, so the plain scheduling rules can name it too.
#include <cstdint>

constexpr std::uint32_t kIntervalNone = 0xFFFFFFFFu;
