#pragma once
// The clock and the local time-zone bias, the two time services the engine
// takes from the platform.

#include <cstdint>

namespace paloma {

// Milliseconds since 1970-01-01 00:00:00 UTC.
std::int64_t currentTimeMillis();

// The system's current time-zone bias in minutes, positive west of Greenwich
// (UTC = local time + bias). It includes the daylight-saving part that is in
// force now; callers take it once and keep it fixed.
int localBiasMinutes();

} // namespace paloma
