#include "tools/radiosim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>

#include "tools/radiosim/srec.h"

namespace radiosim {

namespace {

volatile sig_atomic_t g_stop = 0;
int g_sigPipe[2] = {-1, -1};

void OnSignal(int) {
  g_stop = 1;
  const char c = 1;
  [[maybe_unused]] ssize_t n = write(g_sigPipe[1], &c, 1);
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t UnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

uint32_t SpeedToBaud(speed_t s) {
  static const std::pair<speed_t, uint32_t> table[] = {
      {B0, 0},         {B300, 300},       {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
      {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
      {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  for (auto [sp, baud] : table)
    if (sp == s) return baud;
  return 1;  // unknown: never equal to a rate we expect
}

// One pseudo-terminal. The slave stays open here for the whole life of the
// pair: that keeps the master free of hang-ups while the host closes and
// reopens its side between updates, and lets us read the termios the host
// sets. We never read from the slave: its input belongs to the host.
class Pty {
 public:
  ~Pty() { Close(); }

  bool Open(const std::string& link, std::string* err) {
    link_ = link;
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      *err = link + " exists and is not a symbolic link; not replacing it";
      return false;
    }
    return Create(master_, slave_, slaveName_, err) && Relink(err);
  }

  // Hang up and offer a fresh pair under the same link. The new pair is
  // linked before the old one is closed, so a host that reopens the link as
  // soon as it sees the line drop finds the new terminal ready.
  bool Reopen(std::string* err) {
    int master = -1, slave = -1;
    std::string name;
    if (!Create(master, slave, name, err)) return false;
    std::swap(master, master_);
    std::swap(slave, slave_);
    std::swap(name, slaveName_);
    const bool linked = Relink(err);
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
    return linked;
  }

  void Close() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
  }

  void RemoveLink() {
    char buf[4096];
    const ssize_t n = readlink(link_.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, size_t(n)) == slaveName_) unlink(link_.c_str());
  }

  // The host opens the port for exclusive use; that mark outlives its close
  // because our slave keeps the terminal alive. Clear it between updates so
  // that the host can open the port again.
  void ClearExclusive() {
    if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
  }

  // Bytes we wrote that the host has not read yet.
  int Unread() const {
    int n = 0;
    return slave_ >= 0 && ioctl(slave_, FIONREAD, &n) == 0 ? n : 0;
  }

  uint32_t Rate() const {
    termios t{};
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return 0;
    return SpeedToBaud(cfgetospeed(&t));
  }

  int Fd() const { return master_; }
  const std::string& SlaveName() const { return slaveName_; }

 private:
  static bool Create(int& master, int& slave, std::string& name, std::string* err) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char* pts = nullptr;
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !(pts = ptsname(master))) {
      *err = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      if (master >= 0) close(master);
      master = -1;
      return false;
    }
    name = pts;
    slave = open(pts, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
      *err = "cannot open " + name + ": " + std::strerror(errno);
      close(master);
      master = -1;
      return false;
    }
    // Raw from the start: no echo of what we send back to us, no line editing.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(slave, TCSANOW, &t);
    return true;
  }

  bool Relink(std::string* err) {
    const std::string tmp = link_ + ".radiosim-" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(slaveName_.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link_.c_str()) != 0) {
      *err = "cannot make the link " + link_ + ": " + std::strerror(errno);
      unlink(tmp.c_str());
      return false;
    }
    return true;
  }

