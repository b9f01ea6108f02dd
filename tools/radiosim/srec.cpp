#include "tools/radiosim/srec.h"

namespace radiosim {

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool LoadSRecords(const std::string& text, std::vector<uint8_t>& image, std::string* error) {
  size_t lineNo = 0, pos = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty()) continue;
    if (line.size() < 4 || (line[0] != 'S' && line[0] != 's')) return fail("not an S-record");
    const char type = line[1];
    std::vector<uint8_t> bytes;
    if ((line.size() - 2) % 2 != 0) return fail("odd number of hex digits");
    for (size_t i = 2; i < line.size(); i += 2) {
      const int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
      if (hi < 0 || lo < 0) return fail("not a hex digit");
      bytes.push_back(uint8_t(hi << 4 | lo));
    }
    if (bytes[0] + 1u != bytes.size()) return fail("byte count does not match the record");
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
    if (uint8_t(~sum) != bytes.back()) return fail("checksum wrong");
    int addrLen = 0;
    bool data = false;
    switch (type) {
      case '0': addrLen = 2; break;
      case '1': addrLen = 2; data = true; break;
      case '2': addrLen = 3; data = true; break;
      case '3': addrLen = 4; data = true; break;
      case '5': addrLen = 2; break;
      case '6': addrLen = 3; break;
      case '7': addrLen = 4; break;
      case '8': addrLen = 3; break;
      case '9': addrLen = 2; break;
      default: return fail(std::string("unknown record type S") + type);
    }
    if (bytes.size() < size_t(addrLen) + 2) return fail("record too short");
    if (!data) continue;
    uint64_t address = 0;
    for (int i = 0; i < addrLen; ++i) address = address << 8 | bytes[1 + i];
    const size_t n = bytes.size() - 2 - addrLen;
    if (address + n > image.size()) return fail("data outside the flash (address " + std::to_string(address) + ")");
    for (size_t i = 0; i < n; ++i) image[address + i] = bytes[1 + addrLen + i];
  }
  return true;
}

}  // namespace radiosim
