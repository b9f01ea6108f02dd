#include "tools/radiosim/frame.h"

#include <algorithm>
#include <cstdio>

namespace radiosim {

namespace {
std::string Hex2(unsigned v) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", v & 0xFFu);
  return b;
}
}  // namespace

void FrameDecoder::Reset() {
  body_.clear();
  escape_ = false;
  finished_ = false;
  wire_ = 0;
  error_.clear();
}

FrameDecoder::Status FrameDecoder::Fail(std::string why) {
  error_ = std::move(why);
  finished_ = true;
  return Status::Error;
}

size_t FrameDecoder::ExpectedLength() const {
  if (body_.empty()) return 0;
  const uint8_t cmd = body_[0];
  if (cmd == kCmdSum || cmd == kCmdReset) return 3;
  if (form_ == FrameForm::Short) return 1 + 3 + kBlockSize;
  if (body_.size() < 2) return 0;
  return body_[1];
}

FrameDecoder::Status FrameDecoder::Feed(uint8_t byte) {
  if (finished_) return Fail("byte fed after the end of the frame");
  ++wire_;
  if (escape_) {
    escape_ = false;
    if (byte < 0x0A || byte > 0x0F)
      return Fail("bad escape FF " + Hex2(byte).substr(2) + " (only FF 0A..FF 0F are defined)");
    byte = static_cast<uint8_t>(0xF0 | byte);
  } else if (byte == kEscape) {
    if (body_.empty()) return Fail("escaped command byte");
    escape_ = true;
    return Status::More;
  } else if (byte == kFrameEnd) {
    const size_t want = ExpectedLength();
    if (body_.empty()) return Fail("empty frame FE FE FD");
    if (want == 0 || body_.size() < want)
      return Fail("frame ends after " + std::to_string(body_.size()) + " body bytes, expected " +
                  std::to_string(want));
    finished_ = true;
    return Status::Done;
  } else if (byte >= 0xFA) {
    return Fail("unescaped reserved byte " + Hex2(byte) + " inside a frame");
  }

  // An unescaped or decoded body byte.
  const size_t want = ExpectedLength();
  if (want != 0 && body_.size() >= want)
    return Fail("end byte FD missing after " + std::to_string(want) + " body bytes");
  body_.push_back(byte);
  if (body_.size() == 1) {
    const uint8_t cmd = body_[0];
    const bool known = cmd == kCmdSum || cmd == kCmdReset ||
                       (form_ == FrameForm::Long ? cmd == kCmdData : (cmd == kCmdData || cmd == 0x00));
    if (!known) return Fail("unknown command byte " + Hex2(cmd));
  }
  if (form_ == FrameForm::Long && body_.size() == 2 && body_[0] == kCmdData) {
    if (body_[1] < 9 || body_[1] > 250)
      return Fail("length byte " + std::to_string(body_[1]) + " out of range");
  }
  return Status::More;
}

std::optional<Frame> Interpret(const std::vector<uint8_t>& body, FrameForm form, std::string* why) {
  auto fail = [&](std::string text) -> std::optional<Frame> {
    if (why) *why = std::move(text);
    return std::nullopt;
  };
  if (body.empty()) return fail("empty frame");
  Frame f;
  f.command = body[0];
  if (f.command == kCmdSum || f.command == kCmdReset) {
    if (body.size() != 3) return fail("sum frame of " + std::to_string(body.size()) + " body bytes");
    f.kind = f.command == kCmdSum ? Frame::Kind::Sum : Frame::Kind::Reset;
    f.sum = static_cast<uint16_t>(body[1] << 8 | body[2]);
    return f;
  }
  f.kind = Frame::Kind::Data;
  if (form == FrameForm::Short) {
    if (body.size() != 1 + 3 + kBlockSize) return fail("short data frame of wrong length");
    f.address = uint32_t(body[1]) << 16 | uint32_t(body[2]) << 8 | body[3];
    std::copy(body.begin() + 4, body.end(), f.data.begin());
    return f;
  }
  if (f.command != kCmdData) return fail("unknown command byte " + Hex2(f.command));
  if (body.size() < 2 || body[1] != body.size())
    return fail("length byte does not match the body (" + std::to_string(body.size()) + " bytes)");
  if (body.size() != 8 + kBlockSize)
    return fail("data frame of " + std::to_string(body.size()) + " body bytes, expected " +
                std::to_string(8 + kBlockSize));
  unsigned sum = 0;
  for (uint8_t b : body) sum += b;
  if (sum % 256 != 0) return fail("checksum wrong: body sums to " + Hex2(sum) + ", not 0x00");
  if (body[3] != 0) return fail("byte 3 of the body is " + Hex2(body[3]) + ", not 0x00");
  f.address = uint32_t(body[4]) << 24 | uint32_t(body[5]) << 16 | uint32_t(body[6]) << 8 | body[7];
  std::copy(body.begin() + 8, body.end(), f.data.begin());
  return f;
}

std::optional<Frame> DecodeWire(const uint8_t* wire, size_t n, FrameForm form, std::string* why) {
  auto fail = [&](std::string text) -> std::optional<Frame> {
    if (why) *why = std::move(text);
    return std::nullopt;
  };
  if (n < 2 || wire[0] != kFrameStart || wire[1] != kFrameStart) return fail("frame does not start FE FE");
  FrameDecoder dec(form);
  for (size_t i = 2; i < n; ++i) {
    switch (dec.Feed(wire[i])) {
      case FrameDecoder::Status::More: break;
      case FrameDecoder::Status::Error: return fail(dec.Error());
      case FrameDecoder::Status::Done:
        if (i + 1 != n) return fail("bytes after the end byte FD");
        return Interpret(dec.Body(), form, why);
    }
  }
  return fail("end byte FD missing");
}

}  // namespace radiosim
