// The serial link against real pseudo-terminals: the link opens the slave
// side through the COM port mapping of a temporary INI file; the test plays
// the radio on the master side and inspects the slave's termios.
#include "links/cmcComm.h"
#include "links/cmcTask.h"
#include "platform/program_path.h"
#include "platform/serial_port.h"
#include "tests/links/pump.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCom = 5;         // mapped to the pty slave
constexpr int kMissingCom = 6;  // mapped to a path that does not exist
constexpr int kFileCom = 7;     // mapped to a plain file

class SerialLink : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    char dirTemplate[] = "/tmp/links_serial_XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir_ = dirTemplate;
    ini_ = dir_ + "/ZBTEST.INI";
    std::ofstream(ini_) << "[Global]\r\nPortSel=0\r\n[Ports]\r\nCOM" << kCom << "=" << slavePath_
                        << "\r\nCOM" << kMissingCom << "=" << dir_ << "/missing\r\nCOM" << kFileCom
                        << "=" << ini_ << "\r\n";
    platform::SetProgramIniPath(ini_);
  }

  void TearDown() override {
    platform::SetProgramIniPath("");
    std::remove(ini_.c_str());
    rmdir(dir_.c_str());
    close(master_);
    close(slave_);
  }

  termios SlaveTermios() const {
    termios t{};
    EXPECT_EQ(tcgetattr(slave_, &t), 0);
    return t;
  }

  // Reads from the master until `count` bytes have come or 10 s passed.
  std::vector<unsigned char> ReadMaster(size_t count) const {
    std::vector<unsigned char> got;
    unsigned char buf[4096];
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < 10000) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  // True when something arrives on the master within ms.
  bool MasterGetsMoreWithin(int ms) const {
    pollfd p{master_, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string dir_;
  std::string ini_;
};

std::vector<unsigned char> Pattern(size_t n) {
  std::vector<unsigned char> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 7 + i / 256);
  return v;
}

TEST_F(SerialLink, OpensMappedDeviceRawAndFollowsBaudChanges) {
  cmcComm comm;
  ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_EQ(comm.DevicePath(), slavePath_);

  termios t = SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(comm.WriteTimeoutMultiplier(), 10u);

  ASSERT_TRUE(comm.SetBaudRate(38400));
  t = SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B38400);
  EXPECT_EQ(comm.WriteTimeoutMultiplier(), 2u);

  // A rate without a B constant is refused; the device keeps the old one.
  EXPECT_FALSE(comm.SetBaudRate(12345));
  t = SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B38400);
  ASSERT_TRUE(comm.SetBaudRate(38400));

  // A second Open fails and leaves the port and its settings in force.
  EXPECT_FALSE(comm.Open(kCom, "19200,E,7,2"));
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_EQ(comm.BaudRate(), 38400u);
  EXPECT_EQ(comm.ByteSize(), 8);
  t = SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B38400);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

  // Closed, the device can be opened again (the exclusive mark went with it).
  comm.Close();
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_TRUE(comm.Open(kCom, "9600,N,8,1"));
}

TEST_F(SerialLink, LineModesAreStoredWhileClosedAndAppliedAtOpen) {
  cmcComm comm;
  EXPECT_FALSE(comm.SetRtsControl(1));
  EXPECT_FALSE(comm.SetDtrControl(5));  // low two bits: 1
  EXPECT_FALSE(comm.SetBaudRate(38400));
  EXPECT_EQ(comm.Flags().rtsControl, 1);
  EXPECT_EQ(comm.Flags().dtrControl, 1);
  EXPECT_EQ(comm.Room(), 0);

  // A pty has no modem lines: the modes are accepted without effect.
  ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  EXPECT_TRUE(comm.SetRtsControl(0));
  EXPECT_TRUE(comm.SetDtrControl(0));
  EXPECT_TRUE(comm.SetRtsControl(1));
}

TEST_F(SerialLink, DeviceThatCannotBeTakenIsNotOpened) {
  // Another process holds the port.
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    close(release[1]);
    const int fd = platform::serial::Open(slavePath_);
    const char ok = fd >= 0 ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    char c;
    (void)!read(release[0], &c, 1);
    platform::serial::Close(fd);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, 'y');

  cmcComm comm;
  EXPECT_FALSE(comm.Open(kCom, "9600,N,8,1"));
  EXPECT_FALSE(comm.IsOpen());

  close(release[1]);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  EXPECT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  comm.Close();

  // A path that does not exist, and a file that is no terminal.
  for (int port : {kMissingCom, kFileCom}) {
    SCOPED_TRACE(port);
    EXPECT_FALSE(comm.Open(port, "9600,N,8,1"));
    EXPECT_FALSE(comm.IsOpen());
  }
}

