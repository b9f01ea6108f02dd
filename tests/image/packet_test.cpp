// Writer frames: escaping, data frames with length and checksum, short data
// frames, sum and reset frames, envelopes and the refusal frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sequence/clsPacket.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FrameOf(const clsPacket& p) {
    return Bytes(p.Frame(), p.Frame() + p.FrameLength());
}

// Checks the delimiters and that nothing reserved stands raw inside, then
// returns the unescaped bytes between FE FE and FD.
Bytes Unescape(const Bytes& frame) {
    EXPECT_GE(frame.size(), 3u);
    EXPECT_EQ(frame[0], 0xFE);
    EXPECT_EQ(frame[1], 0xFE);
    EXPECT_EQ(frame.back(), 0xFD);
    Bytes body;
    for (size_t i = 2; i + 1 < frame.size(); ++i) {
        const uint8_t b = frame[i];
        EXPECT_TRUE(b < 0xFA || b == 0xFF) << "raw reserved byte at " << i;
        if (b == 0xFF) {
            EXPECT_LT(i + 2, frame.size()) << "escape at the end";
            const uint8_t low = frame[++i];
            EXPECT_GE(low, 0x0A) << "escape of a byte that needs none, at " << i;
            EXPECT_LE(low, 0x0F);
            body.push_back(static_cast<uint8_t>(0xF0 | low));
        } else {
            body.push_back(b);
        }
    }
    return body;
}

TEST(Packet, EscapeReplacesExactlyTheReservedValues) {
    for (int v = 0; v < 256; ++v) {
        const uint8_t b = static_cast<uint8_t>(v);
        uint8_t out[2] = {};
        const int n = clsPacket::Escape(&b, 1, out);
        if (v >= 0xFA) {
            ASSERT_EQ(n, 2) << v;
            EXPECT_EQ(out[0], 0xFF);
            EXPECT_EQ(out[1], v & 0x0F);
        } else {
            ASSERT_EQ(n, 1) << v;
            EXPECT_EQ(out[0], b);
        }
    }
    EXPECT_EQ(clsPacket::Escape(nullptr, 0, nullptr), 0);
}

TEST(Packet, BlankBlockAt0x7000) {
    clsPacket p;
    const Bytes block(128, 0xFF);
    p.BuildData(block.data(), 0x7000, 128);
    ASSERT_EQ(p.FrameLength(), 267);
    const Bytes f = FrameOf(p);
    // 08 + 0x88 + 0x70 + 128 * 0xFF = 0x8080: checksum 0x80.
    const Bytes head = {0xFE, 0xFE, 0x08, 0x88, 0x80, 0x00, 0x00, 0x00, 0x70, 0x00};
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 10), head);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(f[10 + 2 * i], 0xFF);
        ASSERT_EQ(f[11 + 2 * i], 0x0F);
    }
    EXPECT_EQ(f.back(), 0xFD);
    EXPECT_EQ(p.Address(), 0x7000);
    EXPECT_EQ(p.PayloadLength(), 128);
}

TEST(Packet, DataFramesCarryLengthAddressDataAndAZeroSum) {
    struct Case {
        const char* what;
        int32_t address;
        Bytes data;
    };
    Bytes ramp(128);
    for (int i = 0; i < 128; ++i) ramp[i] = static_cast<uint8_t>(0x80 + i);  // up to 0xFF
    const Case cases[] = {
        {"checksum 0xFD", 0, {0xF2}},          // 08 09 cs 00 0 0 0 0 F2: cs = 0xFD
        {"checksum 0xFE", 0, {0xF1}},
        {"address bytes to escape", 0x00FEFDFA, {0x01, 0x02}},
        {"full block of every high value", 0x7FF80, ramp},
        {"no data", 0x1234, {}},
    };
    for (const auto& c : cases) {
        clsPacket p;
        const int n = static_cast<int>(c.data.size());
        p.BuildData(c.data.data(), c.address, n);
        const Bytes body = Unescape(FrameOf(p));
        ASSERT_EQ(body.size(), static_cast<size_t>(n + 8)) << c.what;
        EXPECT_EQ(body[0], 0x08) << c.what;
        EXPECT_EQ(body[1], n + 8) << c.what;
        EXPECT_EQ(body[3], 0x00) << c.what;
        const uint32_t a = (uint32_t{body[4]} << 24) | (body[5] << 16) | (body[6] << 8) | body[7];
        EXPECT_EQ(a, static_cast<uint32_t>(c.address)) << c.what;
        EXPECT_EQ(Bytes(body.begin() + 8, body.end()), c.data) << c.what;
        unsigned sum = 0;
        for (uint8_t b : body) sum += b;
        EXPECT_EQ(sum % 256, 0u) << c.what;
    }
    clsPacket p;
    const uint8_t f2 = 0xF2;
    p.BuildData(&f2, 0, 1);
    EXPECT_EQ(p.Frame()[4], 0xFF);  // the checksum 0xFD goes out escaped
    EXPECT_EQ(p.Frame()[5], 0x0D);
}

