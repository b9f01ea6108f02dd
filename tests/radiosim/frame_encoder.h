// The test host's own frame encoder: plays the update tool's side of the
// writer link without sharing a line with the simulator's decoder.
#pragma once
#include <cstdint>
#include <vector>

namespace host {

inline void PutEscaped(std::vector<uint8_t>& out, uint8_t b) {
  if (b >= 0xFA) {
    out.push_back(0xFF);
    out.push_back(static_cast<uint8_t>(b & 0x0F));
  } else {
    out.push_back(b);
  }
}

// FE FE 08 L cs 00 addr32 data FD, body escaped.
inline std::vector<uint8_t> DataFrame(uint32_t address, const uint8_t* data, int n = 128) {
  std::vector<uint8_t> body = {0x08, static_cast<uint8_t>(n + 8), 0, 0,
                               uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
  body.insert(body.end(), data, data + n);
  unsigned s = 0;
  for (uint8_t b : body) s += b;
  body[2] = static_cast<uint8_t>(-s);
  std::vector<uint8_t> f = {0xFE, 0xFE};
  for (uint8_t b : body) PutEscaped(f, b);
  f.push_back(0xFD);
  return f;
}

inline std::vector<uint8_t> SumFrame(uint16_t sum, uint8_t command = 0x01) {
  std::vector<uint8_t> f = {0xFE, 0xFE, command};
  PutEscaped(f, uint8_t(sum >> 8));
  PutEscaped(f, uint8_t(sum));
  f.push_back(0xFD);
  return f;
}

}  // namespace host
