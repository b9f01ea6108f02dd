#include "platform/serial_port.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform::serial {

namespace {

struct BaudEntry {
  std::uint32_t rate;
  speed_t constant;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

std::optional<speed_t> BaudConstant(std::uint32_t baud) {
  for (const BaudEntry& e : kBauds)
    if (e.rate == baud) return e.constant;
  return std::nullopt;
}

std::optional<std::uint32_t> BaudRate(speed_t constant) {
  for (const BaudEntry& e : kBauds)
    if (e.constant == constant) return e.rate;
  return std::nullopt;
}

std::optional<tcflag_t> SizeFlag(int dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
  }
}

// Closes fd without disturbing the errno of the failure being reported.
void CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

}  // namespace

int Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // Not a terminal (TIOCEXCL fails): not a serial device.
  if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    CloseKeepingErrno(fd);
    return -1;
  }
  return fd;
}

void Close(int fd) {
  if (fd < 0) return;
  // The exclusive mark belongs to the device, not to the descriptor: drop it,
  // or the next open (by us or anybody) would be refused while some other
  // descriptor of the device is still open.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

bool IsStandardBaud(std::uint32_t baud) { return BaudConstant(baud).has_value(); }

bool Configure(int fd, const LineSettings& s) {
  const std::optional<speed_t> speed = BaudConstant(s.baud);
  const std::optional<tcflag_t> size = SizeFlag(s.dataBits);
  if (!speed || !size) return false;
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  if (s.parityCheck) t.c_iflag |= INPCK;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  t.c_cflag |= *size | CLOCAL | CREAD;
  switch (s.parity) {
    case Parity::kNone: break;
    case Parity::kOdd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::kEven: t.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case Parity::kMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::kSpace: t.c_cflag |= PARENB | CMSPAR; break;
#else
    case Parity::kMark:
    case Parity::kSpace: return false;
#endif
  }
  if (s.twoStopBits) t.c_cflag |= CSTOPB;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, *speed) != 0 || ::cfsetospeed(&t, *speed) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
  // tcsetattr succeeds when any part was taken: check that the rate was.
  // Framing is left to the driver (a pseudo-terminal always keeps 8 data
  // bits without parity, whatever it is asked).
  termios back{};
  if (::tcgetattr(fd, &back) != 0) return false;
  return ::cfgetospeed(&back) == *speed;
}

std::optional<LineSettings> ReadSettings(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return std::nullopt;
  const std::optional<std::uint32_t> rate = BaudRate(::cfgetospeed(&t));
  if (!rate) return std::nullopt;
  LineSettings s;
  s.baud = *rate;
  switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
  }
  s.parity = Parity::kNone;
  if (t.c_cflag & PARENB) {
    const bool odd = (t.c_cflag & PARODD) != 0;
#ifdef CMSPAR
    if (t.c_cflag & CMSPAR)
      s.parity = odd ? Parity::kMark : Parity::kSpace;
    else
#endif
      s.parity = odd ? Parity::kOdd : Parity::kEven;
  }
  s.parityCheck = (t.c_iflag & INPCK) != 0;
  s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
  return s;
}

bool Purge(int fd) { return ::tcflush(fd, TCIOFLUSH) == 0; }

std::optional<int> InQueue(int fd) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) != 0) return std::nullopt;
  return n;
}

std::optional<int> OutQueue(int fd) {
  int n = 0;
  if (::ioctl(fd, TIOCOUTQ, &n) != 0) return std::nullopt;
  return n;
}

bool SetModemLine(int fd, ModemLine line, bool on) {
  int bits = line == ModemLine::kDtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

int ReadNow(int fd, void* buffer, int n) {
  if (n <= 0) return 0;
  for (;;) {
    const ssize_t r = ::read(fd, buffer, static_cast<size_t>(n));
    if (r >= 0) return static_cast<int>(r);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

int WriteWithin(int fd, const void* bytes, int n, std::uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto* p = static_cast<const unsigned char*>(bytes);
  int done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, p + done, static_cast<size_t>(n - done));
    if (w > 0) {
      done += static_cast<int>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return done > 0 ? done : -1;
    // The device is full: wait until it takes more or the time is up.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{fd, POLLOUT, 0};
    const int r = ::poll(&pfd, 1, static_cast<int>(left));
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) break;
  }
  return done;
}

}  // namespace platform::serial
