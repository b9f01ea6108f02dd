// What a radio CPU looks like to the update tool: the commands it expects in
// normal operation, the boot program's exchanges, the frame form of its flash
// writer and the size of its flash. One row per CPU; the protocol engine reads
// only this row, so a new CPU is a new row plus whatever exchange it adds.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/radiosim/frame.h"

namespace radiosim {

struct Variant {
  std::string_view name;         // --cpu value
  std::string_view summary;
  bool available;                // served by this simulator today
  bool serial;                   // reachable over the serial link
  bool tcp;                      // reachable over TCP/IP
  uint32_t bootBaud;             // rate of the first command on the serial link
  uint32_t runBaud;              // rate from the update command on
  std::vector<uint8_t> serialBaudCommand;    // empty: none
  std::vector<uint8_t> serialUpdateCommand;
  std::vector<uint8_t> tcpUpdateCommand;     // empty: no TCP form
  bool flachChk;                 // four query bytes 'D' 'C' 'B' 'A' after 0xAA
  bool writerUpload;             // size echo + writer bytes + 0xAA
  bool preamble;                 // 0xFE bytes before the first frame
  FrameForm form;
  uint32_t flashSize;            // emulated flash, starts all 0xFF
  uint32_t sumLast;              // sum frame covers 0..sumLast
};

const std::vector<Variant>& Variants();
const Variant* FindVariant(std::string_view name);

}  // namespace radiosim
