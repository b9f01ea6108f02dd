// Window-side data of the ZB7152K program (main CPU): which menu line runs
// which command, which lines are hidden, where the IP Address entry stands,
// and how the log's sum line is taken over the firmware image.
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
    {4, Command::ComPort},   {5, Command::ComPort}, {6, Command::ComPort},
    {7, Command::ComPort},   {8, Command::ComMore}, {14, Command::IpAddress},
    {15, Command::IpPort},
};

// Hidden right after the tree is built (File, and the separator and speeds).
inline constexpr int kHiddenLines[] = {0, 9, 10, 11, 12};

// Entry that carries the check mark while the TCP/IP link is selected
// (-1: the build has no such entry).
inline constexpr int kIpAddressLine = 14;

// The build has a link selection: COM commands and the COM dialog select the
// serial link, and the tick hands all four settings to the sequencer.
inline constexpr bool kHasLinkSelection = true;

// Sum shown by the log's "%R" piece: the low 16 bits of the sum of these
// inclusive ranges of the firmware image.
struct SumRange {
  std::int32_t first;
  std::int32_t last;
};
inline constexpr SumRange kLogSumRanges[] = {{0x0, 0x7FFFF}};

}  // namespace menutable