TEST_F(SerialLink, ReadTakesWhatHasArrivedWithoutWaiting) {
  cmcComm comm;
  ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  unsigned char buf[100];

  // Nothing arrived: 0 every time, at once (50 waiting reads would take far longer).
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < 50; ++i) ASSERT_EQ(comm.Read(buf, 100), 0);
  EXPECT_LT(t.elapsed(), 2000);

  const unsigned char sent[7] = {0x55, 0x00, 0xAA, 0xFE, 0xFD, 0x0D, 0x0A};
  ASSERT_EQ(write(master_, sent, 7), 7);
  ASSERT_TRUE(linktest::PumpUntil([&] { return comm.InQueue() == 7; }));
  EXPECT_EQ(comm.Read(buf, 3), 3);  // no more than asked
  EXPECT_EQ(comm.Read(buf + 3, 100), 4);
  EXPECT_EQ(std::vector<unsigned char>(buf, buf + 7), std::vector<unsigned char>(sent, sent + 7));
  EXPECT_EQ(comm.Read(buf, 100), 0);

  comm.Close();
  EXPECT_EQ(comm.Read(buf, 100), 0);
  EXPECT_EQ(comm.InQueue(), 0);
}

TEST_F(SerialLink, LongWriteGoesOutInSlicesOneTickApart) {
  cmcComm comm;
  ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  const std::vector<unsigned char> data = Pattern(3000);

  comm.Write(data.data(), 3000);
  // The first slice goes out at once, the rest waits for the task.
  EXPECT_EQ(comm.Pending(), 1976);
  EXPECT_EQ(comm.Room(), 1024 - 1976);
  std::vector<unsigned char> got = ReadMaster(1024);
  ASSERT_EQ(got.size(), 1024u);
  EXPECT_FALSE(MasterGetsMoreWithin(100)) << "more than one slice without a tick";

  std::vector<int> pending;
  ASSERT_TRUE(linktest::PumpUntil([&] {
    const int p = comm.Pending();
    if (pending.empty() || pending.back() != p) pending.push_back(p);
    return p == 0;
  }));
  EXPECT_EQ(pending, (std::vector<int>{1976, 952, 0}));
  EXPECT_EQ(comm.Room(), 1024);
  EXPECT_TRUE(comm.Task()->IsStopped());

  const std::vector<unsigned char> rest = ReadMaster(1976);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, data);
  EXPECT_FALSE(comm.WriteFailed());
}

TEST_F(SerialLink, WriteThatCannotCompleteSetsStickyFailure) {
  cmcComm comm;
  ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
  // Above 100000 bit/s the per-byte time-out is 0: a blocked slice gives up
  // after the 3000 ms constant alone.
  ASSERT_TRUE(comm.SetBaudRate(115200));
  ASSERT_EQ(comm.WriteTimeoutMultiplier(), 0u);

  // The radio stops reading: fill the pty until it takes nothing more.
  ASSERT_EQ(fcntl(slave_, F_SETFL, fcntl(slave_, F_GETFL) | O_NONBLOCK), 0);
  const std::vector<unsigned char> filler(4096, 0x33);
  // The kernel moves bytes on towards the master in the background: full
  // means refused and still not writable a while later.
  for (;;) {
    const ssize_t n = write(slave_, filler.data(), filler.size());
    if (n >= 0) continue;
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << errno;
    pollfd p{slave_, POLLOUT, 0};
    if (poll(&p, 1, 300) == 0) break;
  }

  const std::vector<unsigned char> data = Pattern(100);
  comm.Write(data.data(), 100);
  EXPECT_TRUE(comm.WriteFailed());
  EXPECT_EQ(comm.Queued(), 100) << "the bytes stay queued";
  EXPECT_TRUE(comm.Task()->IsStopped());

  // The radio reads again; a later write succeeds but the flag stays.
  unsigned char sink[4096];
  while (MasterGetsMoreWithin(200) && read(master_, sink, sizeof sink) > 0) {
  }
  comm.Write(data.data(), 10);
  EXPECT_EQ(comm.Queued(), 0);
  EXPECT_TRUE(comm.WriteFailed());

  comm.Close();
  EXPECT_FALSE(comm.WriteFailed());
}

