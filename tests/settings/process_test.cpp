// Real processes of the programs' settings holders: single instance per build,
// a lock freed by a killed process, and settings saved on the end signals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile_file.h"
#include "tests/settings/temp_dir.h"

extern char** environ;

namespace {

// Generous: a loaded two-core machine running sanitizer builds.
constexpr int kWaitMs = 60000;

class Holder {
 public:
  // Starts program with the given runtime folder; arg (optional) is the COM port to set.
  Holder(const std::string& program, const std::string& runtimeDir, const std::string& arg = {}) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0) env.emplace_back(*e);
    env.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string prog = program, a = arg;
    std::vector<char*> argv{prog.data()};
    if (!a.empty()) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, prog.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~Holder() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // Reads the output until "ready" or its end; true when "ready" came.
  bool WaitReady() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (output_.find("ready\n") == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || out_ < 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Waits for the process to end; its exit code, or -1 (killed by a signal,
  // not ended in time).
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    int status = 0;
    while (pid_ > 0) {
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  // Waits for the end after a signal; true when it was killed by that signal.
  bool WaitKilledBy(int signo) {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return false;
    pid_ = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == signo;
  }

  void Signal(int signo) { ::kill(pid_, signo); }
  const std::string& Output() const { return output_; }
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

// Each test gets a folder with copies of the holders, named like the programs
// (so each has its own INI file next to it), and a runtime folder of its own.
class SettingsProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(runtime_);
    for (const auto& [from, name] : {std::pair{ZB_HOLDER_K, "ZB7152K"}, std::pair{ZB_HOLDER_M, "ZB7152M"},
                                     std::pair{ZB_HOLDER_L, "ZB7152L"}})
      std::filesystem::copy_file(from, dir_ / name);
  }
  std::string Program(const char* name) const { return dir_ / name; }
  std::string Ini(const char* name) const { return dir_ / (std::string(name) + ".INI"); }

  TempDir dir_;
  std::string runtime_ = dir_ / "run";
};

}  // namespace

TEST_F(SettingsProcess, SecondInstanceEndsAtOnceWhileAnotherBuildRunsBeside) {
  const std::string original = "[Ports]\nCOM1=/dev/ttyUSB0\n\n[Global]\nComPort=5\n";
  WriteFile(Ini("ZB7152K"), original);

  Holder first(Program("ZB7152K"), runtime_, "9");
  ASSERT_TRUE(first.WaitReady());

  Holder second(Program("ZB7152K"), runtime_, "11");
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_FALSE(second.WaitReady());
  EXPECT_EQ(ReadFile(Ini("ZB7152K")), original);

  Holder frontPanel(Program("ZB7152M"), runtime_, "3");
  ASSERT_TRUE(frontPanel.WaitReady());
  Holder dsp(Program("ZB7152L"), runtime_);
  ASSERT_TRUE(dsp.WaitReady());

  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(ReadFile(Ini("ZB7152K")),
            "[Ports]\nCOM1=/dev/ttyUSB0\n\n[Global]\nComPort=9\nPortSel=0\nTcp_IP=192.168.0.11\nTcp_Port=41020\n");

  frontPanel.Signal(SIGTERM);
  EXPECT_EQ(frontPanel.Wait(), 0);
  EXPECT_EQ(ReadFile(Ini("ZB7152M")), "[Global]\nComPort=3\n");
  dsp.Signal(SIGTERM);
  EXPECT_EQ(dsp.Wait(), 0);
  EXPECT_EQ(ReadFile(Ini("ZB7152L")), "[Global]\nPortSel=0\nComPort=1\nTcp_IP=192.168.0.11\nTcp_Port=41000\n");
}

TEST_F(SettingsProcess, KilledFirstInstanceSavesNothingAndFreesTheLock) {
  WriteFile(Ini("ZB7152L"), "[Global]\nComPort=5\n");
  {
    Holder crashed(Program("ZB7152L"), runtime_, "9");
    ASSERT_TRUE(crashed.WaitReady());
    crashed.Signal(SIGKILL);
    EXPECT_TRUE(crashed.WaitKilledBy(SIGKILL));
  }
  EXPECT_EQ(ReadFile(Ini("ZB7152L")), "[Global]\nComPort=5\n");

  Holder next(Program("ZB7152L"), runtime_, "4");
  ASSERT_TRUE(next.WaitReady());  // a first instance again
  next.Signal(SIGTERM);
  EXPECT_EQ(next.Wait(), 0);
  EXPECT_EQ(platform::ReadProfileInt(Ini("ZB7152L"), "Global", "ComPort"), 4);
}

TEST_F(SettingsProcess, EachEndSignalSavesTheSettings) {
  int port = 20;
  for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signo);
    ++port;
    Holder holder(Program("ZB7152M"), runtime_, std::to_string(port));
    ASSERT_TRUE(holder.WaitReady());
    holder.Signal(signo);
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(ReadFile(Ini("ZB7152M")), "[Global]\nComPort=" + std::to_string(port) + "\n");
  }
}
