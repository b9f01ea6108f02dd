// radiosim: a simulated radio for exercising the firmware update tool over a
// pseudo-terminal or a loopback TCP port. See --help.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/radiosim/server.h"

namespace {

const char kHelp[] = R"(Usage: radiosim [--serial PATH] [--tcp PORT] [options]

A simulated radio (main CPU) that the firmware update tool can update over a
pseudo-terminal or a loopback TCP connection. It plays the radio's side of the
whole update: the normal-operation commands, the boot program (boot call,
bit-rate lock, FlachChk queries, writer upload) and the flash writer (preamble,
data frames, sum frame, reset request). Every byte is checked; the first byte
the protocol does not allow at that point is reported as a violation (offset in
the update's inbound stream, what the radio was waiting for, hex of the bytes
around it, the offending byte in [ ]) and fails the update.

Transports (at least one; both may be given, whichever starts an update is served):
  --serial PATH      create a pseudo-terminal and make PATH a symbolic link to
                     its slave side; point the tool's COM port at PATH (section
                     Ports of its INI file, e.g. COM1=PATH). The link is removed
                     on exit. Bit rates are read from the terminal settings the
                     tool applies: 9600 bit/s for the bit-rate command, 38400
                     from the firmware-update command on.
  --tcp PORT         listen on 127.0.0.1:PORT (loopback only); one connection
                     per update. PORT 0 picks a free port (see the ready line).

Radio:
  --cpu NAME         radio CPU (default main). Known: main; front and dsp are
                     listed but not served yet.
  --uart             emulate a UART: take bytes in and send answers no faster
                     than the line carries them (10 bits per byte at the bit
                     rate in force; 38400 bit/s over TCP).
  --boot-after N     answer the N-th boot call "QARN" with 0x55 (default 1)
  --lock-after N     answer the N-th 0x00 byte with 0x00 (default 1)
  --flachchk HEX8    the four FlachChk reply bytes, to 'D','C','B','A' in that
                     order, as 8 hex digits (default 01234567)

Faults (for tests; --fault may be repeated):
  --fault KIND[:N]   no-boot            never answer the boot call
                     bitrate            answer 0x55 with 0xA5 instead of 0xAA
                     size-echo[:N]      echo writer-size byte N wrongly (1 high, 2 low; default 1)
                     no-flachchk[:N]    no reply to FlachChk query N (1..4, default 1)
                     silent-upload      take the whole writer, never send 0xAA
                     silent-after:N     no answer to data block N (from 1)
                     refuse:N           answer data block N with 0xFC
                     refuse-sum         answer the sum frame with 0xFC
                     close-after:N      accept data block N, then close the link
                                        (TCP: close the socket; serial: hang up
                                        the pseudo-terminal and offer a new one
                                        under the same PATH)
                     garbage-before-55  send 3C 81 E7 0F before the 0x55 answer
                                        (the tool must ride through this one)
  --fault-update U   apply the faults to update U only (from 1; default: every update)
  After a fault has taken effect the radio stays silent; any further byte from
  the host is a violation (except repeated boot calls under no-boot).

Outputs:
  --flash-out FILE   after each update, write the emulated flash as a binary
                     image of addresses 0..0x7FFFF (the flash starts all 0xFF at
                     the beginning of each update)
  --report FILE      JSON lines: one object per update (fields: update,
                     transport, cpu, fault, fault_applied, completed, verified,
                     first_difference, passed, end_reason, violations[],
                     frames, blank_blocks_skipped, blank_blocks_sent,
                     first_address, last_address, preamble_bytes, boot_calls,
                     zero_bytes, flachchk_replies, writer_size, writer_bytes,
                     writer_bursts, writer_sha256, sum, flash_sum, bit_rates[],
                     events_ms{}, answer_ms{count,median,p99,max} (end of a data
                     frame to the answer written), next_frame_ms{...} (end of a
                     data frame to the start of the next frame), bytes_in,
                     bytes_out, duration_ms, started_unix_ms)
  --expect FILE.mot  compare the flash after each completed update with this
                     S-record image (addresses not in the file read 0xFF); a
                     difference fails the update and names the first address

Running:
  --runs N           serve N updates, then exit (default: serve until SIGINT or
                     SIGTERM, like a production line)
  --timeout MS       an update in progress ends as failed after MS without a
                     byte from the host (default 10000)
  --settle MS        after a violation, or on the serial link after a fault
                     took effect, the update ends once the host has been quiet
                     for MS (default 2000); also the longest wait for the host
                     to close a TCP connection after the reset request. Over
                     TCP a host that met a fault is given up to the larger of
                     --timeout and 40 s (above its own longest reply time) to
                     close the connection.
  --start-timeout MS give up when no update starts within MS (default 120000
                     with --runs, else wait for ever; 0 = for ever)
  --quiet            no progress lines (failures are still reported)
  --help             this text