TEST_F(SerialLink, DestroyedWhileDrainingLeavesNoTickBehind) {
  {
    cmcComm comm;
    ASSERT_TRUE(comm.Open(kCom, "9600,N,8,1"));
    const std::vector<unsigned char> data = Pattern(3000);
    comm.Write(data.data(), 3000);
    ASSERT_FALSE(comm.Task()->IsStopped());
  }
  linktest::PumpFor(50);  // a tick left behind would run on a freed link
  SUCCEED();
}

TEST(SerialField, SplitsAtSingleByteDelimiters) {
  struct Case {
    const char* text;
    char delim;
    int n;
    std::optional<std::string> want;
  };
  const Case cases[] = {
      {"9600,N,8,1", ',', 0, "9600"},
      {"9600,N,8,1", ',', 3, "1"},
      {"a,,c", ',', 1, ""},
      {"a,b", ',', 2, std::nullopt},
      {"a,b,", ',', 2, ""},
      {"", ',', 0, ""},
      {nullptr, ',', 0, std::nullopt},
      {"a,b", ',', -1, std::nullopt},
      {"\xC3\xA9;x", ';', 1, "x"},
      // 0xA9 is the second byte of a two-byte character, never a delimiter.
      {"\xC3\xA9,x", '\xA9', 0, "\xC3\xA9,x"},
      {"\xC3\xA9,x", '\xA9', 1, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text ? c.text : "(null)") + " n=" + std::to_string(c.n));
    EXPECT_EQ(cmcComm::Field(c.text, c.delim, c.n), c.want);
  }
}

TEST_F(SerialLink, SettingsTextsReachTheDevice) {
  // A pty always reads back as 8 data bits without parity: the device side
  // shows the rate, the stop bits and the parity check.
  struct Case {
    const char* text;
    bool opens;
    std::uint32_t baud;
    int byteSize;
    int parity;
    int stopBits;
  };
  const Case cases[] = {
      {"38400,N,9,2", true, 38400, 8, 0, 2},
      {"19200,E,7,1", true, 19200, 7, 2, 0},
      {"9600,O,8,1", true, 9600, 8, 1, 0},
      {"9600,N,5,1.5", true, 9600, 5, 0, 1},
      // Four data bits exist in the text but not on the device.
      {"9600,N,3,1.5", false, 9600, 4, 0, 1},
      // A rate without a B constant: settings fail, the port is closed again.
      {"9601,N,8,1", false, 9601, 8, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    cmcComm comm;
    EXPECT_EQ(comm.Open(kCom, c.text), c.opens);
    EXPECT_EQ(comm.IsOpen(), c.opens);
    EXPECT_EQ(comm.BaudRate(), c.baud);
    EXPECT_EQ(comm.ByteSize(), c.byteSize);
    EXPECT_EQ(comm.ParityMode(), c.parity);
    EXPECT_EQ(comm.StopBits(), c.stopBits);
    EXPECT_EQ(comm.Flags().parityCheck, c.parity != 0);
    if (c.opens) {
      const auto device = platform::serial::ReadSettings(slave_);
      ASSERT_TRUE(device.has_value());
      EXPECT_EQ(device->baud, c.baud);
      EXPECT_EQ(device->twoStopBits, c.stopBits != 0);
      EXPECT_EQ(device->parityCheck, c.parity != 0);
    }
  }
}

TEST_F(SerialLink, MalformedSettingsTextsAreRefused) {
  const char* const texts[] = {
      nullptr,      "",          "9600,N,8",          "0,N,8,1",      "abc,N,8,1",
      "-9600,N,8,1", ",N,8,1",   "99999999999,N,8,1",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text ? text : "(null)");
    cmcComm comm;
    comm.SetBaudRate(38400);  // stored while closed
    EXPECT_FALSE(comm.Open(kCom, text));
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.BaudRate(), 38400u);
    EXPECT_TRUE(comm.Open(kCom, "9600,N,8,1")) << "the port was left taken";
  }
}

}  // namespace