  std::string link_, slaveName_;
  int master_ = -1, slave_ = -1;
};

bool WriteAll(int fd, const uint8_t* p, size_t n, bool socket) {
  const int64_t deadline = NowNs() + 2'000'000'000;
  while (n > 0) {
    const ssize_t w = socket ? send(fd, p, n, MSG_NOSIGNAL) : write(fd, p, n);
    if (w > 0) {
      p += w;
      n -= size_t(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    if (NowNs() > deadline) return false;
    pollfd pf{fd, POLLOUT, 0};
    poll(&pf, 1, 50);
  }
  return true;
}

// Longest wait for the host to close a TCP connection once a fault is in
// force: above the host's own longest reply time (31 s).
constexpr int64_t kFaultWaitMs = 40000;

struct Inbound {
  uint8_t byte;
  int64_t arrival, due;
  uint32_t rateBefore, rateAfter;
};

struct Outbound {
  Answer answer;
  int64_t at;
};

class Server {
 public:
  explicit Server(const Options& o) : o_(o) {}
  int Run();

 private:
  bool Setup();
  void Teardown();
  UpdateReport RunUpdate(LinkKind link, int fd, int number);
  void Conclude(UpdateReport& r);
  void Say(const std::string& line) const {
    if (!o_.quiet) std::fprintf(stderr, "radiosim: %s\n", line.c_str());
  }
  int64_t ByteNs(uint32_t baud) const {
    if (!o_.uart) return 0;
    if (baud == 0 || baud == 1) baud = o_.variant->runBaud;
    return 10'000'000'000LL / baud;
  }

  const Options& o_;
  Pty pty_;
  bool serial_ = false;
  int listener_ = -1;
  int boundPort_ = 0;
  std::vector<uint8_t> expected_;
  std::vector<uint8_t> flash_;  // of the last update
  uint32_t idleRate_ = 0;       // line setting sampled before the last idle wait
  std::deque<Inbound> carry_;  // bytes of a serial update that began while the last one was ending
  std::ofstream report_;
};

bool Server::Setup() {
  if (pipe(g_sigPipe) != 0) return false;
  fcntl(g_sigPipe[0], F_SETFL, O_NONBLOCK);
  fcntl(g_sigPipe[1], F_SETFL, O_NONBLOCK);
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!o_.expectPath.empty()) {
    std::ifstream in(o_.expectPath, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "radiosim: cannot read %s\n", o_.expectPath.c_str());
      return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    expected_.assign(o_.variant->flashSize, 0xFF);
    std::string err;
    if (!LoadSRecords(ss.str(), expected_, &err)) {
      std::fprintf(stderr, "radiosim: %s: %s\n", o_.expectPath.c_str(), err.c_str());
      return false;
    }
  }
  if (!o_.reportPath.empty()) {
    report_.open(o_.reportPath, std::ios::trunc);
    if (!report_) {
      std::fprintf(stderr, "radiosim: cannot write %s\n", o_.reportPath.c_str());
      return false;
    }
  }
  if (!o_.serialPath.empty()) {
    std::string err;
    if (!pty_.Open(o_.serialPath, &err)) {
      std::fprintf(stderr, "radiosim: %s\n", err.c_str());
      return false;
    }
    serial_ = true;
  }
  if (o_.tcpPort >= 0) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(o_.tcpPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0) {
      std::fprintf(stderr, "radiosim: cannot listen on 127.0.0.1:%d: %s\n", o_.tcpPort, std::strerror(errno));
      return false;
    }
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    boundPort_ = ntohs(a.sin_port);
  }
  return true;
}

void Server::Teardown() {
  if (serial_) {
    pty_.RemoveLink();
    pty_.Close();
  }
  if (listener_ >= 0) close(listener_);
}

int Server::Run() {
  if (!Setup()) {
    Teardown();
    return 2;
  }
  std::string ready = "ready";
  if (serial_) ready += " serial=" + o_.serialPath + " pty=" + pty_.SlaveName();
  if (listener_ >= 0) ready += " tcp=127.0.0.1:" + std::to_string(boundPort_);
  std::printf("%s\n", ready.c_str());
  std::fflush(stdout);

  const int startTimeout = o_.startTimeoutMs >= 0 ? o_.startTimeoutMs : (o_.runs > 0 ? 120000 : 0);
  int served = 0;
  bool allPassed = true;
  int64_t idleSince = NowNs();
  while (!g_stop && (o_.runs == 0 || served < o_.runs)) {
    LinkKind link = LinkKind::Serial;
    int fd = -1;
    if (carry_.empty()) {
      pollfd fds[3];
      int n = 0;
      fds[n++] = {g_sigPipe[0], POLLIN, 0};
      const int serialAt = serial_ ? n : -1;
      if (serial_) fds[n++] = {pty_.Fd(), POLLIN, 0};
      const int tcpAt = listener_ >= 0 ? n : -1;
      if (listener_ >= 0) fds[n++] = {listener_, POLLIN, 0};
      // The line setting just before the wait: the first bytes of the next
      // update were written after this sample.
      if (serial_) idleRate_ = pty_.Rate();
      poll(fds, nfds_t(n), 100);
      if (g_stop) break;
      if (serial_) pty_.ClearExclusive();
      if (serialAt >= 0 && (fds[serialAt].revents & POLLIN)) {
        link = LinkKind::Serial;
      } else if (tcpAt >= 0 && (fds[tcpAt].revents & POLLIN)) {
        fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        link = LinkKind::Tcp;
      } else {
        if (startTimeout > 0 && NowNs() - idleSince > int64_t(startTimeout) * 1'000'000) {
          std::fprintf(stderr, "radiosim: no update started within %d ms; giving up\n", startTimeout);
          allPassed = false;
          break;
        }
        continue;
      }
    }
    UpdateReport r = RunUpdate(link, fd, served + 1);
    if (fd >= 0) close(fd);
    if (r.bytesIn == 0) {
      Say("connection closed without a byte; not counted as an update");
      idleSince = NowNs();
      continue;
    }
    Conclude(r);
    ++served;
    allPassed = allPassed && r.passed;
    idleSince = NowNs();
  }
  if (o_.runs > 0 && served < o_.runs) allPassed = false;
  // Give the host a moment to close its side before the terminal goes away.
  if (serial_ && !g_stop) usleep(300'000);
  Teardown();
  return allPassed ? 0 : 1;
}

UpdateReport Server::RunUpdate(LinkKind link, int fd, int number) {
  RadioConfig cfg;
  cfg.variant = o_.variant;
  if (o_.faultUpdate == 0 || o_.faultUpdate == number) cfg.faults = o_.faults;
  cfg.bootAfter = o_.bootAfter;
  cfg.lockAfter = o_.lockAfter;
  cfg.flachReplies = o_.flachReplies;
  const bool serial = link == LinkKind::Serial;
  const int linkFd = serial ? pty_.Fd() : fd;

  std::deque<Inbound> inq;
  inq.swap(carry_);
  const int64_t start = inq.empty() ? NowNs() : inq.front().arrival;
  const int64_t startedUnix = UnixMs() - (NowNs() - start) / 1'000'000;
  Radio radio(cfg, link, start);
  std::deque<Outbound> outq;
  uint32_t rate = serial ? (inq.empty() ? idleRate_ : inq.back().rateAfter) : 0;
  if (serial) radio.NoteRate(start, rate);
  int64_t lastByte = start, rxFree = 0, txFree = 0, doneAt = -1;
  bool eof = false, linkGone = false;
  std::string reason;
  const int64_t timeoutNs = int64_t(o_.timeoutMs) * 1'000'000;
  const int64_t settleNs = int64_t(o_.settleMs) * 1'000'000;
  const int64_t faultWaitNs = std::max<int64_t>(timeoutNs, kFaultWaitMs * 1'000'000);

  auto writeDue = [&](int64_t now) {
    while (!outq.empty() && outq.front().at <= now && !linkGone) {
      Outbound ob = std::move(outq.front());
      outq.pop_front();
      const bool ok = WriteAll(linkFd, ob.answer.bytes.data(), ob.answer.bytes.size(), !serial);
      radio.AnswerWritten(NowNs());
      if (!ok) {
        linkGone = true;
        reason = "the link failed while answering";
      } else if (ob.answer.closeAfter) {
        linkGone = true;
        reason = "link closed by the simulator (close-after fault)";
        if (serial) {
          // Let the host take the answer first, as a real line would have
          // carried it before the drop.
          usleep(20'000);
          const int64_t until = NowNs() + 500'000'000;
          while (pty_.Unread() > 0 && NowNs() < until) usleep(1000);
          usleep(10'000);
          std::string err;
          if (!pty_.Reopen(&err)) std::fprintf(stderr, "radiosim: %s\n", err.c_str());
        } else {
          shutdown(fd, SHUT_RDWR);
        }
      }
    }
  };

  for (;;) {
    int64_t now = NowNs();
    bool restart = false;
    while (!inq.empty() && inq.front().due <= now && !linkGone && !radio.Done()) {
      const Inbound in = inq.front();
      // The host went back to the first bit rate: it has given up on this
      // update and starts the next one with this byte.
      if (serial && radio.PastRateSwitch() && in.byte == 0xFE && in.rateBefore == o_.variant->bootBaud &&
          in.rateAfter == o_.variant->bootBaud) {
        restart = true;
        break;
      }
      inq.pop_front();
      radio.Feed(in.byte, in.arrival, now, in.rateBefore, in.rateAfter);
      for (Answer& a : radio.TakeAnswers()) {
        const int64_t at = o_.uart ? std::max(now, txFree) + int64_t(a.bytes.size()) * ByteNs(rate) : now;
        txFree = at;
        outq.push_back({std::move(a), at});
      }
      writeDue(now);
      now = NowNs();
    }
    writeDue(now);
    if (restart) {
      reason = "the host started a new update";
      carry_.swap(inq);
      break;
    }
    if (linkGone) break;
    if (radio.Done() && outq.empty()) {
      if (serial) {
        reason = "reset request";
        carry_.swap(inq);
        break;
      }
      if (eof) {
        reason = "reset request, connection closed by the host";
        if (!inq.empty()) radio.AddViolation("bytes after the reset request");
        break;
      }
      if (doneAt < 0) doneAt = now;
      if (now - doneAt >= settleNs) {
        radio.AddViolation("connection still open " + std::to_string(o_.settleMs) + " ms after the reset request");
        reason = "the host kept the connection open";
        break;
      }
    }
    if (eof && inq.empty() && outq.empty() && !radio.Done()) {
      reason = "connection closed by the host";
      break;
    }
    // After a fault the host should give up on its own; over TCP wait for it
    // to close (it may sit out its own longest reply time first), on the
    // serial link a closed port cannot be seen, so quiet is the end.
    const int64_t settleFor = !serial && radio.FaultApplied() && !radio.Broken() ? faultWaitNs : settleNs;
    if (radio.Settling() && inq.empty() && outq.empty() && now - lastByte >= settleFor) {
      reason = radio.FaultApplied() ? "fault in force, host quiet" : "violation, host quiet";
      break;
    }
    if (now - lastByte >= timeoutNs && !(radio.Settling() && settleFor > timeoutNs)) {
      reason = "time-out: no byte for " + std::to_string(o_.timeoutMs) + " ms";
      break;
    }
    if (g_stop) {
      reason = "interrupted";
      break;
    }

    int64_t deadline = lastByte + (radio.Settling() ? settleFor : timeoutNs);
    if (!inq.empty()) deadline = std::min(deadline, inq.front().due);
    if (!outq.empty()) deadline = std::min(deadline, outq.front().at);
    if (doneAt >= 0) deadline = std::min(deadline, doneAt + settleNs);
    if (serial) deadline = std::min(deadline, now + 20'000'000);  // keep sampling the line settings
    const int64_t wait = std::max<int64_t>(0, deadline - now);
    timespec ts{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
    pollfd fds[2] = {{g_sigPipe[0], POLLIN, 0}, {eof ? -1 : linkFd, POLLIN, 0}};
    ppoll(fds, 2, &ts, nullptr);

    if (serial) pty_.ClearExclusive();
    const uint32_t before = rate;
    uint8_t buf[4096];
    ssize_t n = 0;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      n = serial ? read(linkFd, buf, sizeof buf) : recv(linkFd, buf, sizeof buf, 0);
      if (n == 0 && !serial) eof = true;
      if (n < 0 && errno != EAGAIN && errno != EINTR && !serial) eof = true;
    }
    const int64_t arrival = NowNs();
    if (serial) {
      rate = pty_.Rate();
      radio.NoteRate(arrival, rate);
    }
    for (ssize_t i = 0; i < n; ++i) {
      const uint32_t r = serial ? rate : 0;
      const int64_t due = o_.uart ? std::max(arrival, rxFree) + ByteNs(r) : arrival;
      rxFree = due;
      inq.push_back({buf[i], arrival, due, serial ? before : 0, r});
      lastByte = arrival;
    }
  }
  // Anything still queued belongs to this update's tail (or to the next one on a restart).
  const int64_t end = NowNs();
  UpdateReport r = radio.Finish(reason, end);
  r.update = number;
  r.startedUnixMs = startedUnix;
  if (serial) pty_.ClearExclusive();
  // Keep a copy of the flash for Conclude.
  flash_ = radio.Flash();
  return r;
}

void Server::Conclude(UpdateReport& r) {
  const bool faulted = o_.faultUpdate == 0 || o_.faultUpdate == r.update;
  bool faultEnds = false;
  if (faulted)
    for (const Fault& f : o_.faults) faultEnds = faultEnds || FaultEndsUpdate(f.kind);

  if (r.completed && !expected_.empty()) {
    const auto diff = std::mismatch(flash_.begin(), flash_.end(), expected_.begin());
    r.verified = diff.first == flash_.end();
    if (!*r.verified) {
      const size_t at = size_t(diff.first - flash_.begin());
      char b[96];
      std::snprintf(b, sizeof b, "0x%05zX: flash 0x%02X, image 0x%02X", at, *diff.first, *diff.second);
      r.firstDifference = b;
    }
  }
  if (!r.violations.empty())
    r.passed = false;
  else if (r.completed)
    r.passed = r.verified.value_or(true);
  else
    r.passed = r.faultApplied && faultEnds;

  if (!o_.flashOut.empty()) {
    const std::string tmp = o_.flashOut + ".part";
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(flash_.data()), std::streamsize(flash_.size()));
    f.close();
    if (!f || rename(tmp.c_str(), o_.flashOut.c_str()) != 0)
      std::fprintf(stderr, "radiosim: cannot write %s\n", o_.flashOut.c_str());
  }
  if (report_.is_open()) {
    report_ << ToJson(r) << "\n";
    report_.flush();
  }

  char sum[40] = "no sum";
  if (r.sum) std::snprintf(sum, sizeof sum, "sum 0x%04X", *r.sum);
  std::string line = "update " + std::to_string(r.update) + " (" + r.transport + "): ";
  if (!r.violations.empty()) {
    line += "FAILED, protocol violation";
  } else if (r.completed) {
    line += r.verified ? (*r.verified ? "completed, flash matches the image" : "completed, flash DIFFERS from the image")
                       : "completed";
  } else if (r.passed) {
    line += "fault " + r.fault + " in force, host gave up";
  } else {
    line += "FAILED, not completed";
  }
  char tail[200];
  std::snprintf(tail, sizeof tail, " - %zu frames (%zu blank blocks skipped), %s, %.2f s; %s", r.frames,
                r.blankBlocksSkipped, sum, r.durationMs / 1000.0, r.endReason.c_str());
  line += tail;
  // Failures are always shown, even with --quiet.
  if (!r.passed || !o_.quiet) std::fprintf(stderr, "radiosim: %s\n", line.c_str());
  for (const Violation& v : r.violations)
    std::fprintf(stderr, "radiosim:   violation at inbound byte %zu (%s): %s\n             bytes: %s\n", v.offset,
                 v.state.c_str(), v.message.c_str(), v.dump.c_str());
  if (!r.firstDifference.empty())
    std::fprintf(stderr, "radiosim:   first difference at %s\n", r.firstDifference.c_str());
}

}  // namespace

int Serve(const Options& options) {
  Server s(options);
  return s.Run();
}

}  // namespace radiosim
