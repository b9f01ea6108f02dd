// Whole main-CPU updates against the radio simulator, over a
// pseudo-terminal and over loopback TCP: healthy runs (the simulator's flash
// must equal the built-in firmware image and it must see no byte the
// protocol does not allow), every failure path with its error code, and
// cancelling during the ROM write. Each case is its own ctest entry so the
// time-out cases run side by side.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "sequence/driver.h"
#include "seq_fixture.h"

extern char** environ;

namespace {

// The simulator as a child process; its ready line gives the pty path and
// the TCP port.
class RadioSim {
 public:
  explicit RadioSim(const std::vector<std::string>& extra, const std::string& dir) {
    serialPath_ = dir + "/ttyRADIO";
    std::vector<std::string> args = {RADIOSIM_PATH, "--serial", serialPath_, "--tcp", "0",
                                     "--quiet", "--settle", "300", "--start-timeout", "60000"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    if (posix_spawn(&pid_, RADIOSIM_PATH, &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    // One line: "ready serial=PATH pty=... tcp=127.0.0.1:PORT".
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    close(out[0]);
    ready_ = line.rfind("ready", 0) == 0;
    const auto at = line.find("tcp=127.0.0.1:");
    if (at != std::string::npos) tcpPort_ = static_cast<std::uint32_t>(std::stoul(line.substr(at + 14)));
  }
  ~RadioSim() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGTERM);
      int st;
      waitpid(pid_, &st, 0);
    }
  }
  bool Ready() const { return ready_ && pid_ > 0; }
  const std::string& SerialPath() const { return serialPath_; }
  std::uint32_t TcpPort() const { return tcpPort_; }
  // Exit status once it has ended by itself (-1 when it has not within ms).
  int WaitExit(int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
  bool exited_ = false;
  std::string serialPath_;
  std::uint32_t tcpPort_ = 0;
};

enum class Link { Serial, Tcp };

struct Session {
  TempIni ini;
  clsMainSeq seq;
  clsSeqDriver driver{seq};

