// The settings store of one program (this file is compiled once per program).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "platform/profile_file.h"
#include "platform/program_path.h"
#include "profile.h"
#include "tests/settings/temp_dir.h"
#include "texts/clsEnviron.h"

namespace {

// "{D}" in an expected file stands for the build's default TCP port.
std::string WithDefaultPort(std::string text) {
  const std::string mark = "{D}";
  for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark))
    text.replace(at, mark.size(), std::to_string(profile::kTcpPortDefault));
  return text;
}

class SettingsEnviron : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProgramIniPath(ini_); }
  void TearDown() override { platform::SetProgramIniPath(""); }

  TempDir dir_;
  ScopedRuntimeDir runtime_{dir_.Path()};
  std::string ini_ = dir_ / "ZB.INI";
};

struct IniCase {
  const char* name;
  const char* input;  // nullptr: no file
  int portSel;
  int comPort;
  const char* ip;
  uint32_t tcpPort;  // 0: the build's default
  const char* written;
};

// Builds with the TCP/IP link: all four keys.
const IniCase kTcpCases[] = {
    {"missing file", nullptr, 0, 1, "192.168.0.11", 0,
     "[Global]\nPortSel=0\nComPort=1\nTcp_IP=192.168.0.11\nTcp_Port={D}\n"},
    {"missing keys", "[Global]\n", 0, 1, "192.168.0.11", 0,
     "[Global]\nPortSel=0\nComPort=1\nTcp_IP=192.168.0.11\nTcp_Port={D}\n"},
    {"all keys", "[Global]\nPortSel=1\nComPort=7\nTcp_IP=127.0.0.1\nTcp_Port=5000\n", 1, 7, "127.0.0.1", 5000,
     "[Global]\nPortSel=1\nComPort=7\nTcp_IP=127.0.0.1\nTcp_Port=5000\n"},
    {"out of range: 300 and -5 (unsigned, far above 65535)", "[Global]\nComPort=300\nTcp_Port=-5\n", 0, 1,
     "192.168.0.11", 0, "[Global]\nComPort=1\nTcp_Port={D}\nPortSel=0\nTcp_IP=192.168.0.11\n"},
    {"just below the ranges", "[Global]\nComPort=0\nTcp_Port=1023\n", 0, 1, "192.168.0.11", 0,
     "[Global]\nComPort=1\nTcp_Port={D}\nPortSel=0\nTcp_IP=192.168.0.11\n"},
    {"just above the ranges", "[Global]\nComPort=257\nTcp_Port=65536\n", 0, 1, "192.168.0.11", 0,
     "[Global]\nComPort=1\nTcp_Port={D}\nPortSel=0\nTcp_IP=192.168.0.11\n"},
    {"range limits", "[Global]\nComPort=256\nTcp_Port=65535\n", 0, 256, "192.168.0.11", 65535,
     "[Global]\nComPort=256\nTcp_Port=65535\nPortSel=0\nTcp_IP=192.168.0.11\n"},
    {"hexadecimal 0x and $", "[Global]\nPortSel=0x1\nComPort=$1F\nTcp_Port=0xA03C\n", 1, 31, "192.168.0.11",
     41020, "[Global]\nPortSel=1\nComPort=31\nTcp_Port=41020\nTcp_IP=192.168.0.11\n"},
    {"hexadecimal 0X and $ lower case", "[Global]\nComPort=0X0c\nTcp_Port=$a028\n", 0, 12, "192.168.0.11", 41000,
     "[Global]\nComPort=12\nTcp_Port=41000\nPortSel=0\nTcp_IP=192.168.0.11\n"},
    {"not numbers", "[Global]\nPortSel=one\nComPort=3x\nTcp_Port=abc\n", 0, 1, "192.168.0.11", 0,
     "[Global]\nPortSel=0\nComPort=1\nTcp_Port={D}\nTcp_IP=192.168.0.11\n"},
    {"any address text", "[Global]\nTcp_IP=not an address; 999.1.2\n", 0, 1, "not an address; 999.1.2", 0,
     "[Global]\nTcp_IP=not an address; 999.1.2\nPortSel=0\nComPort=1\nTcp_Port={D}\n"},
    {"link selection unvalidated", "[Global]\nPortSel=7\n", 7, 1, "192.168.0.11", 0,
     "[Global]\nPortSel=7\nComPort=1\nTcp_IP=192.168.0.11\nTcp_Port={D}\n"},
    {"names in other case", "[gLoBaL]\nportsel=1\nCOMPORT=4\ntcp_ip=127.0.0.1\nTCP_PORT=5000\n", 1, 4, "127.0.0.1",
     5000, "[gLoBaL]\nportsel=1\nCOMPORT=4\ntcp_ip=127.0.0.1\nTCP_PORT=5000\n"},
    {"CR LF file", "[Global]\r\nComPort=3\r\nTcp_Port=0x1F90\r\n", 0, 3, "192.168.0.11", 8080,
     "[Global]\r\nComPort=3\r\nTcp_Port=8080\r\nPortSel=0\r\nTcp_IP=192.168.0.11\r\n"},
    {"other sections and comments kept",
     "; update tool settings\n[Ports]\nCOM1=/dev/ttyUSB0\n; second adapter\nCOM2 = /dev/ttyACM0\n\n"
     "[Global]\nComPort=2\n\n[Other]\n; keep me\nKey=Value\n",
     0, 2, "192.168.0.11", 0,
     "; update tool settings\n[Ports]\nCOM1=/dev/ttyUSB0\n; second adapter\nCOM2 = /dev/ttyACM0\n\n"
     "[Global]\nComPort=2\nPortSel=0\nTcp_IP=192.168.0.11\nTcp_Port={D}\n\n[Other]\n; keep me\nKey=Value\n"},
};

