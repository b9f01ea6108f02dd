// Window-side data of the ZB7152M program (front panel): which menu line runs
// which command, which lines are hidden, and how the log's sum line is taken
// over the firmware image. This build has the serial link only.
#pragma once
#include <cstdint>

namespace menutable {

enum class Command { None, ComPort, ComMore, IpAddress, IpPort };

struct Line {
  int line;
  Command command;
};

// Lines 4..7 select COM port GetComPortMin() + line - 4.
inline constexpr Line kCommands[] = {
    {4, Command::ComPort}, {5, Command::ComPort}, {6, Command::ComPort},
    {7, Command::ComPort}, {8, Command::ComMore},
};

inline constexpr int kHiddenLines[] = {0};

// No TCP/IP entry in this build.
inline constexpr int kIpAddressLine = -1;

// No link selection: COM commands only set the port, and the tick hands only
// the COM port to the sequencer.
inline constexpr bool kHasLinkSelection = false;

// The log's sum leaves out 0x1000..0x2FFF (the area the writer occupies).
struct SumRange {
  std::int32_t first;
  std::int32_t last;
};
inline constexpr SumRange kLogSumRanges[] = {{0x0, 0xFFF}, {0x3000, 0x16FFF}};

}  // namespace menutable
