// Helpers of the sequencer tests: a pseudo-terminal that stands in for COM1
// (through a temporary INI file with a Ports section), a loopback TCP
// listener, and access to the sequencer's private state.
#pragma once
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/program_path.h"
#include "sequence/clsMainSeq.h"

struct SeqTestAccess {
  static int& Stage(clsMainSeq& s) { return s.stage_; }
  static std::uint8_t& PortSel(clsMainSeq& s) { return s.portSel_; }
  static int& UnitCount(clsMainSeq& s) { return s.unitCount_; }
  static std::int32_t& WriteAddress(clsMainSeq& s) { return s.writeAddress_; }
  static int& UploadSent(clsMainSeq& s) { return s.uploadSent_; }
  static std::uint32_t CheckReply(clsMainSeq& s) { return s.checkReply_; }
  static bool& Wrapped(clsMainSeq& s) { return s.wrapped_; }
  static cmcComm& Comm(clsMainSeq& s) { return s.comm_; }
  static SeqTcpLink& Tcp(clsMainSeq& s) { return s.tcp_; }
  static clsPacket& Packet(clsMainSeq& s) { return s.packet_; }
  static clsTick& ReplyTimer(clsMainSeq& s) { return s.replyTimer_; }
};

// A temporary folder with an INI file; the program's INI path points at it.
class TempIni {
 public:
  TempIni() {
    char tmpl[] = "/tmp/zbseqXXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/ZBTEST.INI";
    platform::SetProgramIniPath(path_);
  }
  ~TempIni() {
    platform::SetProgramIniPath("");
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  void MapCom(int port, const std::string& device) {
    std::ofstream f(path_);
    f << "[Ports]\r\nCOM" << port << "=" << device << "\r\n";
  }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  std::string path_;
};

// The master side of a pseudo-terminal; the slave's path goes into the INI.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
  }
  ~PtyPair() { CloseMaster(); }
  // The far end goes away: writes on the slave fail from now on.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  bool Ok() const { return master_ >= 0 && !slave_.empty(); }
  const std::string& SlavePath() const { return slave_; }
  void Put(std::vector<std::uint8_t> bytes) {
    if (!bytes.empty()) (void)!write(master_, bytes.data(), bytes.size());
  }
  // Everything that has arrived, waiting up to waitMs for the first byte.
  std::vector<std::uint8_t> Take(int waitMs = 0) {
    std::vector<std::uint8_t> out;
    pollfd p{master_, POLLIN, 0};
    if (waitMs > 0) poll(&p, 1, waitMs);
    std::uint8_t buf[4096];
    for (;;) {
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// A listening socket on 127.0.0.1 at a free port.
class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 1);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~LoopbackListener() {
    if (peer_ >= 0) close(peer_);
    if (fd_ >= 0) close(fd_);
  }
  std::uint16_t Port() const { return port_; }
  bool Accept() {
    peer_ = accept(fd_, nullptr, nullptr);
    return peer_ >= 0;
  }
  std::vector<std::uint8_t> Take(int waitMs) {
    std::vector<std::uint8_t> out;
    std::uint8_t buf[4096];
    for (;;) {
      pollfd p{peer_, POLLIN, 0};
      if (poll(&p, 1, waitMs) <= 0) break;
      const ssize_t n = read(peer_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
      waitMs = 50;
    }
    return out;
  }

 private:
  int fd_ = -1;
  int peer_ = -1;
  std::uint16_t port_ = 0;
};

// A sequencer stepped to Ready (images restored), as at program start.
inline void StepToReady(clsMainSeq& seq) {
  for (int i = 0; i < 3; ++i) seq.Step();
}

inline void Pump() { QCoreApplication::processEvents(); }
