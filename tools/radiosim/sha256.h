// Small SHA-256 (FIPS 180-4) for fingerprinting the uploaded writer program.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace radiosim {

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t n);
  std::array<uint8_t, 32> Final();
  std::string HexFinal();  // lower-case hex of Final()

 private:
  void Block(const uint8_t* p);
  std::array<uint32_t, 8> h_;
  std::array<uint8_t, 64> buf_{};
  size_t used_ = 0;
  uint64_t total_ = 0;
};

}  // namespace radiosim