Once the link exists / the port listens, one line is printed on standard output:
  ready [serial=PATH pty=/dev/pts/N] [tcp=127.0.0.1:PORT]
Each update ends with one progress line on standard error.

An update is completed when the reset request arrives with the right sum and no
violation happened. On serial the next update starts with the next bit-rate
command at 9600 bit/s (a host that reopens at 9600 mid-update ends the current
one); over TCP the host must close the connection after the reset request.

Exit status: 0 when every update served passed and, with --runs N, N updates
were served. An update passes when it had no violation and either completed
(and matched --expect, if given) or a fault that makes the host give up took
effect (a deliberately faulted update is not the simulator's failure; its
report still says "completed": false). 1 when any update failed, fewer than N
updates were served, or no update started in time. 2 for a usage or setup
error (bad option, cannot create the link or listen, unreadable --expect).
SIGINT and SIGTERM end the run cleanly (the link is removed); an update cut
short by a signal counts as failed.
)";

int Usage(const std::string& why) {
  std::fprintf(stderr, "radiosim: %s\nTry 'radiosim --help'.\n", why.c_str());
  return 2;
}

bool ToInt(const char* s, long lo, long hi, int* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (!*s || *end || errno || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  radiosim::Options o;
  std::string cpu = "main";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--uart") { o.uart = true; continue; }
    if (a == "--quiet") { o.quiet = true; continue; }
    if (i + 1 >= argc) return Usage("option " + a + " needs a value (or is unknown)");
    const char* v = argv[++i];
    if (a == "--serial") o.serialPath = v;
    else if (a == "--tcp") { if (!ToInt(v, 0, 65535, &o.tcpPort)) return Usage("--tcp takes a port 0..65535"); }
    else if (a == "--cpu") cpu = v;
    else if (a == "--fault") {
      std::string why;
      const auto f = radiosim::ParseFault(v, &why);
      if (!f) return Usage(why);
      o.faults.push_back(*f);
    }
    else if (a == "--fault-update") { if (!ToInt(v, 1, 1000000, &o.faultUpdate)) return Usage("--fault-update takes a number from 1"); }
    else if (a == "--flash-out") o.flashOut = v;
    else if (a == "--report") o.reportPath = v;
    else if (a == "--expect") o.expectPath = v;
    else if (a == "--runs") { if (!ToInt(v, 1, 1000000, &o.runs)) return Usage("--runs takes a number from 1"); }
    else if (a == "--timeout") { if (!ToInt(v, 1, 3600000, &o.timeoutMs)) return Usage("--timeout takes milliseconds"); }
    else if (a == "--settle") { if (!ToInt(v, 1, 3600000, &o.settleMs)) return Usage("--settle takes milliseconds"); }
    else if (a == "--start-timeout") { if (!ToInt(v, 0, 86400000, &o.startTimeoutMs)) return Usage("--start-timeout takes milliseconds"); }
    else if (a == "--boot-after") { if (!ToInt(v, 1, 100000, &o.bootAfter)) return Usage("--boot-after takes a number from 1"); }
    else if (a == "--lock-after") { if (!ToInt(v, 1, 100000, &o.lockAfter)) return Usage("--lock-after takes a number from 1"); }
    else if (a == "--flachchk") {
      const std::string h = v;
      if (h.size() != 8 || h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return Usage("--flachchk takes 8 hex digits");
      for (int k = 0; k < 4; ++k) o.flachReplies[k] = static_cast<uint8_t>(std::stoul(h.substr(2 * k, 2), nullptr, 16));
    }
    else return Usage("unknown option " + a);
  }
  o.variant = radiosim::FindVariant(cpu);
  if (!o.variant) return Usage("unknown --cpu " + cpu + " (known: main, front, dsp)");
  if (!o.variant->available) return Usage("--cpu " + cpu + " is not served by this simulator yet");
  if (o.serialPath.empty() && o.tcpPort < 0) return Usage("give --serial PATH and/or --tcp PORT");
  if (!o.serialPath.empty() && !o.variant->serial) return Usage("this CPU has no serial link");
  if (o.tcpPort >= 0 && !o.variant->tcp) return Usage("this CPU has no TCP/IP link");
  return radiosim::Serve(o);
}
