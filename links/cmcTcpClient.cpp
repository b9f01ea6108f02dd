#include "links/cmcTcpClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "links/cmcTask.h"

namespace {

// Connects a blocking socket, giving up after timeoutMs. The socket is
// blocking again afterwards. False when the connection was refused, failed
// or timed out.
bool ConnectWithin(int fd, const sockaddr_in& peer, int timeoutMs) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
  if (!ok && errno == EINPROGRESS) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd pfd{fd, POLLOUT, 0};
      const int r = ::poll(&pfd, 1, static_cast<int>(left));
      if (r < 0 && errno == EINTR) continue;
      if (r > 0) {
        int error = 0;
        socklen_t len = sizeof error;
        ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
      }
      break;
    }
  }
  if (::fcntl(fd, F_SETFL, flags) != 0) return false;
  return ok;
}

}  // namespace

cmcTcpClient::cmcTcpClient(int retickMs) : task_(new cmcTask), retickMs_(retickMs) {
  task_->SetHandler(&cmcTcpClient::DrainHandler, this);
}

cmcTcpClient::~cmcTcpClient() {
  Close();
  DisposeTask(task_);
  writeFailed_ = false;
}

void cmcTcpClient::DrainHandler(void* context) { static_cast<cmcTcpClient*>(context)->Drain(); }

void cmcTcpClient::StopTask() { task_->SetInterval(-1); }

bool cmcTcpClient::Connect(std::uint16_t port, const char* address) {
  // A live connection would otherwise be lost with its descriptor.
  if (socket_ >= 0) Close();
  writeFailed_ = false;
  port_ = htons(port);
  address_ = ::inet_addr(address != nullptr ? address : "");
  bool ok = address_ != INADDR_NONE;
  if (ok) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ok = socket_ >= 0;
  }
  if (ok) {
    timeval tv{};
    tv.tv_usec = kReceiveTimeoutMs * 1000;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    peer_ = sockaddr_in{};
    peer_.sin_family = AF_INET;
    peer_.sin_port = port_;
    peer_.sin_addr.s_addr = address_;
    ok = ConnectWithin(socket_, peer_, kConnectTimeoutMs);
  }
  if (!ok) Close();
  return IsConnected();
}

void cmcTcpClient::AsyncSelect(void* window, unsigned /*message*/, long /*events*/) {
  if (window == nullptr || socket_ < 0) return;
  const int flags = ::fcntl(socket_, F_GETFL);
  if (flags >= 0) ::fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
}

void cmcTcpClient::Close() {
  address_ = INADDR_NONE;
  if (socket_ >= 0) {
    ::shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
  }
  StopTask();
  queue_.SetSize(0);
}

bool cmcTcpClient::IsConnected() const { return address_ != INADDR_NONE && socket_ >= 0; }

bool cmcTcpClient::IsBadAddress(const char* text) {
  address_ = ::inet_addr(text != nullptr ? text : "");
  return address_ == INADDR_NONE;
}

int cmcTcpClient::Write(const void* bytes, int n) {
  if (!IsConnected() || n < 0 || (bytes == nullptr && n > 0)) return 0;
  if (n >= queueLimit_ - Pending()) return 0;
  StopTask();
  queue_.Append(bytes, n);
  // The main CPU starts the task at once, the DSP at its own pace; Drain
  // below sets the period that counts in either case.
  task_->SetInterval(retickMs_ > 10 ? retickMs_ : 0);
  Drain();
  return n;
}

void cmcTcpClient::Drain() {
  if (!IsConnected()) {
    StopTask();
    return;
  }
  const std::int32_t queued = queue_.Count();
  const std::int32_t slice = std::min(sliceSize_, queued);
  if (slice == 0) {
    StopTask();
    return;
  }
  ssize_t sent;
  do {
    sent = ::send(socket_, queue_.Data(), static_cast<size_t>(slice), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < slice) {
    writeFailed_ = true;
    StopTask();
    return;
  }
  queue_.Assign(queue_.Data() + slice, queued - slice);
  if (queue_.Count() > 0)
    task_->SetInterval(retickMs_);
  else
    StopTask();
}

int cmcTcpClient::Read(void* buffer, int n) {
  if (!IsConnected() || buffer == nullptr || n <= 0) return 0;
  ssize_t r;
  do {
    r = ::recv(socket_, buffer, static_cast<size_t>(n), 0);
  } while (r < 0 && errno == EINTR);
  return r > 0 ? static_cast<int>(r) : 0;
}
