// Serial devices on termios: the small layer under the serial link cmcComm.
// Every call reports failure by its return value (false, -1 or an empty
// optional); nothing throws and nothing prints.
//
// A port is opened exclusively: TIOCEXCL keeps other programs from opening the
// device (root is exempt from it) and a non-blocking flock(LOCK_EX) on the
// descriptor refuses the device when another program holds that lock. The
// descriptor is non-blocking, so reads never wait; writes wait with poll()
// for at most the time-out they are given.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform::serial {

// Parity of a serial line: the numbering is the one the serial link keeps in
// its parity-mode field.
enum class Parity : std::uint8_t { kNone = 0, kOdd = 1, kEven = 2, kMark = 3, kSpace = 4 };

struct LineSettings {
  std::uint32_t baud = 9600;  // must have a standard B constant
  int dataBits = 8;           // 5..8
  Parity parity = Parity::kNone;
  bool parityCheck = false;   // check (INPCK) the parity of received bytes
  bool twoStopBits = false;
};

// Opens an existing device for reading and writing, without making it the
// controlling terminal, non-blocking and close-on-exec, then takes it for
// exclusive use. Returns the descriptor, or -1 (the device does not exist,
// permission denied, held by another program, ...). errno is kept from the
// failing call so that a caller may tell "permission denied" apart.
int Open(const std::string& path);

// Closes a descriptor from Open (the lock goes with it). -1 is ignored.
void Close(int fd);

// True when the rate has a standard B constant.
bool IsStandardBaud(std::uint32_t baud);

// Raw mode with CLOCAL | CREAD, the given rate, data bits, parity and stop
// bits, and no hardware or software flow control. False when the rate has no
// B constant, the data bits are outside 5..8, or the device refuses or does
// not take the rate. The framing is the driver's to honour: a pseudo-terminal
// keeps 8 data bits without parity whatever it is asked.
bool Configure(int fd, const LineSettings& settings);

// Reads the settings back from the device (rate, data bits, parity, stop bits).
std::optional<LineSettings> ReadSettings(int fd);

// Discards everything pending in both directions (tcflush TCIOFLUSH).
bool Purge(int fd);

// Bytes waiting to be read (FIONREAD) / not yet sent (TIOCOUTQ).
std::optional<int> InQueue(int fd);
std::optional<int> OutQueue(int fd);

enum class ModemLine { kDtr, kRts };
// Raises or lowers DTR or RTS (TIOCMBIS / TIOCMBIC). A device without
// modem-control lines (a pseudo-terminal answers ENOTTY or EINVAL) accepts the
// request without effect; any other failure returns false.
bool SetModemLine(int fd, ModemLine line, bool on);

// Reads up to n bytes that have already arrived. Never waits. Returns the
// count (0 when nothing has arrived) or -1 on failure.
int ReadNow(int fd, void* buffer, int n);

// Writes n bytes, waiting with poll() while the device is full, for at most
// timeoutMs in all. Returns the count moved (less than n when the time ran
// out) or -1 when the device failed before anything was moved.
int WriteWithin(int fd, const void* bytes, int n, std::uint32_t timeoutMs);

}  // namespace platform::serial
