// cmcComm: the serial link to the radio on a COM port.
//
// Open(port, "9600,N,8,1") opens the device that COM<port> names (section
// Ports of the program's INI file, else /dev/ttyS<port-1>) for exclusive use
// in raw mode. Reads never wait. Write queues the bytes; the link's task moves
// the queue to the device in slices of at most 1024 bytes, each one only when
// the device's transmit queue is empty. A slice the device takes only in part
// within the write time-out sets the sticky WriteFailed flag (until Close).
//
// Settings text: "rate,parity,databits,stopbits".
//   rate      decimal (strtol); 0, negative, above 32 bits or not a number:
//             the text is refused: Open returns false, the port stays closed
//             and the stored settings stay as they were.
//   parity    first letter: N (or none) no parity, O odd, E even, M mark,
//             S space; any other letter even. Every letter but N turns the
//             parity check on.
//   databits  decimal, limited to 4..8. The device takes 5..8: 4 makes the
//             settings fail (Open then closes the port and returns false).
//   stopbits  "1.5" one and a half, "2" two, anything else one. Termios has
//             no one and a half: it is sent as two.
// Fewer than four fields: refused like a bad rate.
//
// Rates must be standard (a B constant); any other rate makes ApplySettings
// fail. DTR and RTS modes: 0 holds the line off, any other value on; a device
// without modem-control lines (a pseudo-terminal) accepts them without effect.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "links/cmcBuff.h"

class cmcTask;

class cmcComm {
 public:
  // Line flags copied to the device by ApplySettings. Only the two line modes
  // change in use; the rest is fixed: binary, no flow control of any kind.
  struct LineFlags {
    bool binary = true;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    std::uint8_t dtrControl = 0;  // 0 held off, 1 held on
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outX = false;
    bool inX = false;
    bool errorChar = false;
    bool nullStrip = false;
    std::uint8_t rtsControl = 1;  // 0 held off, 1 held on
    bool abortOnError = false;
  };

  static constexpr std::int32_t kReceiveQueueSize = 32000;
  static constexpr std::int32_t kTransmitQuota = 1024;
  static constexpr std::uint32_t kWriteTimeoutConstantMs = 3000;
  static constexpr int kRetickMs = 10;

  cmcComm();
  ~cmcComm();
  cmcComm(const cmcComm&) = delete;
  cmcComm& operator=(const cmcComm&) = delete;

  bool Open(int port, const char* settings);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  bool WriteFailed() const { return writeFailed_; }

  bool ApplySettings();
  bool SetBaudRate(std::uint32_t baud);
  bool SetDtrControl(int mode);
  bool SetRtsControl(int mode);

  // Queues the bytes and sends the first slice at once (nothing when closed).
  void Write(const void* bytes, int count);
  // Up to n bytes of what has arrived; never waits. 0 when closed or failing.
  int Read(void* buffer, int n);
  int InQueue();
  int OutQueue();
  // Bytes not yet on the wire: device transmit queue + send queue.
  int Pending();
  // 1024 - Pending when open (negative while more is queued); 0 when closed.
  int Room();

  // Field n (from 0) of a text split at delim; none when the text is null,
  // n is negative or the text has fewer than n + 1 fields. A delimiter byte
  // of 0x80 or above never splits (it would be part of a UTF-8 character).
  static std::optional<std::string> Field(const char* text, char delim, int n);

  // One step of moving the send queue to the device (the task's handler).
  void Drain();

  // Stored values, for the sequencer's checks and for tests.
  std::uint32_t BaudRate() const { return baud_; }
  int PortNumber() const { return port_; }
  std::uint8_t ByteSize() const { return byteSize_; }
  std::uint8_t ParityMode() const { return parity_; }
  std::uint8_t StopBits() const { return stopBits_; }  // 0 one, 1 one and a half, 2 two
  const LineFlags& Flags() const { return flags_; }
  std::uint32_t WriteTimeoutMultiplier() const { return writeMultiplier_; }
  // Device path used by the last Open.
  const std::string& DevicePath() const { return path_; }
  std::int32_t Queued() const { return queue_.Count(); }
  const cmcTask* Task() const { return task_; }

 private:
  static void DrainHandler(void* context);
  void StopTask();

  int fd_ = -1;
  int port_ = 0;
  bool writeFailed_ = false;
  std::int32_t rxQueueSize_ = kReceiveQueueSize;
  std::int32_t txQuota_ = kTransmitQuota;
  cmcBuff queue_;
  std::uint32_t baud_ = 9600;
  LineFlags flags_;
  std::uint8_t byteSize_ = 8;
  std::uint8_t parity_ = 0;
  std::uint8_t stopBits_ = 0;
  std::uint8_t xonChar_ = 0x11;
  std::uint8_t xoffChar_ = 0x13;
  std::uint8_t errorChar_ = 0x3F;
  std::uint8_t eofChar_ = 0xFD;
  std::uint8_t eventChar_ = 0xFE;
  cmcTask* task_ = nullptr;
  // Write time-out in force (set by ApplySettings).
  std::uint32_t writeMultiplier_ = 0;
  std::uint32_t writeConstant_ = 0;
  std::string path_;
};
