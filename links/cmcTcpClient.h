// cmcTcpClient: the TCP link to the radio through a network device (IPv4).
//
// Connect blocks until the connection is made or refused (at most about 21
// seconds for a host that does not answer). AsyncSelect with a window switches
// the socket to non-blocking mode; from then on Read never waits and a send
// takes only what fits. Write queues the bytes (less than 32000 in all) and
// the link's task moves them to the socket in slices of at most 1024 bytes; a
// slice the socket takes only in part sets the sticky WriteFailed flag, which
// survives Close and is cleared by the next Connect. Sends never raise SIGPIPE.
//
// No window notifications exist on this platform: AsyncSelect keeps its name
// and place in the sequence and only makes the socket non-blocking.
#pragma once
#include <cstdint>
#include <netinet/in.h>

#include "links/cmcBuff.h"

class cmcTask;

class cmcTcpClient {
 public:
  static constexpr std::int32_t kQueueLimit = 32000;
  static constexpr std::int32_t kSliceSize = 1024;
  static constexpr int kReceiveTimeoutMs = 100;
  static constexpr int kConnectTimeoutMs = 21000;

  // retickMs: the task's period while bytes remain queued (10 for the main
  // CPU, 100 for the DSP).
  explicit cmcTcpClient(int retickMs = 10);
  virtual ~cmcTcpClient();
  cmcTcpClient(const cmcTcpClient&) = delete;
  cmcTcpClient& operator=(const cmcTcpClient&) = delete;

  // Connects to the dotted IPv4 address (null counts as empty). A client that
  // is still connected is closed first.
  bool Connect(std::uint16_t port, const char* address);
  void AsyncSelect(void* window, unsigned message, long events);
  void Close();
  bool IsConnected() const;
  bool WriteFailed() const { return writeFailed_; }
  int Pending() const { return queue_.Count(); }
  // Parses the text only (no traffic) and keeps the result as this client's
  // address; true when it is not a valid address (255.255.255.255 included).
  bool IsBadAddress(const char* text);
  // n when queued, 0 when not connected or the queue would reach its limit.
  int Write(const void* bytes, int n);
  // One receive of up to n bytes; 0 when nothing has arrived, on failure or
  // when not connected.
  int Read(void* buffer, int n);
  // One step of moving the send queue to the socket (the task's handler).
  void Drain();

  // For tests and diagnostics.
  int Socket() const { return socket_; }
  int RetickMs() const { return retickMs_; }
  const cmcTask* Task() const { return task_; }

 private:
  static void DrainHandler(void* context);
  void StopTask();

  std::uint16_t port_ = 0;  // network byte order
  int socket_ = -1;
  std::uint32_t address_ = INADDR_NONE;  // network byte order
  sockaddr_in peer_{};
  std::int32_t queueLimit_ = kQueueLimit;
  std::int32_t sliceSize_ = kSliceSize;
  cmcBuff queue_;
  cmcTask* task_ = nullptr;
  bool writeFailed_ = false;
  int retickMs_;
};
