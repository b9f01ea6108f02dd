// Runs the radiosim program as a child process and drives it with a scripted
// host that plays the update tool's byte sequence over a pseudo-terminal or
// loopback TCP, with its own small frame encoder.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/radiosim/frame_encoder.h"
#include "tools/radiosim/sha256.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct TempDir {
  fs::path path;
  TempDir() {
    char t[] = "/tmp/radiosim-test-XXXXXX";
    path = mkdtemp(t);
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The simulator as a child process.
class Sim {
 public:
  ~Sim() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // Starts it and waits for its ready line.
  bool Start(const std::vector<std::string>& args, const fs::path& dir) {
    errPath_ = dir / "radiosim.err";
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], 1);
      const int e = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(e, 2);
      close(pipeFds[0]);
      std::vector<std::string> copy = args;
      std::vector<char*> argv{const_cast<char*>(RADIOSIM_PATH)};
      for (std::string& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(RADIOSIM_PATH, argv.data());
      _exit(127);
    }
    close(pipeFds[1]);
    out_ = pipeFds[0];
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    char c;
    while (Clock::now() < deadline) {
      pollfd pf{out_, POLLIN, 0};
      if (poll(&pf, 1, 100) <= 0) continue;
      if (read(out_, &c, 1) != 1) return false;
      if (c == '\n') return ready_.rfind("ready", 0) == 0;
      ready_ += c;
    }
    return false;
  }

  int TcpPort() const {
    const size_t at = ready_.find("tcp=127.0.0.1:");
    return at == std::string::npos ? -1 : std::stoi(ready_.substr(at + 14));
  }

  // Exit code, or -1 when it did not end in time (then it is killed).
  int Wait(int ms = 20000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void Signal(int sig) { kill(pid_, sig); }
  std::string Err() const { return ReadFile(errPath_); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string ready_;
  fs::path errPath_;
};

// The host's end of the link.
class Link {
 public:
  static Link Serial(const fs::path& path) {
    Link l;
    l.fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    l.serial_ = true;
    l.Baud(B9600);
    return l;
  }
  static Link Tcp(int port) {
    Link l;
    l.fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(l.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(l.fd_);
      l.fd_ = -1;
    } else {
      fcntl(l.fd_, F_SETFL, O_NONBLOCK);
    }
    return l;
  }
  Link() = default;
  Link(Link&& o) noexcept : fd_(o.fd_), serial_(o.serial_) { o.fd_ = -1; }
  ~Link() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool Ok() const { return fd_ >= 0; }
  bool IsSerial() const { return serial_; }

  void Baud(speed_t s) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, s);
    cfsetospeed(&t, s);
    tcsetattr(fd_, TCSANOW, &t);
  }
  void Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = serial_ ? write(fd_, bytes.data() + done, bytes.size() - done)
                                : send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += size_t(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN) return;  // the other side is gone; Get will tell
      pollfd pf{fd_, POLLOUT, 0};
      poll(&pf, 1, 50);
    }
  }
  // One byte: its value, -1 when nothing came in time, -2 when the link closed.
  int Get(int ms = 1500) {
    pollfd pf{fd_, POLLIN, 0};
    if (poll(&pf, 1, ms) <= 0) return -1;
    uint8_t b;
    const ssize_t n = read(fd_, &b, 1);
    if (n == 1) return b;
    return (n == 0 || (errno != EAGAIN && errno != EINTR)) ? -2 : -1;
  }

 private:
  int fd_ = -1;
  bool serial_ = false;
};

// A small firmware image: a few non-blank blocks, one full of reserved byte
// values, one whose address needs escaping, the very last block of the flash.
struct Image {
  std::vector<uint8_t> flash = std::vector<uint8_t>(0x80000, 0xFF);
  std::vector<uint8_t> writer;
  std::vector<uint32_t> blocks{0x1000, 0x1080, 0x1200, 0xFD00, 0x7FF80};

