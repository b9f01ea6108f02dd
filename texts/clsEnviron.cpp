#include "texts/clsEnviron.h"

#include "platform/profile_file.h"
#include "platform/program_path.h"
#include "profile.h"

namespace {
constexpr const char* kSection = "Global";
}

clsEnviron::clsEnviron(const char* lockName)
    : m_MutexName(lockName ? lockName : ""),
      m_Lock(m_MutexName),
      m_IniPath(platform::ProgramIniPath()),
      m_TcpPort(profile::kTcpPortDefault) {
  // A lock that could not be taken for any reason counts as another instance.
  m_FirstInstance = m_Lock.Held();
  if (m_FirstInstance) LoadSettings();
}

clsEnviron::~clsEnviron() {
  Save();
  m_Lock.Release();
}

bool clsEnviron::IsFirstInstance() const { return m_FirstInstance; }

int clsEnviron::GetPortSel() const { return m_PortSel; }

int clsEnviron::SetPortSel(int value) {
  m_PortSel = value;
  return GetPortSel();
}

int clsEnviron::GetComPort() {
  if (m_ComPort < m_ComPortMin || m_ComPort > m_ComPortMax) m_ComPort = m_ComPortMin;
  return m_ComPort;
}

int clsEnviron::SetComPort(int value) {
  if (value >= m_ComPortMin && value <= m_ComPortMax) m_ComPort = value;
  return GetComPort();
}

int clsEnviron::GetComPortMin() const { return m_ComPortMin; }
int clsEnviron::GetComPortMax() const { return m_ComPortMax; }

std::string clsEnviron::GetTcpIp() const { return m_TcpIp; }

std::string clsEnviron::SetTcpIp(const std::string& text) {
  m_TcpIp = text;
  return m_TcpIp;
}

uint32_t clsEnviron::GetTcpPort() {
  if (m_TcpPort < m_TcpPortMin || m_TcpPort > m_TcpPortMax) m_TcpPort = m_TcpPortMin;
  return m_TcpPort;
}

uint32_t clsEnviron::SetTcpPort(uint32_t value) {
  if (value >= m_TcpPortMin && value <= m_TcpPortMax) m_TcpPort = value;
  return GetTcpPort();
}

uint32_t clsEnviron::GetTcpPortMin() const { return m_TcpPortMin; }
uint32_t clsEnviron::GetTcpPortMax() const { return m_TcpPortMax; }

void clsEnviron::LoadSettings() {
  if (m_IniPath.empty()) return;
  const platform::ProfileFile ini = platform::ProfileFile::Load(m_IniPath);
  // Each key goes through its setter, so a value out of range keeps the field.
  if (profile::kHasTcp) {
    if (auto v = ini.GetInt(kSection, "PortSel")) SetPortSel(*v);
  }
  if (auto v = ini.GetInt(kSection, "ComPort")) SetComPort(*v);
  if (profile::kHasTcp) {
    if (auto v = ini.GetString(kSection, "Tcp_IP")) SetTcpIp(*v);
    if (auto v = ini.GetInt(kSection, "Tcp_Port")) SetTcpPort(static_cast<uint32_t>(*v));
  }
}

void clsEnviron::Save() { SaveSettings(); }

bool clsEnviron::SaveSettings() {
  if (!m_FirstInstance || m_IniPath.empty()) return false;
  platform::ProfileFile::LoadStatus status{};
  platform::ProfileFile ini = platform::ProfileFile::Load(m_IniPath, &status);
  if (status == platform::ProfileFile::LoadStatus::Unreadable) return false;
  if (profile::kHasTcp) ini.SetInt(kSection, "PortSel", GetPortSel());
  ini.SetInt(kSection, "ComPort", GetComPort());
  if (profile::kHasTcp) {
    ini.SetString(kSection, "Tcp_IP", m_TcpIp);
    ini.SetInt(kSection, "Tcp_Port", GetTcpPort());
  }
  return ini.Save(m_IniPath);
}
