// Decoder for the frames the host sends to the flash writer running in the
// radio: FE FE <escaped body> FD. Written from the radio's side: it checks
// everything a strict writer would check and says why a frame is refused.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace radiosim {

inline constexpr uint8_t kFrameStart = 0xFE;  // sent twice
inline constexpr uint8_t kFrameEnd = 0xFD;
inline constexpr uint8_t kEscape = 0xFF;      // FF xx stands for 0xF0 | xx, xx in 0A..0F
inline constexpr uint8_t kAccepted = 0xFB;

inline constexpr uint8_t kCmdData = 0x08;
inline constexpr uint8_t kCmdSum = 0x01;
inline constexpr uint8_t kCmdReset = 0x0F;
inline constexpr int kBlockSize = 128;

// Layout of the data frame body.
//  Long:  08 L checksum 00 address(4, high first) data(128); sum of L bytes = 0 mod 256
//  Short: cmd address(3, high first) data(128); no length, no checksum
enum class FrameForm { Long, Short };

// Feed it the bytes that follow the two start bytes, one at a time.
class FrameDecoder {
 public:
  enum class Status { More, Done, Error };

  explicit FrameDecoder(FrameForm form = FrameForm::Long) : form_(form) {}
  void Reset();
  Status Feed(uint8_t byte);

  const std::vector<uint8_t>& Body() const { return body_; }  // unescaped
  const std::string& Error() const { return error_; }
  size_t WireBytes() const { return wire_; }  // bytes fed so far

 private:
  Status Fail(std::string why);
  size_t ExpectedLength() const;  // 0 while not yet known

  FrameForm form_;
  std::vector<uint8_t> body_;
  bool escape_ = false;
  bool finished_ = false;
  size_t wire_ = 0;
  std::string error_;
};

struct Frame {
  enum class Kind { Data, Sum, Reset } kind = Kind::Data;
  uint8_t command = 0;
  uint32_t address = 0;                    // data frames
  std::array<uint8_t, kBlockSize> data{};  // data frames
  uint16_t sum = 0;                        // sum and reset frames
};

// Checks a decoded body: command, length, checksum, zero byte, block size.
// On failure returns nothing and sets *why.
std::optional<Frame> Interpret(const std::vector<uint8_t>& body, FrameForm form, std::string* why);

// Convenience for complete frames: wire bytes FE FE ... FD, nothing after.
std::optional<Frame> DecodeWire(const uint8_t* wire, size_t n, FrameForm form, std::string* why);

}  // namespace radiosim