  Image() {
    for (uint32_t b : blocks)
      for (uint32_t i = 0; i < 128; ++i) flash[b + i] = static_cast<uint8_t>(b == 0x1080 ? 0xFA + i % 6 : (b >> 8) + i * 3);
    for (int i = 0; i < 300; ++i) writer.push_back(static_cast<uint8_t>(i * 7 + 3));
  }
  uint16_t Sum() const {
    unsigned s = 0;
    for (uint8_t b : flash) s += b;
    return static_cast<uint16_t>(s);
  }
  std::string Mot() const {
    std::string out;
    for (uint32_t b : blocks)
      for (uint32_t at = b; at < b + 128; at += 32) {
        std::vector<uint8_t> rec = {36, uint8_t(at >> 16), uint8_t(at >> 8), uint8_t(at)};
        rec.insert(rec.end(), flash.begin() + at, flash.begin() + at + 32);
        unsigned s = 0;
        for (uint8_t x : rec) s += x;
        rec.push_back(static_cast<uint8_t>(~s));
        out += "S2";
        for (uint8_t x : rec) {
          char h[3];
          std::snprintf(h, sizeof h, "%02X", x);
          out += h;
        }
        out += "\r\n";
      }
    return out + "S804000000FB\r\n";
  }
};

enum class Mistake { None, StayAt9600, WrongUpdateCommand, BadChecksum, FallingAddress, NoWaitForAnswer, Vanish };

struct Outcome {
  std::string stage;
  int got = 0;  // the unexpected byte, -1 nothing, -2 link closed
};

// Plays the tool's side of one update. Stops at the first answer that is not
// the expected one and says where.
Outcome Play(Link& l, const Image& img, Mistake mistake = Mistake::None) {
  const std::vector<uint8_t> baud = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8, 0x00, 0x00, 0x00, 0x00, 0x01, 0x30, 0x39, 0xFD};
  const std::vector<uint8_t> update = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8, 0x30, 0x64, 0x00, 0x00, 0xF0, 0x30, 0x30, 0xFD};
  const std::vector<uint8_t> updateTcp = {0xFE, 0x20, 0xFF, 0x0E, 0xFF, 0x0E, 0xEE, 0xEF, 0xE8, 0x30,
                                          0x64, 0x00, 0x00, 0xFF, 0x00, 0x30, 0x30, 0xFF, 0x0D, 0xFD};
  if (l.IsSerial()) {
    l.Send(baud);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the tool's pause before the switch
    if (mistake != Mistake::StayAt9600) l.Baud(B38400);
  }
  l.Send(l.IsSerial() || mistake == Mistake::WrongUpdateCommand ? update : updateTcp);

  int b = -1;
  for (int call = 0; call < 20 && b != 0x55; ++call) {  // boot call every 50 ms, other bytes dropped
    l.Send({'Q', 'A', 'R', 'N'});
    while ((b = l.Get(50)) >= 0 && b != 0x55) {
    }
    if (b == -2) return {"boot", b};
  }
  if (b != 0x55) return {"boot", -1};
  l.Send({0x00});
  if ((b = l.Get()) != 0x00) return {"lock", b};
  l.Send({0x55});
  if ((b = l.Get()) != 0xAA) return {"confirm", b};
  for (uint8_t q : {'D', 'C', 'B', 'A'}) {
    l.Send({q});
    if ((b = l.Get()) < 0) return {"flachchk", b};
  }
  const uint8_t hi = uint8_t(img.writer.size() >> 8), lo = uint8_t(img.writer.size());
  l.Send({hi, lo});
  if ((b = l.Get()) != hi) return {"size", b};
  if ((b = l.Get()) != lo) return {"size", b};
  for (size_t at = 0; at < img.writer.size(); at += 127) {
    l.Send({img.writer.begin() + at, img.writer.begin() + std::min(at + 127, img.writer.size())});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if ((b = l.Get()) != 0xAA) return {"writer", b};
  if (mistake == Mistake::Vanish) return {"vanished", 0};
  for (int i = 0; i < 5; ++i) l.Send({0xFE});

  std::vector<uint32_t> order = img.blocks;
  if (mistake == Mistake::FallingAddress) std::swap(order[1], order[2]);
  for (size_t i = 0; i < order.size(); ++i) {
    auto frame = host::DataFrame(order[i], img.flash.data() + order[i]);
    if (mistake == Mistake::BadChecksum && i == 1) frame[4] ^= 0x01;  // not a reserved value here
    l.Send(frame);
    if (mistake == Mistake::NoWaitForAnswer && i == 0) continue;
    if ((b = l.Get()) != 0xFB) return {"block" + std::to_string(i + 1), b};
  }
  l.Send(host::SumFrame(img.Sum()));
  if ((b = l.Get()) != 0xFB) return {"sum", b};
  l.Send(host::SumFrame(img.Sum(), 0x0F));
  return {"done", 0};
}

