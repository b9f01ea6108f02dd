#include "links/clsTick.h"

#include "platform/clock.h"

void clsTick::Disarm() {
  duration_ = 0;
  start_ = 0;
  running_ = false;
}

void clsTick::Arm(std::uint32_t ms) {
  duration_ = ms;
  start_ = platform::TickCount();
  running_ = true;
}

std::uint32_t clsTick::Remaining() {
  if (!running_) return 0;
  const std::uint32_t elapsed = platform::TickCount() - start_;  // modulo 2^32
  if (elapsed < duration_) return duration_ - elapsed;
  running_ = false;
  return 0;
}