  void Use(Link link, const RadioSim& sim) {
    ini.MapCom(1, sim.SerialPath());
    clsSeqDriver::Settings s;
    s.portSel = link == Link::Tcp ? 1 : 0;
    s.comPort = 1;
    s.tcpIp = "127.0.0.1";
    s.tcpPort = sim.TcpPort();
    driver.SetSettings(s);
  }
};

void ExpectHealthyRun(Session& s, int unit) {
  const auto r = s.driver.Run(60000);
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.error, 0);
  EXPECT_FALSE(r.timedOut);
  EXPECT_TRUE(s.driver.Errors().empty());
  EXPECT_EQ(s.seq.GetStage(), profile::kStageReady);
  EXPECT_EQ(s.seq.GetUnitCount(), unit);
  EXPECT_EQ(s.seq.GetBlocksWritten(), s.seq.GetBlocksTotal());
  s.driver.Tick();  // Ready: progress back to 0, link closed
  EXPECT_EQ(s.seq.GetProgress(), 0);
  EXPECT_FALSE(s.seq.IsLinkOpen());
}

TEST(SeqE2E, HealthyUpdateOverPty) {
  Session s;
  RadioSim sim({"--runs", "1", "--expect", FIRMWARE_MOT}, s.ini.Dir());
  ASSERT_TRUE(sim.Ready());
  s.Use(Link::Serial, sim);
  ExpectHealthyRun(s, 1);
  EXPECT_EQ(sim.WaitExit(10000), 0) << "the simulator saw a violation or a wrong flash";
}

TEST(SeqE2E, HealthyUpdateOverTcp) {
  Session s;
  RadioSim sim({"--runs", "1", "--expect", FIRMWARE_MOT}, s.ini.Dir());
  ASSERT_TRUE(sim.Ready());
  s.Use(Link::Tcp, sim);
  ExpectHealthyRun(s, 1);
  EXPECT_EQ(sim.WaitExit(10000), 0) << "the simulator saw a violation or a wrong flash";
}

TEST(SeqE2E, TwoUpdatesInARow) {
  Session s;
  RadioSim sim({"--runs", "2", "--expect", FIRMWARE_MOT}, s.ini.Dir());
  ASSERT_TRUE(sim.Ready());
  s.Use(Link::Serial, sim);
  ExpectHealthyRun(s, 1);
  ExpectHealthyRun(s, 2);
  EXPECT_EQ(sim.WaitExit(10000), 0);
}

// A failure: exactly one step returns the code and leaves Standby; the next
// step reaches Ready with no link open; the simulator saw nothing illegal.
struct FailCase {
  const char* name;
  Link link;
  std::vector<std::string> simArgs;
  Er error;
  Er orError;  // a second code accepted where the link may or may not notice
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class SeqFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(SeqFailure, EndsWithItsCodeThenStandbyThenReady) {
  const FailCase& c = GetParam();
  Session s;
  std::vector<std::string> args = {"--runs", "1"};
  args.insert(args.end(), c.simArgs.begin(), c.simArgs.end());
  RadioSim sim(args, s.ini.Dir());
  ASSERT_TRUE(sim.Ready());
  s.Use(c.link, sim);
  const auto r = s.driver.Run(45000);
  ASSERT_FALSE(r.timedOut);
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.error == ErrorNo(c.error) || r.error == ErrorNo(c.orError))
      << "error " << r.error << ", expected " << ErrorNo(c.error);
  EXPECT_EQ(s.driver.Errors().size(), 1u);
  EXPECT_EQ(s.seq.GetStage(), profile::kStageStandby);
  if (c.link == Link::Tcp) {
    EXPECT_FALSE(s.seq.IsLinkOpen()) << "TCP closed in the failing step";
  }
  EXPECT_EQ(s.driver.Tick(), 0);
  EXPECT_EQ(s.seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(s.seq.IsLinkOpen());
  EXPECT_EQ(s.seq.GetUnitCount(), 0);
  EXPECT_EQ(sim.WaitExit(15000), 0) << "the simulator saw a violation";
}

const FailCase kFailures[] = {
    {"NoBootAnswer", Link::Serial, {"--fault", "no-boot"}, Er::Boot, Er::Boot},
    {"NoBootAnswerTcp", Link::Tcp, {"--fault", "no-boot"}, Er::Boot, Er::Boot},
    {"BitRate", Link::Serial, {"--fault", "bitrate"}, Er::Bitrate, Er::Bitrate},
    {"WrongSizeEcho", Link::Serial, {"--fault", "size-echo:2"}, Er::FirmUpload, Er::FirmUpload},
    {"SilenceAfterUpload", Link::Tcp, {"--fault", "silent-upload"}, Er::FirmUpload, Er::FirmUpload},
    {"MissingFlachChkReply", Link::Serial, {"--fault", "no-flachchk:2"}, Er::Product, Er::Product},
    {"RefusedFirstBlock", Link::Serial, {"--fault", "refuse:1"}, Er::RomData, Er::RomData},
    {"RefusedBlockTcp", Link::Tcp, {"--fault", "refuse:40"}, Er::RomData, Er::RomData},
    {"SilenceAfterBlock", Link::Serial, {"--fault", "silent-after:3"}, Er::RomData, Er::RomData},
    {"RefusedSum", Link::Tcp, {"--fault", "refuse-sum"}, Er::RomData, Er::RomData},
    {"LinkClosedMidWrite", Link::Serial, {"--fault", "close-after:20"}, Er::Unknown, Er::RomData},
    {"PeerClosedMidWriteTcp", Link::Tcp, {"--fault", "close-after:20"}, Er::RomData, Er::RomData},
};

INSTANTIATE_TEST_SUITE_P(Paths, SeqFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SeqE2EOpen, ComPortThatCannotBeOpened) {
  Session s;
  s.ini.MapCom(1, s.ini.Dir() + "/no-such-tty");
  clsSeqDriver::Settings set;
  set.portSel = 0;
  s.driver.SetSettings(set);
  const auto r = s.driver.Run(10000);
  EXPECT_EQ(r.error, ErrorNo(Er::ComOpen));
  EXPECT_EQ(s.driver.Errors().size(), 1u);
  EXPECT_EQ(s.seq.GetStage(), profile::kStageStandby);
  s.driver.Tick();
  EXPECT_EQ(s.seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(s.seq.IsLinkOpen());
}

TEST(SeqE2EOpen, TcpConnectRefused) {
  Session s;
  std::uint16_t port;
  {
    LoopbackListener gone;  // a free port with nothing listening afterwards
    port = gone.Port();
  }
  clsSeqDriver::Settings set;
  set.portSel = 1;
  set.tcpIp = "127.0.0.1";
  set.tcpPort = port;
  s.driver.SetSettings(set);
  const auto r = s.driver.Run(10000);
  EXPECT_EQ(r.error, ErrorNo(Er::IPConnect));
  EXPECT_EQ(s.driver.Errors().size(), 1u);
  EXPECT_EQ(s.seq.GetStage(), profile::kStageStandby);
  s.driver.Tick();
  EXPECT_EQ(s.seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(s.seq.IsLinkOpen());
}

// Cancel is refused in RomW_Data until the first block is acknowledged; then
// it stops the run at once and closes the link.
TEST(SeqE2E, CancelDuringRomWriteAfterTheFirstBlock) {
  Session s;
  RadioSim sim({"--runs", "1"}, s.ini.Dir());
  ASSERT_TRUE(sim.Ready());
  s.Use(Link::Serial, sim);
  bool refusedBefore = false, cancelled = false, closedAtOnce = false;
  s.driver.SetAfterStep([&](clsMainSeq& q, int stage, int) {
    if (cancelled || stage != StageNo(St::RomW_Data)) return;
    if (q.GetBlocksWritten() == 0) {
      if (!q.CanCancel()) refusedBefore = true;
      return;
    }
    ASSERT_TRUE(q.CanCancel());
    q.Cancel();
    cancelled = true;
    closedAtOnce = q.GetStage() == profile::kStageStandby && !q.IsLinkOpen();
  });
  const auto r = s.driver.Run(60000);
  EXPECT_TRUE(refusedBefore);
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(closedAtOnce);
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.aborted);
  EXPECT_TRUE(s.driver.Errors().empty());
  s.driver.Tick();
  EXPECT_EQ(s.seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(s.seq.IsLinkOpen());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  signal(SIGPIPE, SIG_IGN);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