// Value of a top-level field in one JSON line (enough for these reports).
std::string Field(const std::string& json, const std::string& key) {
  const std::string k = "\"" + key + "\":";
  const size_t at = json.find(k);
  if (at == std::string::npos) return "<missing>";
  size_t from = at + k.size(), depth = 0, i = from;
  bool inString = false;
  for (; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '[' || c == '{') ++depth;
    else if ((c == ']' || c == '}') && depth > 0) --depth;
    else if ((c == ',' || c == '}') && depth == 0) break;
  }
  return json.substr(from, i - from);
}

std::vector<std::string> Lines(const fs::path& p) {
  std::vector<std::string> out;
  std::istringstream in(ReadFile(p));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  radiosim::Sha256 h;
  h.Update(bytes.data(), bytes.size());
  return "\"" + h.HexFinal() + "\"";
}

size_t Gaps(const std::vector<uint32_t>& blocks) {
  size_t g = 0;
  for (size_t i = 1; i < blocks.size(); ++i) g += (blocks[i] - blocks[i - 1]) / 128 - 1;
  return g;
}

class RadiosimHost : public ::testing::Test {
 protected:
  std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> a = {"--report", (dir.path / "report.jsonl").string(), "--flash-out",
                                  (dir.path / "flash.bin").string(), "--settle", "300", "--timeout", "3000",
                                  "--start-timeout", "10000"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  }
  std::vector<std::string> Report() { return Lines(dir.path / "report.jsonl"); }
  fs::path LinkPath() const { return dir.path / "ttyRADIO"; }

  TempDir dir;
  Image img;
};

TEST_F(RadiosimHost, HealthyUpdateOverPseudoTerminal) {
  Sim sim;
  ASSERT_TRUE(sim.Start(Args({"--serial", LinkPath().string(), "--runs", "1"}), dir.path));
  {
    Link l = Link::Serial(LinkPath());
    ASSERT_TRUE(l.Ok());
    const Outcome o = Play(l, img);
    EXPECT_EQ(o.stage, "done") << o.got;
  }
  EXPECT_EQ(sim.Wait(), 0) << sim.Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(LinkPath()))) << "the link is removed on exit";
  EXPECT_TRUE(ReadFile(dir.path / "flash.bin") == std::string(img.flash.begin(), img.flash.end()));
  const auto report = Report();
  ASSERT_EQ(report.size(), 1u);
  const std::string& r = report[0];
  EXPECT_EQ(Field(r, "completed"), "true") << r;
  EXPECT_EQ(Field(r, "violations"), "[]");
  EXPECT_EQ(Field(r, "frames"), std::to_string(img.blocks.size()));
  EXPECT_EQ(Field(r, "blank_blocks_skipped"), std::to_string(Gaps(img.blocks)));
  EXPECT_EQ(Field(r, "preamble_bytes"), "5");
  EXPECT_EQ(Field(r, "writer_bytes"), "300");
  EXPECT_EQ(Field(r, "writer_sha256"), Hex(img.writer));
  EXPECT_EQ(Field(r, "flachchk_replies"), "\"01234567\"");
  char sum[16];
  std::snprintf(sum, sizeof sum, "\"0x%04X\"", img.Sum());
  EXPECT_EQ(Field(r, "sum"), sum);
  const std::string rates = Field(r, "bit_rates");
  EXPECT_NE(rates.find("\"baud\":9600"), std::string::npos) << rates;
  EXPECT_LT(rates.find("\"baud\":9600"), rates.find("\"baud\":38400")) << rates;
  EXPECT_EQ(Field(Field(r, "answer_ms"), "count"), std::to_string(img.blocks.size()));
}

