// Millisecond tick counter and sleep: the Linux counterparts of the system tick
// count (milliseconds since start, wrapping at 2^32) and of Sleep.
#pragma once
#include <cstdint>

namespace platform {

// Milliseconds of CLOCK_MONOTONIC, truncated to 32 bits, plus the test shift.
std::uint32_t TickCount();

// Adds a constant to every later TickCount() result, so that a test can put
// the counter just before its wrap. Not for use outside tests.
void ShiftTickCount(std::uint32_t offset);

void SleepMs(unsigned ms);

}  // namespace platform
