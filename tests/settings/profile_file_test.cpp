// The profile-file layer, the program's INI path, the COM port mapping and the
// single-instance lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/comports.h"
#include "platform/instance_lock.h"
#include "platform/profile_file.h"
#include "platform/program_path.h"
#include "tests/settings/temp_dir.h"

using platform::ParseProfileInt;
using platform::ProfileFile;

TEST(SettingsProfileInt, ConvertsDecimalAndHexAndRejectsTheRest) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"  42 ", 42},
      {"+7", 7},
      {"-5", -5},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0xA03C", 41020},
      {"0XA03c", 41020},
      {"$1F", 31},
      {"-$10", -16},
      {"0xFFFFFFFF", -1},  // hexadecimal uses all 32 bits
      {"2147483648", std::nullopt},
      {"0x100000000", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"12abc", std::nullopt},
      {"1 2", std::nullopt},
      {"abc", std::nullopt},
      {"0xG1", std::nullopt},
      {"1.5", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(SettingsProfileFile, LooksUpWithoutCaseAndTrims) {
  const ProfileFile f = ProfileFile::Parse(
      "Orphan=before any section\n"
      "; comment=not a key\n"
      "[ Global ]\n"
      "  ComPort =  12  \n"
      "Tcp_IP=\"  spaced  \"\n"
      "Empty=\n"
      "Eq=a=b\n"
      "NoEquals\n"
      "comport=99\n"
      "[Other]\n"
      "Key=other\n"
      "[GLOBAL]\n"
      "Late=second section of the same name\n");
  EXPECT_EQ(f.GetString("global", "COMPORT"), "12");  // first match wins
  EXPECT_EQ(f.GetInt("Global", "ComPort"), 12);
  EXPECT_EQ(f.GetString("Global", "Tcp_IP"), "  spaced  ");  // one pair of quotes removed
  EXPECT_EQ(f.GetString("Global", "Empty"), "");
  EXPECT_EQ(f.GetString("Global", "Eq"), "a=b");
  EXPECT_EQ(f.GetString("Global", "Key"), std::nullopt);  // belongs to [Other]
  EXPECT_EQ(f.GetString("Global", "NoEquals"), std::nullopt);
  EXPECT_EQ(f.GetString("Global", "; comment"), std::nullopt);
  EXPECT_EQ(f.GetString("Global", "Late"), std::nullopt);
  EXPECT_EQ(f.GetString("Global", "Orphan"), std::nullopt);
  EXPECT_EQ(f.GetString("Missing", "Key"), std::nullopt);
  EXPECT_EQ(f.GetInt("Global", "Tcp_IP"), std::nullopt);
}

TEST(SettingsProfileFile, ReadsCrLfAndByteOrderMark) {
  const ProfileFile f = ProfileFile::Parse("\xEF\xBB\xBF[Global]\r\nComPort=3\r\nTcp_IP=1.2.3.4\r\n");
  EXPECT_EQ(f.GetInt("Global", "ComPort"), 3);
  EXPECT_EQ(f.GetString("Global", "Tcp_IP"), "1.2.3.4");
  // Written back with the same line ends and mark.
  ProfileFile g = f;
  g.SetInt("Global", "ComPort", 4);
  EXPECT_EQ(g.Text(), "\xEF\xBB\xBF[Global]\r\nComPort=4\r\nTcp_IP=1.2.3.4\r\n");
}

TEST(SettingsProfileFile, WritingAKeyKeepsEverythingElse) {
  struct Case {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"empty file", "", "Global", "ComPort", "1", "[Global]\nComPort=1\n"},
      {"replace keeps the file's spelling and comments",
       "; top\n[global]\n; about the port\ncomport = 3 \nOther=x\n", "Global", "ComPort", "4",
       "; top\n[global]\n; about the port\ncomport=4\nOther=x\n"},
      {"new key goes after the section's last line, before blank lines",
       "[Global]\nA=1\n\n[Ports]\nCOM1=/dev/ttyUSB0\n", "Global", "B", "2",
       "[Global]\nA=1\nB=2\n\n[Ports]\nCOM1=/dev/ttyUSB0\n"},
      {"new section at the end after a blank line", "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n", "Global", "PortSel",
       "0", "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n\r\n[Global]\r\nPortSel=0\r\n"},
      {"last line without a line end", "[Global]\nA=1", "Global", "A", "2", "[Global]\nA=2\n"},
      {"values that would be trimmed or unquoted are quoted", "", "S", "K", " x ", "[S]\nK=\" x \"\n"},
      {"quoted value keeps its quotes", "", "S", "K", "'q'", "[S]\nK=\"'q'\"\n"},
      {"a line break cannot add lines", "[S]\n", "S", "K", "a\nB=evil", "[S]\nK=a B=evil\n"},
  };
  for (const auto& c : cases) {
    ProfileFile f = ProfileFile::Parse(c.before);
    f.SetString(c.section, c.key, c.value);
    EXPECT_EQ(f.Text(), c.after) << c.name;
  }
  // What is written reads back as it was given.
  for (const char* v : {" x ", "'q'", "\"\"", "plain", ""}) {
    ProfileFile f;
    f.SetString("S", "K", v);
    EXPECT_EQ(ProfileFile::Parse(f.Text()).GetString("S", "K"), v) << '"' << v << '"';
  }
}