TEST_F(RadiosimHost, TwoUpdatesOverTcpMatchTheExpectedImage) {
  std::ofstream(dir.path / "image.mot") << img.Mot();
  Sim sim;
  ASSERT_TRUE(sim.Start(Args({"--tcp", "0", "--runs", "2", "--uart", "--expect", (dir.path / "image.mot").string()}),
                        dir.path));
  for (int run = 0; run < 2; ++run) {
    Link l = Link::Tcp(sim.TcpPort());
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(Play(l, img).stage, "done") << "run " << run;
  }
  EXPECT_EQ(sim.Wait(), 0) << sim.Err();
  const auto report = Report();
  ASSERT_EQ(report.size(), 2u);
  for (const std::string& r : report) {
    EXPECT_EQ(Field(r, "completed"), "true") << r;
    EXPECT_EQ(Field(r, "verified"), "true") << r;
    EXPECT_EQ(Field(r, "transport"), "\"tcp\"");
    // With --uart nothing goes faster than 38400 bit/s would carry it.
    const double wireMs = std::stod(Field(r, "bytes_in")) * 10.0 / 38400.0 * 1000.0;
    EXPECT_GE(std::stod(Field(r, "duration_ms")), wireMs) << r;
  }
  EXPECT_TRUE(ReadFile(dir.path / "flash.bin") == std::string(img.flash.begin(), img.flash.end()));
}

TEST_F(RadiosimHost, FlashDifferingFromTheExpectedImageFailsAndNamesTheAddress) {
  Image other = img;
  other.flash[0x1005] ^= 0x40;
  std::ofstream(dir.path / "image.mot") << other.Mot();
  Sim sim;
  ASSERT_TRUE(sim.Start(Args({"--tcp", "0", "--runs", "1", "--expect", (dir.path / "image.mot").string()}), dir.path));
  {
    Link l = Link::Tcp(sim.TcpPort());
    EXPECT_EQ(Play(l, img).stage, "done");
  }
  EXPECT_EQ(sim.Wait(), 1);
  EXPECT_NE(sim.Err().find("first difference at 0x01005"), std::string::npos) << sim.Err();
  EXPECT_EQ(Field(Report().at(0), "verified"), "false");
}

