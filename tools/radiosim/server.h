// Serves updates over a pseudo-terminal and/or a loopback TCP port, one at a
// time, feeding the bytes to a Radio and writing its answers back.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/radiosim/radio.h"

namespace radiosim {

struct Options {
  std::string serialPath;  // symbolic link to the pty slave; empty: no serial
  int tcpPort = -1;        // -1: no TCP; 0: any free port (shown in the ready line)
  const Variant* variant = nullptr;
  bool uart = false;
  std::vector<Fault> faults;
  int faultUpdate = 0;     // 0: every update; else only that one (from 1)
  std::string flashOut, reportPath, expectPath;
  int runs = 0;            // 0: until stopped
  int timeoutMs = 10000;   // quiet time that ends an update as failed
  int settleMs = 2000;     // quiet time that ends an update after a fault or violation
  int startTimeoutMs = -1; // -1: 120000 with --runs, else none
  int bootAfter = 1;
  int lockAfter = 1;
  std::array<uint8_t, 4> flachReplies{0x01, 0x23, 0x45, 0x67};
  bool quiet = false;
};

// Returns the process exit code (see --help).
int Serve(const Options& options);

}  // namespace radiosim
