// The simulator's own decoder and helpers against hand-built input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/radiosim/frame_encoder.h"
#include "tools/radiosim/frame.h"
#include "tools/radiosim/radio.h"
#include "tools/radiosim/sha256.h"
#include "tools/radiosim/srec.h"

using namespace radiosim;

namespace {

std::optional<Frame> Decode(const std::vector<uint8_t>& wire, std::string* why = nullptr) {
  std::string local;
  return DecodeWire(wire.data(), wire.size(), FrameForm::Long, why ? why : &local);
}

TEST(RadiosimDecoder, BlankBlockAt0x7000Is267BytesAndDecodes) {
  const std::vector<uint8_t> block(128, 0xFF);
  const auto wire = host::DataFrame(0x7000, block.data());
  ASSERT_EQ(wire.size(), 267u);  // 2 + 8 + 256 + 1: no header byte needs escaping
  std::string why;
  const auto f = Decode(wire, &why);
  ASSERT_TRUE(f) << why;
  EXPECT_EQ(f->kind, Frame::Kind::Data);
  EXPECT_EQ(f->address, 0x7000u);
  EXPECT_EQ(std::vector<uint8_t>(f->data.begin(), f->data.end()), block);
}

TEST(RadiosimDecoder, EveryByteValueSurvivesEscapingInDataAndHeader) {
  // Address FAFBFC80 and a checksum land on reserved values too.
  std::vector<uint8_t> data(128);
  for (int i = 0; i < 128; ++i) data[i] = static_cast<uint8_t>(0x80 + i);  // 0x80..0xFF
  for (uint32_t address : {0x00FD0080u, 0xFAFBFC80u, 0x00000000u}) {
    std::string why;
    const auto f = Decode(host::DataFrame(address, data.data()), &why);
    ASSERT_TRUE(f) << why;
    EXPECT_EQ(f->address, address);
    EXPECT_EQ(std::vector<uint8_t>(f->data.begin(), f->data.end()), data);
  }
}

TEST(RadiosimDecoder, SumAndResetFrames) {
  const std::vector<uint8_t> wire = {0xFE, 0xFE, 0x01, 0xFF, 0x0E, 0xFF, 0x0D, 0xFD};
  EXPECT_EQ(host::SumFrame(0xFEFD), wire);
  auto f = Decode(wire);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, Frame::Kind::Sum);
  EXPECT_EQ(f->sum, 0xFEFD);
  f = Decode(host::SumFrame(0x1234, 0x0F));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, Frame::Kind::Reset);
  EXPECT_EQ(f->sum, 0x1234);
}

TEST(RadiosimDecoder, RefusesMalformedFrames) {
  const std::vector<uint8_t> data(128, 0x11);
  const auto good = host::DataFrame(0x1000, data.data());  // no escapes: body at [2, 138), FD at 138
  auto with = [&](auto edit) {
    auto w = good;
    edit(w);
    return w;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> wire;
    const char* why;
  } cases[] = {
      {"escape of a byte outside 0A..0F", with([](auto& w) { w[50] = 0xFF; w[51] = 0x09; }), "bad escape"},
      {"escape value above 0F", with([](auto& w) { w[50] = 0xFF; w[51] = 0x10; }), "bad escape"},
      {"raw FE inside", with([](auto& w) { w[50] = 0xFE; }), "unescaped reserved byte 0xFE"},
      {"raw FB inside", with([](auto& w) { w[50] = 0xFB; }), "unescaped reserved byte 0xFB"},
      {"checksum byte changed", with([](auto& w) { w[4] = 0x01; }), "checksum"},
      {"data byte changed", with([](auto& w) { w[60] ^= 0x01; }), "checksum"},
      {"body too short", with([](auto& w) { w.erase(w.begin() + 100, w.begin() + 106); }), "frame ends after 130"},
      {"FD missing", with([](auto& w) { w.back() = 0x11; w.push_back(0xFD); }), "end byte FD missing"},
      {"FD missing at the end of input", with([](auto& w) { w.pop_back(); }), "end byte FD missing"},
      {"length byte 120", with([](auto& w) { w[3] = 120; }), "FD missing after 120"},
      {"unknown command", {0xFE, 0xFE, 0x05, 0x00, 0x00, 0xFD}, "unknown command"},
      {"empty frame", {0xFE, 0xFE, 0xFD}, "empty frame"},
      {"short sum frame", {0xFE, 0xFE, 0x01, 0x12, 0xFD}, "frame ends after 2"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(Decode(c.wire, &why)) << c.name;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
  }
}

TEST(RadiosimDecoder, NonZeroFourthByteIsRefused) {
  // Move one unit from the checksum (wire[4]) to the zero byte (wire[5]):
  // the body still sums to 0, only the zero byte is wrong.
  const std::vector<uint8_t> data(128, 0x22);
  auto w = host::DataFrame(0x2000, data.data());
  ASSERT_LT(w[4], 0xFA);
  w[4] = static_cast<uint8_t>(w[4] - 1);
  w[5] = 0x01;
  std::string why;
  EXPECT_FALSE(Decode(w, &why));
  EXPECT_NE(why.find("byte 3"), std::string::npos) << why;
}

TEST(RadiosimHelpers, Sha256KnownVectors) {
  auto hex = [](const std::string& s) {
    Sha256 h;
    h.Update(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    return h.HexFinal();
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(RadiosimHelpers, SRecordsPlaceDataAndRejectBadRecords) {
  std::vector<uint8_t> image(0x80000, 0xFF);
  std::string err;
  // S1 at 0x1000: 01 02 03; S2 at 0x07FFFE: AA BB; S3 at 0x2000: 7F.
  const std::string text =
      "S00600004844521B\r\nS1061000010203E3\r\nS20607FFFEAABB90\nS306000020007F5A\nS9030000FC\n";
  ASSERT_TRUE(LoadSRecords(text, image, &err)) << err;
  EXPECT_EQ(image[0x1000], 0x01);
  EXPECT_EQ(image[0x1002], 0x03);
  EXPECT_EQ(image[0x1003], 0xFF);
  EXPECT_EQ(image[0x7FFFF], 0xBB);
  EXPECT_EQ(image[0x2000], 0x7F);

  EXPECT_FALSE(LoadSRecords("S00600004844521B\nS1061000010203E4\n", image, &err));
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_FALSE(LoadSRecords("S2060800000102EE\n", image, &err));  // beyond the flash
  EXPECT_NE(err.find("outside"), std::string::npos) << err;
}

TEST(RadiosimHelpers, FaultOptions) {
  std::string why;
  auto f = ParseFault("refuse:3", &why);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, FaultKind::Refuse);
  EXPECT_EQ(f->n, 3);
  EXPECT_EQ(FaultText(*f), "refuse:3");
  for (const char* bad : {"refuse:0", "refuse:x", "no-boot:2", "size-echo:3", "melt"}) EXPECT_FALSE(ParseFault(bad, &why)) << bad;
}

}  // namespace