// Each fault as the tool sees it. The simulator itself exits 0: a fault that
// took effect is not its failure.
TEST_F(RadiosimHost, FaultsAsTheHostSeesThem) {
  const uint8_t lo = uint8_t(img.writer.size());
  struct Case {
    const char* fault;
    Outcome seen;
    bool completed;
  } cases[] = {
      {"no-boot", {"boot", -1}, false},
      {"garbage-before-55", {"done", 0}, true},
      {"bitrate", {"confirm", 0xA5}, false},
      {"no-flachchk:3", {"flachchk", -1}, false},
      {"size-echo:2", {"size", lo ^ 0x01}, false},
      {"silent-upload", {"writer", -1}, false},
      {"silent-after:2", {"block2", -1}, false},
      {"refuse:1", {"block1", 0xFC}, false},
      {"refuse-sum", {"sum", 0xFC}, false},
      {"close-after:2", {"block3", -2}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Sim sim;
    ASSERT_TRUE(sim.Start(Args({"--tcp", "0", "--runs", "1", "--fault", c.fault}), dir.path));
    {
      Link l = Link::Tcp(sim.TcpPort());
      const Outcome o = Play(l, img);
      EXPECT_EQ(o.stage, c.seen.stage);
      EXPECT_EQ(o.got, c.seen.got);
    }
    EXPECT_EQ(sim.Wait(), 0) << sim.Err();
    const auto report = Report();
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(Field(report[0], "completed"), c.completed ? "true" : "false") << report[0];
    EXPECT_EQ(Field(report[0], "fault_applied"), "true");
    EXPECT_EQ(Field(report[0], "violations"), "[]");
  }
}

TEST_F(RadiosimHost, HangUpOnThePseudoTerminalThenTheNextUpdateOnAFreshOne) {
  Sim sim;
  ASSERT_TRUE(sim.Start(
      Args({"--serial", LinkPath().string(), "--runs", "2", "--fault", "close-after:1", "--fault-update", "1"}),
      dir.path));
  {
    Link l = Link::Serial(LinkPath());
    const Outcome o = Play(l, img);
    EXPECT_EQ(o.stage, "block2");
    EXPECT_EQ(o.got, -2);
  }
  {
    Link l = Link::Serial(LinkPath());
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(Play(l, img).stage, "done");
  }
  EXPECT_EQ(sim.Wait(), 0) << sim.Err();
  const auto report = Report();
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(Field(report[0], "completed"), "false");
  EXPECT_EQ(Field(report[0], "frames"), "1");
  EXPECT_EQ(Field(report[1], "completed"), "true");
  EXPECT_EQ(Field(report[1], "fault"), "null");
}

// A host that breaks the protocol fails the run, and the report says where.
TEST_F(RadiosimHost, HostMistakesAreReportedAsViolations) {
  struct Case {
    const char* name;
    bool serial;
    Mistake mistake;
    const char* message;  // part of the violation, or of the end reason
  } cases[] = {
      {"serial port left at 9600", true, Mistake::StayAt9600, "while the line was set to 9600 bit/s, expected 38400"},
      {"serial update command over TCP", false, Mistake::WrongUpdateCommand, "command differs at byte 1"},
      {"bad checksum", false, Mistake::BadChecksum, "checksum wrong"},
      {"falling address", false, Mistake::FallingAddress, "does not rise"},
      {"frame before the answer", false, Mistake::NoWaitForAnswer, "before the radio's answer"},
      {"host vanishes after the writer", true, Mistake::Vanish, "time-out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sim sim;
    std::vector<std::string> extra = {"--runs", "1", "--timeout", "600"};
    if (c.serial) extra.insert(extra.end(), {"--serial", LinkPath().string()});
    else extra.insert(extra.end(), {"--tcp", "0"});
    ASSERT_TRUE(sim.Start(Args(extra), dir.path));
    {
      Link l = c.serial ? Link::Serial(LinkPath()) : Link::Tcp(sim.TcpPort());
      ASSERT_TRUE(l.Ok());
      EXPECT_NE(Play(l, img, c.mistake).stage, "done");
      if (c.mistake == Mistake::Vanish) std::this_thread::sleep_for(std::chrono::milliseconds(900));
    }
    EXPECT_EQ(sim.Wait(), 1) << sim.Err();
    const auto report = Report();
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(Field(report[0], "completed"), "false");
    EXPECT_NE(report[0].find(c.message), std::string::npos) << report[0];
  }
}

TEST_F(RadiosimHost, SigtermEndsAnIdleProductionLineCleanly) {
  Sim sim;
  ASSERT_TRUE(sim.Start({"--serial", LinkPath().string(), "--tcp", "0"}, dir.path));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(LinkPath())));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0) << sim.Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(LinkPath())));
}

}  // namespace