// The front-panel build: ComPort only; the TCP keys are neither read nor written.
const IniCase kFrontPanelCases[] = {
    {"missing file", nullptr, 0, 1, "192.168.0.11", 0, "[Global]\nComPort=1\n"},
    {"all keys", "[Global]\nPortSel=1\nComPort=7\nTcp_IP=127.0.0.1\nTcp_Port=5000\n", 0, 7, "192.168.0.11", 0,
     "[Global]\nPortSel=1\nComPort=7\nTcp_IP=127.0.0.1\nTcp_Port=5000\n"},
    {"out of range", "[Global]\r\nComPort=300\r\nTcp_Port=-5\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n", 0, 1,
     "192.168.0.11", 0, "[Global]\r\nComPort=1\r\nTcp_Port=-5\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"},
    {"hexadecimal", "[Global]\nComPort=$1F\n", 0, 31, "192.168.0.11", 0, "[Global]\nComPort=31\n"},
    {"Ports section only", "[Ports]\nCOM1=/dev/ttyUSB0\n", 0, 1, "192.168.0.11", 0,
     "[Ports]\nCOM1=/dev/ttyUSB0\n\n[Global]\nComPort=1\n"},
};

}  // namespace

TEST_F(SettingsEnviron, LoadsAndWritesBackTheIniFile) {
  const bool tcp = profile::kHasTcp;
  const auto& cases = tcp ? std::span<const IniCase>(kTcpCases) : std::span<const IniCase>(kFrontPanelCases);
  for (const IniCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(ini_);
    if (c.input) WriteFile(ini_, c.input);
    {
      clsEnviron env(profile::kLockName);
      ASSERT_TRUE(env.IsFirstInstance());
      EXPECT_EQ(env.GetPortSel(), c.portSel);
      EXPECT_EQ(env.GetComPort(), c.comPort);
      EXPECT_EQ(env.GetTcpIp(), c.ip);
      if (tcp) {
        EXPECT_EQ(env.GetTcpPort(), c.tcpPort ? c.tcpPort : profile::kTcpPortDefault);
      }
    }
    EXPECT_EQ(ReadFile(ini_), WithDefaultPort(c.written));
  }
}

TEST_F(SettingsEnviron, SettersIgnoreValuesOutsideTheirRanges) {
  clsEnviron env(profile::kLockName);
  EXPECT_EQ(env.GetComPortMin(), 1);
  EXPECT_EQ(env.GetComPortMax(), 256);
  EXPECT_EQ(env.GetTcpPortMin(), 1024u);
  EXPECT_EQ(env.GetTcpPortMax(), 65535u);

  EXPECT_EQ(env.SetComPort(7), 7);
  for (int bad : {0, -1, 257, 100000}) EXPECT_EQ(env.SetComPort(bad), 7) << bad;
  EXPECT_EQ(env.SetComPort(256), 256);

  EXPECT_EQ(env.SetTcpPort(5000), 5000u);
  for (uint32_t bad : {0u, 1023u, 65536u, 0xFFFFFFFBu}) EXPECT_EQ(env.SetTcpPort(bad), 5000u) << bad;
  EXPECT_EQ(env.SetTcpPort(1024), 1024u);

  EXPECT_EQ(env.SetPortSel(-3), -3);
  EXPECT_EQ(env.SetTcpIp("  anything  "), "  anything  ");
  EXPECT_EQ(env.GetTcpIp(), "  anything  ");
}

TEST_F(SettingsEnviron, SecondInstanceNeitherReadsNorWrites) {
  const std::string original = "[Global]\nPortSel=1\nComPort=5\n";
  WriteFile(ini_, original);
  auto first = std::make_unique<clsEnviron>(profile::kLockName);
  ASSERT_TRUE(first->IsFirstInstance());
  EXPECT_EQ(first->GetComPort(), 5);
  {
    clsEnviron second(profile::kLockName);
    EXPECT_FALSE(second.IsFirstInstance());
    EXPECT_EQ(second.GetComPort(), 1);  // nothing loaded
    second.SetComPort(9);
    second.Save();
    EXPECT_FALSE(second.SaveSettings());
  }
  EXPECT_EQ(ReadFile(ini_), original);

  first->SetComPort(6);
  first.reset();  // saves and releases the lock
  EXPECT_EQ(platform::ReadProfileInt(ini_, "Global", "ComPort"), 6);
  clsEnviron next(profile::kLockName);
  EXPECT_TRUE(next.IsFirstInstance());
  EXPECT_EQ(next.GetComPort(), 6);
}

TEST_F(SettingsEnviron, SaveWritesAtOnceAndEveryLaterChangeIsSavedAtTheEnd) {
  {
    clsEnviron env(profile::kLockName);
    env.SetComPort(3);
    EXPECT_TRUE(env.SaveSettings());
    EXPECT_EQ(platform::ReadProfileInt(ini_, "Global", "ComPort"), 3);
    env.SetComPort(4);
  }
  EXPECT_EQ(platform::ReadProfileInt(ini_, "Global", "ComPort"), 4);
}

TEST_F(SettingsEnviron, AnIniThatCannotBeReadIsNeitherLoadedNorReplaced) {
  std::filesystem::create_directory(ini_);
  {
    clsEnviron env(profile::kLockName);
    EXPECT_TRUE(env.IsFirstInstance());
    EXPECT_EQ(env.GetComPort(), 1);
    env.SetComPort(2);
    EXPECT_FALSE(env.SaveSettings());
  }
  EXPECT_TRUE(std::filesystem::is_directory(ini_));
}
