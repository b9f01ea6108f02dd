#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace platform {

namespace {
std::atomic<std::uint32_t> g_shift{0};
}

std::uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms) + g_shift.load(std::memory_order_relaxed);
}

void ShiftTickCount(std::uint32_t offset) { g_shift.store(offset, std::memory_order_relaxed); }

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform
