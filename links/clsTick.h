// clsTick: millisecond countdown on the platform's wrapping 32-bit tick
// counter. Arm it, then ask Remaining(); 0 means run out (or never armed).
#pragma once
#include <cstdint>

class clsTick {
 public:
  clsTick() { Disarm(); }
  void Disarm();
  void Arm(std::uint32_t ms);
  // Milliseconds left; 0 once run out. Correct across the counter's wrap.
  std::uint32_t Remaining();
  bool IsRunning() const { return running_; }

 private:
  std::uint32_t duration_ = 0;
  std::uint32_t start_ = 0;
  bool running_ = false;
};