TEST(Packet, OversizedDataGivesTheEmptyFrameAndLeavesThePayload) {
    clsPacket p;
    const Bytes block(129, 0x12);
    p.BuildData(block.data(), 0x7000, 128);
    const Bytes good = FrameOf(p);
    p.BuildData(block.data(), 0x9000, 129);
    EXPECT_EQ(FrameOf(p), (Bytes{0xFE, 0xFE, 0xFD}));
    EXPECT_EQ(p.Address(), 0x7000);
    EXPECT_EQ(p.PayloadLength(), 128);
    p.BuildData(block.data(), 0x7000, 128);  // the builder recovers
    EXPECT_EQ(FrameOf(p), good);
}

TEST(Packet, ShortDataFrameHasARawCommandAndAThreeByteAddress) {
    clsPacket p;
    const Bytes data = {0xFA, 0x01, 0xFD};
    p.BuildShortData(0x08, data.data(), 0x7701FB80, 3);
    EXPECT_EQ(FrameOf(p), (Bytes{0xFE, 0xFE, 0x08, 0x01, 0xFF, 0x0B, 0x80, 0xFF, 0x0A, 0x01, 0xFF, 0x0D, 0xFD}));

    const Bytes block(128, 0xFF);
    p.BuildShortData(0x00, block.data(), 0x10000, 128);
    EXPECT_EQ(p.FrameLength(), 3 + 3 + 256 + 1);
    EXPECT_EQ(p.Frame()[2], 0x00);
    EXPECT_EQ(p.Address(), 0x10000);
}

TEST(Packet, SumAndResetFrames) {
    clsPacket p;
    p.BuildSum(0xFEFD);
    EXPECT_EQ(FrameOf(p), (Bytes{0xFE, 0xFE, 0x01, 0xFF, 0x0E, 0xFF, 0x0D, 0xFD}));
    p.BuildSum(0x1234);
    EXPECT_EQ(FrameOf(p), (Bytes{0xFE, 0xFE, 0x01, 0x12, 0x34, 0xFD}));
    p.Frame()[2] = 0x0F;  // the reset request
    EXPECT_EQ(FrameOf(p), (Bytes{0xFE, 0xFE, 0x0F, 0x12, 0x34, 0xFD}));
}

TEST(Packet, EnvelopeCarriesTheChannelAndItsBytesUnchanged) {
    clsPacket p;
    EXPECT_EQ(p.ChannelByte(), 0xFF);
    const Bytes escaped = {0xFF, 0x0F, 0x41};
    p.BuildEnvelope(escaped.data(), 3);
    EXPECT_EQ(FrameOf(p),
              (Bytes{0xFE, 0xFE, 0xEE, 0xEF, 0xE8, 0x28, 0x87, 0x00, 0x00, 0xFF, 0xFF, 0x0F, 0x41, 0xFD}));

    p.SetChannelByte(2);
    const Bytes piece(220, 0x33);
    p.BuildEnvelope(piece.data(), 220);
    ASSERT_EQ(p.FrameLength(), 10 + 220 + 1);
    EXPECT_EQ(p.Frame()[9], 2);
    EXPECT_EQ(p.Frame()[10], 0x33);
    EXPECT_EQ(p.Frame()[229], 0x33);
    EXPECT_EQ(p.Frame()[230], 0xFD);

    // Larger than any frame asked for so far: the buffer grows.
    const Bytes big(1000, 0x44);
    p.BuildEnvelope(big.data(), 1000);
    EXPECT_EQ(p.FrameLength(), 1011);
    EXPECT_GE(p.FrameCapacity(), 2 * 1011);
    EXPECT_EQ(p.Frame()[1009], 0x44);
    EXPECT_EQ(p.Frame()[1010], 0xFD);
}

}  // namespace
