// Profile files ("INI" files): [section] headers, key=value lines, ";" comments.
//
// Behaviour of the classic profile functions:
// - section and key names are compared without case (ASCII), the first match wins;
// - names and values are trimmed of blanks; a value wholly enclosed in a pair of
//   matching quotes (' or ") loses the quotes;
// - integers are decimal with an optional sign, or hexadecimal after a "0x", "0X"
//   or "$" prefix; anything else (trailing text, overflow) does not convert;
// - reads accept LF and CR LF line ends (and a leading UTF-8 byte order mark);
// - writing a key changes only that key's line; every other section, key, comment
//   and blank line stays as it was, and so does the file's line-end style (a new
//   file gets LF). A missing file, section or key is created.
//
// Files are replaced atomically: the new text goes to a temporary file in the same
// folder, is flushed to disk and renamed over the old file, so an interrupted write
// leaves either the old or the new file, never half a file. A file that exists but
// cannot be read is never overwritten (its content would be lost).
//
// Failures are return values; nothing here throws on bad input.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Converts a profile integer: "[+|-]digits", "[+|-]0x<hex>", "[+|-]0X<hex>" or
// "[+|-]$<hex>", surrounding blanks allowed. Decimal values must fit a signed
// 32-bit integer; hexadecimal values may use all 32 bits and wrap ("0xFFFFFFFF"
// is -1). Returns nothing when the text does not convert.
std::optional<std::int32_t> ParseProfileInt(std::string_view text);

class ProfileFile {
 public:
  enum class LoadStatus { Loaded, Missing, Unreadable };

  ProfileFile() = default;

  // Builds the file's lines from text (LF or CR LF). The line-end style used
  // when writing is the one of the first line end found, else LF.
  static ProfileFile Parse(std::string_view text);

  // Reads a file. A missing file gives an empty profile and Missing; a file that
  // cannot be read (permissions, a folder, an I/O error) gives Unreadable and an
  // empty profile.
  static ProfileFile Load(const std::string& path, LoadStatus* status = nullptr);

  // The trimmed value of [section] key, or nothing when either is missing.
  std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
  // The value converted by ParseProfileInt, or nothing when missing or not a number.
  std::optional<std::int32_t> GetInt(std::string_view section, std::string_view key) const;

  // Sets [section] key to value, adding the key (after the section's last
  // non-blank line) or the section (at the end) when missing.
  void SetString(std::string_view section, std::string_view key, std::string_view value);
  void SetInt(std::string_view section, std::string_view key, std::int64_t value);

  // The whole file as it would be written.
  std::string Text() const;

  // Writes Text() to path atomically (temporary file, fsync, rename, fsync of
  // the folder). A symbolic link at path is followed, so the link stays. The
  // new file keeps the old file's permission bits. Returns false on failure, in
  // which case the old file is untouched and no temporary file remains.
  bool Save(const std::string& path) const;

 private:
  // Index of the header line of a section, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Index of the key line within the section starting at header, or npos.
  std::size_t FindKey(std::size_t header, std::string_view key) const;

  std::vector<std::string> lines_;  // without line ends
  std::string eol_ = "\n";
  bool bom_ = false;
};

// One-shot helpers over ProfileFile, named after the classic calls.
std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key);
std::optional<std::int32_t> ReadProfileInt(const std::string& path, std::string_view section,
                                           std::string_view key);
// Loads, sets one key and saves. Fails (false) when the file exists but cannot be
// read, or cannot be written.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace platform
