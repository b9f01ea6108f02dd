// clsEnviron: the program's communication settings (link selection, COM port,
// TCP/IP address and port), kept between runs in the program's INI file
// (platform::ProgramIniPath(), section Global), and the single-instance lock.
//
// One object lives for the whole program (texts/globals.h). Creation takes the
// build's lock; the first instance loads the INI file, and saves it when the
// object is destroyed (or on Save()). A second instance never reads or writes
// the file. The class is compiled once per program: the front-panel build reads
// and writes ComPort only; its TCP members exist but never touch the file.
//
// INI keys, read and written in this order:
//   PortSel   integer, taken as it is (0 = COM port, 1 = TCP/IP)
//   ComPort   integer, accepted within 1..256
//   Tcp_IP    text, taken as it is
//   Tcp_Port  integer, accepted within 1024..65535 (compared unsigned, so -5 is ignored)
// A missing file or key, or a value that is not a number, leaves the initial value.
#pragma once
#include <cstdint>
#include <string>

#include "platform/instance_lock.h"

class clsEnviron {
 public:
  explicit clsEnviron(const char* lockName);
  ~clsEnviron();
  clsEnviron(const clsEnviron&) = delete;
  clsEnviron& operator=(const clsEnviron&) = delete;

  // True when this process took the lock at creation.
  bool IsFirstInstance() const;

  int GetPortSel() const;
  int SetPortSel(int value);  // unvalidated; returns GetPortSel()

  int GetComPort();            // an out-of-range value is first replaced by the minimum
  int SetComPort(int value);   // ignored outside min..max; returns GetComPort()
  int GetComPortMin() const;   // 1
  int GetComPortMax() const;   // 256

  std::string GetTcpIp() const;
  std::string SetTcpIp(const std::string& text);  // unvalidated; returns the text

  uint32_t GetTcpPort();                // an out-of-range value is first replaced by the minimum
  uint32_t SetTcpPort(uint32_t value);  // ignored outside min..max; returns GetTcpPort()
  uint32_t GetTcpPortMin() const;       // 1024
  uint32_t GetTcpPortMax() const;       // 65535

  // Writes the settings to the INI file now (first instance only). The
  // destructor does the same.
  void Save();
  // Save() with its outcome: false for a second instance, when the INI file
  // exists but cannot be read (it is then left alone rather than replaced by
  // our four keys), or when it cannot be written.
  bool SaveSettings();

  // The INI file this object loaded from and saves to (fixed at creation).
  const std::string& IniPath() const { return m_IniPath; }

 private:
  void LoadSettings();

  std::string m_MutexName;
  bool m_FirstInstance = false;
  platform::InstanceLock m_Lock;
  std::string m_IniPath;

  int32_t m_ComPortMin = 1;
  int32_t m_ComPortMax = 256;
  int32_t m_ComPort = 1;
  std::string m_TcpIp = "192.168.0.11";
  uint32_t m_TcpPortMin = 1024;
  uint32_t m_TcpPortMax = 0xFFFF;
  uint32_t m_TcpPort;
  int32_t m_PortSel = 0;
};