TEST(SettingsProfileFile, SaveReplacesTheFileAtomically) {
  TempDir dir;
  const std::string ini = dir / "A.INI";
  WriteFile(ini, "[Global]\nComPort=1\n");
  ::chmod(ini.c_str(), 0640);

  // A reader holding the old file keeps seeing the old, whole content: the new
  // file is a new inode renamed over the old name, never the old one truncated.
  const int old = ::open(ini.c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  struct stat before {};
  ASSERT_EQ(::fstat(old, &before), 0);

  ASSERT_TRUE(platform::WriteProfileString(ini, "Global", "ComPort", "2"));

  struct stat after {};
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  char buffer[64] = {};
  EXPECT_GT(::pread(old, buffer, sizeof buffer - 1, 0), 0);
  EXPECT_STREQ(buffer, "[Global]\nComPort=1\n");
  ::close(old);
  EXPECT_EQ(ReadFile(ini), "[Global]\nComPort=2\n");

  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(SettingsProfileFile, CreatesMissingFilesFollowsLinksAndRefusesUnreadables) {
  TempDir dir;
  const std::string fresh = dir / "new.ini";
  EXPECT_EQ(platform::ReadProfileString(fresh, "Global", "ComPort"), std::nullopt);
  ASSERT_TRUE(platform::WriteProfileString(fresh, "Global", "ComPort", "5"));
  EXPECT_EQ(platform::ReadProfileInt(fresh, "global", "comport"), 5);

  // A link stays a link; its target gets the new content.
  const std::string link = dir / "link.ini";
  std::filesystem::create_symlink(fresh, link);
  ASSERT_TRUE(platform::WriteProfileString(link, "Global", "ComPort", "6"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(platform::ReadProfileInt(fresh, "Global", "ComPort"), 6);

  // Something that exists but cannot be read as a file is left alone.
  const std::string folder = dir / "folder.ini";
  std::filesystem::create_directory(folder);
  ProfileFile::LoadStatus status{};
  ProfileFile::Load(folder, &status);
  EXPECT_EQ(status, ProfileFile::LoadStatus::Unreadable);
  EXPECT_FALSE(platform::WriteProfileString(folder, "Global", "ComPort", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  // A folder that does not exist cannot be written to.
  EXPECT_FALSE(platform::WriteProfileString(dir / "no/such.ini", "Global", "ComPort", "1"));
}

TEST(SettingsProgramPath, ReplacesTheExtensionOrAppendsOne) {
  EXPECT_EQ(platform::IniPathFor("/opt/zb/ZB7152K"), "/opt/zb/ZB7152K.INI");
  EXPECT_EQ(platform::IniPathFor("/opt/zb/ZB7152K.bin"), "/opt/zb/ZB7152K.INI");
  EXPECT_EQ(platform::IniPathFor("/opt/zb/a.b.c"), "/opt/zb/a.b.INI");
  EXPECT_EQ(platform::IniPathFor("/opt/z.b/ZB7152K"), "/opt/z.b/ZB7152K.INI");  // a dot in a folder is no extension

  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(platform::ProgramIniPath(), platform::IniPathFor(self));
  platform::SetProgramIniPath("/elsewhere/X.INI");
  EXPECT_EQ(platform::ProgramIniPath(), "/elsewhere/X.INI");
  platform::SetProgramIniPath("");
  EXPECT_EQ(platform::ProgramIniPath(), platform::IniPathFor(self));
}

TEST(SettingsComPorts, PortsSectionMapsNumbersToDevices) {
  TempDir dir;
  const std::string ini = dir / "P.INI";
  platform::SetProgramIniPath(ini);
  EXPECT_EQ(platform::ComDevicePath(1), "/dev/ttyS0");  // no file
  WriteFile(ini,
            "[Global]\r\nComPort=3\r\n[ports]\r\nCOM1 = /dev/ttyUSB0 \r\ncom3=/dev/ttyACM1\r\nCOM4=\r\n"
            "COM12=/dev/pts/7\r\n");
  EXPECT_EQ(platform::ComDevicePath(1), "/dev/ttyUSB0");
  EXPECT_EQ(platform::ComDevicePath(2), "/dev/ttyS1");
  EXPECT_EQ(platform::ComDevicePath(3), "/dev/ttyACM1");
  EXPECT_EQ(platform::ComDevicePath(4), "/dev/ttyS3");  // empty entry: default
  EXPECT_EQ(platform::ComDevicePath(12), "/dev/pts/7");
  EXPECT_EQ(platform::ComDevicePath(256), "/dev/ttyS255");
  platform::SetProgramIniPath("");
}

class SettingsInstanceLock : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedRuntimeDir runtime_{dir_.Path()};
};

TEST_F(SettingsInstanceLock, OneHolderPerNameUntilReleased) {
  const std::string name = "ZB-7152K Rev.2.7 Vantrel APP Exclusive Mutex";
  auto first = std::make_unique<platform::InstanceLock>(name);
  EXPECT_TRUE(first->Held());
  {
    platform::InstanceLock second(name);
    EXPECT_FALSE(second.Held());
    platform::InstanceLock otherBuild("KV-MT7200 (DSP) Rev.2.7 Vantrel APP Exclusive Mutex");
    EXPECT_TRUE(otherBuild.Held());
    // Names that sanitise alike are still different locks.
    platform::InstanceLock lookalike("ZB-7152K Rev.2.7 Vantrel APP Exclusive_Mutex");
    EXPECT_TRUE(lookalike.Held());
  }
  first.reset();
  platform::InstanceLock third(name);
  EXPECT_TRUE(third.Held());
}

TEST_F(SettingsInstanceLock, FileNameIsSafeAndInTheRuntimeFolder) {
  const std::string path = platform::InstanceLock::PathFor("../../etc/passwd (x)\n" + std::string(300, 'a'));
  EXPECT_EQ(path.rfind(dir_.Path() + "/", 0), 0u);
  const std::string name = path.substr(dir_.Path().size() + 1);
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_LT(name.size(), 200u);
  EXPECT_NE(name.find(std::to_string(::getuid())), std::string::npos);

  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(platform::InstanceLock::PathFor("x").rfind("/tmp/", 0), 0u);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::InstanceLock::PathFor("x").rfind("/tmp/", 0), 0u);
}

TEST_F(SettingsInstanceLock, AnythingUnexpectedAtThePathCountsAsAnotherInstance) {
  // A symbolic link planted in place of the lock file is not followed.
  const std::string linked = platform::InstanceLock::PathFor("linked");
  std::filesystem::create_symlink(dir_ / "target", linked);
  EXPECT_FALSE(platform::InstanceLock("linked").Held());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "target"));

  // A file of another user is not used.
  const std::string foreign = platform::InstanceLock::PathFor("foreign");
  WriteFile(foreign, "");
  if (::getuid() == 0) {
    ASSERT_EQ(::chown(foreign.c_str(), 12345, 12345), 0);
    EXPECT_FALSE(platform::InstanceLock("foreign").Held());
  }
}
