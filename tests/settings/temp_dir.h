// A private temporary folder per test, removed afterwards, and small file helpers.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zb-settings-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Points the instance lock at a folder of the test's own, so tests never meet
// each other's locks or a real program's.
class ScopedRuntimeDir {
 public:
  explicit ScopedRuntimeDir(const std::string& dir) {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
      had_ = true;
      old_ = old;
    }
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  ~ScopedRuntimeDir() {
    if (had_)
      ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }

 private:
  bool had_ = false;
  std::string old_;
};
