#include "platform/profile_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// What one line of a profile file is.
struct LineInfo {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed and unquoted
};

LineInfo Classify(std::string_view line) {
  LineInfo info;
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return info;
  if (t.front() == '[') {
    const auto close = t.find(']');
    info.kind = LineInfo::kSection;
    info.name = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return info;
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) return info;
  info.name = Trim(t.substr(0, eq));
  if (info.name.empty()) return info;
  info.kind = LineInfo::kKey;
  std::string_view v = Trim(t.substr(eq + 1));
  if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  info.value = v;
  return info;
}

// The text that reads back as exactly value: line breaks become blanks (a value
// is one line), and a value whose edges would be trimmed or unquoted by the
// reader is wrapped in quotes.
std::string EncodeValue(std::string_view value) {
  std::string v(value);
  for (char& c : v)
    if (c == '\r' || c == '\n') c = ' ';
  const bool edgeBlank = !v.empty() && (kBlanks.find(v.front()) != std::string_view::npos ||
                                        kBlanks.find(v.back()) != std::string_view::npos);
  const bool quoted = v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front();
  if (edgeBlank || quoted) return '"' + v + '"';
  return v;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::optional<std::int32_t> ParseProfileInt(std::string_view text) {
  std::string_view t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return std::nullopt;
  if (t.front() == '$' || (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))) {
    t.remove_prefix(t.front() == '$' ? 1 : 2);
    if (t.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : t) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<unsigned>(d);
      if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    std::uint32_t u = static_cast<std::uint32_t>(v);
    if (negative) u = 0u - u;
    return static_cast<std::int32_t>(u);
  }
  std::int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > static_cast<std::int64_t>(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile file;
  if (text.substr(0, kBom.size()) == kBom) {
    file.bom_ = true;
    text.remove_prefix(kBom.size());
  }
  const auto firstLf = text.find('\n');
  if (firstLf != std::string_view::npos && firstLf > 0 && text[firstLf - 1] == '\r') file.eol_ = "\r\n";
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    start = end + 1;
  }
  return file;
}

ProfileFile ProfileFile::Load(const std::string& path, LoadStatus* status) {
  auto report = [&](LoadStatus s) {
    if (status) *status = s;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    report(errno == ENOENT ? LoadStatus::Missing : LoadStatus::Unreadable);
    return {};
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    report(LoadStatus::Unreadable);
    return {};
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      report(LoadStatus::Unreadable);
      return {};
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  report(LoadStatus::Loaded);
  return Parse(text);
}

std::size_t ProfileFile::FindSection(std::string_view section) const {
  const std::string_view wanted = Trim(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineInfo::kSection && SameName(info.name, wanted)) return i;
  }
  return std::string::npos;
}

std::size_t ProfileFile::FindKey(std::size_t header, std::string_view key) const {
  const std::string_view wanted = Trim(key);
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineInfo::kSection) break;
    if (info.kind == LineInfo::kKey && SameName(info.name, wanted)) return i;
  }
  return std::string::npos;
}

std::optional<std::string> ProfileFile::GetString(std::string_view section, std::string_view key) const {
  const auto header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  const auto line = FindKey(header, key);
  if (line == std::string::npos) return std::nullopt;
  return std::string(Classify(lines_[line]).value);
}

std::optional<std::int32_t> ProfileFile::GetInt(std::string_view section, std::string_view key) const {
  const auto text = GetString(section, key);
  if (!text) return std::nullopt;
  return ParseProfileInt(*text);
}

void ProfileFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string encoded = EncodeValue(value);
  const auto header = FindSection(section);
  if (header == std::string::npos) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(Trim(section)) + "]");
    lines_.push_back(std::string(Trim(key)) + "=" + encoded);
    return;
  }
  const auto line = FindKey(header, key);
  if (line != std::string::npos) {
    // Keep the file's own spelling of the key.
    lines_[line] = std::string(Classify(lines_[line]).name) + "=" + encoded;
    return;
  }
  std::size_t insertAt = header + 1;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    if (Classify(lines_[i]).kind == LineInfo::kSection) break;
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::string(Trim(key)) + "=" + encoded);
}

void ProfileFile::SetInt(std::string_view section, std::string_view key, std::int64_t value) {
  SetString(section, key, std::to_string(value));
}

std::string ProfileFile::Text() const {
  std::string text;
  if (bom_) text += kBom;
  for (const auto& line : lines_) {
    text += line;
    text += eol_;
  }
  return text;
}

bool ProfileFile::Save(const std::string& path) const {
  if (path.empty()) return false;
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    target = resolved;
    std::free(resolved);
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return false;

  // A fresh name in the same folder, so the rename never crosses file systems.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = true;
  if (exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, Text());
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key) {
  return ProfileFile::Load(path).GetString(section, key);
}

std::optional<std::int32_t> ReadProfileInt(const std::string& path, std::string_view section,
                                           std::string_view key) {
  return ProfileFile::Load(path).GetInt(section, key);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  ProfileFile::LoadStatus status{};
  ProfileFile file = ProfileFile::Load(path, &status);
  if (status == ProfileFile::LoadStatus::Unreadable) return false;
  file.SetString(section, key, value);
  return file.Save(path);
}

}  // namespace platform
