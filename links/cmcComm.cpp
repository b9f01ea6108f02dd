#include "links/cmcComm.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "links/cmcTask.h"
#include "platform/comports.h"
#include "platform/serial_port.h"

namespace serial = platform::serial;

namespace {

struct ParsedSettings {
  std::uint32_t baud;
  std::uint8_t parity;
  bool parityCheck;
  std::uint8_t byteSize;
  std::uint8_t stopBits;
};

// "rate,parity,databits,stopbits" -> values; none for a text the link refuses.
std::optional<ParsedSettings> ParseSettings(const char* text) {
  std::optional<std::string> fields[4];
  for (int i = 0; i < 4; ++i) {
    fields[i] = cmcComm::Field(text, ',', i);
    if (!fields[i]) return std::nullopt;
  }
  ParsedSettings p{};

  const char* rate = fields[0]->c_str();
  char* end = nullptr;
  errno = 0;
  const long baud = std::strtol(rate, &end, 10);
  if (end == rate || errno == ERANGE || baud <= 0 || static_cast<unsigned long>(baud) > UINT32_MAX)
    return std::nullopt;
  p.baud = static_cast<std::uint32_t>(baud);

  switch ((*fields[1])[0]) {
    case 'N': case 'n': case '\0': p.parity = 0; break;
    case 'O': case 'o': p.parity = 1; break;
    case 'M': case 'm': p.parity = 3; break;
    case 'S': case 's': p.parity = 4; break;
    default: p.parity = 2; break;  // E and anything unknown: even
  }
  p.parityCheck = p.parity != 0;

  const long bits = std::strtol(fields[2]->c_str(), nullptr, 10);
  p.byteSize = static_cast<std::uint8_t>(std::clamp(bits, 4L, 8L));

  if (*fields[3] == "1.5")
    p.stopBits = 1;
  else if (*fields[3] == "2")
    p.stopBits = 2;
  else
    p.stopBits = 0;
  return p;
}

}  // namespace

cmcComm::cmcComm() : task_(new cmcTask) { task_->SetHandler(&cmcComm::DrainHandler, this); }

cmcComm::~cmcComm() {
  Close();
  DisposeTask(task_);
}

void cmcComm::DrainHandler(void* context) { static_cast<cmcComm*>(context)->Drain(); }

void cmcComm::StopTask() { task_->SetInterval(-1); }

std::optional<std::string> cmcComm::Field(const char* text, char delim, int n) {
  if (text == nullptr || n < 0) return std::nullopt;
  // In UTF-8 only bytes below 0x80 are characters of their own: a delimiter
  // byte of 0x80 or above would always be part of a longer character.
  const bool splits = static_cast<unsigned char>(delim) < 0x80 && delim != '\0';
  const char* start = text;
  for (int field = 0;; ++field) {
    const char* stop = splits ? std::strchr(start, delim) : nullptr;
    if (field == n) return stop ? std::string(start, stop) : std::string(start);
    if (stop == nullptr) return std::nullopt;
    start = stop + 1;
  }
}

bool cmcComm::Open(int port, const char* settings) {
  if (IsOpen()) return false;
  port_ = port;
  writeFailed_ = false;
  const std::optional<ParsedSettings> parsed = ParseSettings(settings);
  if (!parsed) return false;
  baud_ = parsed->baud;
  parity_ = parsed->parity;
  flags_.parityCheck = parsed->parityCheck;
  byteSize_ = parsed->byteSize;
  stopBits_ = parsed->stopBits;
  path_ = platform::ComDevicePath(port);

  fd_ = serial::Open(path_);
  if (fd_ < 0) return false;
  // The driver queue sizes are advice the kernel has no use for. A failing
  // purge leaves the port open: the caller's error path closes it.
  if (!serial::Purge(fd_)) return false;
  if (!ApplySettings()) {
    Close();
    return false;
  }
  return true;
}

void cmcComm::Close() {
  StopTask();
  if (fd_ >= 0) serial::Close(fd_);
  fd_ = -1;
  queue_.SetSize(0);
  writeFailed_ = false;
}

bool cmcComm::ApplySettings() {
  if (!IsOpen() || baud_ == 0) return false;
  writeMultiplier_ = 100000u / baud_;
  writeConstant_ = kWriteTimeoutConstantMs;

  serial::LineSettings s;
  s.baud = baud_;
  s.dataBits = byteSize_;
  s.parity = static_cast<serial::Parity>(parity_ <= 4 ? parity_ : 2);
  s.parityCheck = flags_.parityCheck;
  s.twoStopBits = stopBits_ != 0;
  if (!serial::Configure(fd_, s)) return false;
  return serial::SetModemLine(fd_, serial::ModemLine::kDtr, flags_.dtrControl != 0) &&
         serial::SetModemLine(fd_, serial::ModemLine::kRts, flags_.rtsControl != 0);
}

bool cmcComm::SetBaudRate(std::uint32_t baud) {
  baud_ = baud;
  return ApplySettings();
}

bool cmcComm::SetDtrControl(int mode) {
  flags_.dtrControl = static_cast<std::uint8_t>(mode & 3);
  return ApplySettings();
}

bool cmcComm::SetRtsControl(int mode) {
  flags_.rtsControl = static_cast<std::uint8_t>(mode & 3);
  return ApplySettings();
}

void cmcComm::Write(const void* bytes, int count) {
  if (!IsOpen() || count < 0 || (bytes == nullptr && count > 0)) return;
  StopTask();
  queue_.Append(bytes, count);
  task_->SetInterval(0);
  Drain();
}

void cmcComm::Drain() {
  if (!IsOpen()) {
    StopTask();
    return;
  }
  const std::int32_t queued = queue_.Count();
  const std::int32_t slice = std::min(txQuota_, queued);
  if (slice == 0) {
    StopTask();
    return;
  }
  if (OutQueue() != 0) {
    task_->SetInterval(kRetickMs);
    return;
  }
  const std::uint32_t timeout = writeMultiplier_ * static_cast<std::uint32_t>(slice) + writeConstant_;
  const int written = serial::WriteWithin(fd_, queue_.Data(), slice, timeout);
  if (written < slice) {
    writeFailed_ = true;
    StopTask();
    return;
  }
  if (queued > slice) {
    queue_.Assign(queue_.Data() + slice, queued - slice);
    task_->SetInterval(kRetickMs);
  } else {
    queue_.SetSize(0);
    StopTask();
  }
}

int cmcComm::Read(void* buffer, int n) {
  if (!IsOpen() || buffer == nullptr || n <= 0) return 0;
  const int count = std::min(n, InQueue());
  if (count <= 0) return 0;
  const int r = serial::ReadNow(fd_, buffer, count);
  return r > 0 ? r : 0;
}

int cmcComm::InQueue() {
  if (!IsOpen()) return 0;
  return serial::InQueue(fd_).value_or(0);
}

int cmcComm::OutQueue() {
  if (!IsOpen()) return 0;
  return serial::OutQueue(fd_).value_or(0);
}

int cmcComm::Pending() { return OutQueue() + queue_.Count(); }

int cmcComm::Room() {
  if (!IsOpen()) return 0;
  return txQuota_ - Pending();
}
