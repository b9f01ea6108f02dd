// Per-update summary of what the simulated radio saw, and its JSON form.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace radiosim {

struct Violation {
  size_t offset = 0;    // index of the offending byte in the update's inbound stream
  std::string state;    // what the radio was waiting for
  std::string message;
  std::string dump;     // hex of the bytes around the offset, the offending one in [ ]
};

struct TimingStats {
  size_t count = 0;
  double median = 0, p99 = 0, max = 0;  // milliseconds
};
TimingStats Summarize(std::vector<double> values);

struct UpdateReport {
  int update = 0;
  std::string transport;     // "serial" or "tcp"
  std::string cpu;
  std::string fault;         // "" when none is in force
  bool faultApplied = false;
  bool completed = false;    // reset request received with the right sum, no violation
  std::optional<bool> verified;  // flash compared with --expect (only for completed updates)
  std::string firstDifference;
  bool passed = false;       // what the exit code counts
  std::string endReason;
  std::vector<Violation> violations;
  size_t frames = 0;         // data frames accepted into the flash
  size_t blankBlocksSkipped = 0;  // gaps between consecutive data frames, in 128-byte blocks
  size_t blankBlocksSent = 0;     // data frames whose 128 bytes were all 0xFF
  int64_t firstAddress = -1, lastAddress = -1;
  int preambleBytes = 0;
  int bootCalls = 0;
  int zeroBytes = 0;
  std::string flachChkReplies;    // hex of the reply bytes sent
  uint32_t writerSize = 0;
  size_t writerBytes = 0;
  int writerBursts = 0;
  std::string writerSha256;
  std::optional<uint16_t> sum;    // as received in the sum frame
  uint16_t flashSum = 0;          // of the emulated flash at the end
  std::vector<std::pair<double, uint32_t>> bitRates;   // (ms, bit/s) as set on the line
  std::vector<std::pair<std::string, double>> events;  // (name, ms since the update began)
  TimingStats answerMs;     // end of a data frame -> answer written
  TimingStats nextFrameMs;  // end of a data frame -> start of the next frame
  size_t bytesIn = 0, bytesOut = 0;
  double durationMs = 0;
  int64_t startedUnixMs = 0;
};

std::string ToJson(const UpdateReport& r);  // one line, no trailing newline

}  // namespace radiosim
