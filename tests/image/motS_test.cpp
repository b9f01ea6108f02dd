// The in-memory ROM image: window sliding, refusals, reads and sums.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/clsMotS.h"

namespace {

constexpr int32_t kMainWindow = 0x80000;

void Place(clsMotS& img, int32_t address, const std::vector<uint8_t>& bytes) {
    uint8_t* p = img.Reserve(address, static_cast<int32_t>(bytes.size()));
    ASSERT_NE(p, nullptr) << "address 0x" << std::hex << address;
    for (size_t i = 0; i < bytes.size(); ++i) p[i] = bytes[i];
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

// Sum by definition, one address at a time.
uint16_t ReferenceSum(const clsMotS& img, int64_t first, int64_t last, bool skipGap) {
    uint32_t sum = 0;
    for (int64_t a = first; a <= last; ++a) {
        if (skipGap && (a < 0 || (a >= 0x1000 && a <= 0x2FFF))) continue;
        sum += img.ByteAt(static_cast<int32_t>(a));
    }
    return static_cast<uint16_t>(sum);
}

TEST(MotS, ReservingBelowSlidesTheWindowAndKeepsWhatWasWritten) {
    clsMotS img(kMainWindow);
    const auto high = Pattern(0x100, 0x11);
    const auto low = Pattern(0x100, 0x80);
    const auto lowest = Pattern(0x10, 0x03);
    Place(img, 0x10000, high);
    Place(img, 0x0FF00, low);
    Place(img, 0x0F000, lowest);

    EXPECT_EQ(img.FirstAddress(), 0x0F000);
    EXPECT_EQ(img.Base(), 0x0F000);
    EXPECT_EQ(img.LastAddress(), 0x100FF);
    EXPECT_EQ(img.Size(), 0x1100);
    for (int32_t i = 0; i < 0x100; ++i) {
        ASSERT_EQ(img.ByteAt(0x10000 + i), high[i]);
        ASSERT_EQ(img.ByteAt(0x0FF00 + i), low[i]);
    }
    for (int32_t i = 0; i < 0x10; ++i) ASSERT_EQ(img.ByteAt(0x0F000 + i), lowest[i]);
    EXPECT_TRUE(img.IsBlank(0x0F010, 0x0FF00 - 0x0F010));  // between the ranges
    EXPECT_EQ(img.ByteAt(0x0EFFF), 0xFF);                   // below first
    EXPECT_EQ(img.ByteAt(0x10100), 0xFF);                   // above last
}

TEST(MotS, RefusedRangesLeaveTheImageUnchanged) {
    constexpr int32_t kAt = 0x100000;
    struct Case {
        const char* what;
        int32_t address;
        int32_t count;
    };
    const Case cases[] = {
        {"negative address", -1, 4},
        {"empty count", 0x2000, 0},
        {"negative count", 0x2000, -5},
        {"span one above the window, upwards", kAt + kMainWindow - 0x10, 0x11},
        {"span one above the window, downwards", kAt + 0xFF - kMainWindow, 1},
        {"end past 0x7FFFFFFF", 0x7FFFFFF0, 0x11},
        {"end far past 0x7FFFFFFF", 0x7FFFFFFF, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        clsMotS img(kMainWindow);
        const auto bytes = Pattern(0x100, 0x42);
        Place(img, kAt, bytes);
        EXPECT_EQ(img.Reserve(c.address, c.count), nullptr) << c.what;
        EXPECT_EQ(img.FirstAddress(), kAt) << c.what;
        EXPECT_EQ(img.LastAddress(), kAt + 0xFF) << c.what;
        for (int32_t i = 0; i < 0x100; ++i) ASSERT_EQ(img.ByteAt(kAt + i), bytes[i]) << c.what;
    }

    clsMotS empty(kMainWindow);
    EXPECT_EQ(empty.Reserve(0, kMainWindow + 1), nullptr);
    EXPECT_EQ(empty.Reserve(0x7FFFFFFF, 2), nullptr);
    EXPECT_EQ(empty.Size(), 0);
    EXPECT_EQ(empty.FirstAddress(), -1);
    EXPECT_EQ(empty.LastAddress(), -1);
}

TEST(MotS, RangesUpToTheTopAddressAndExactlyTheWindowFit) {
    clsMotS top(kMainWindow);
    uint8_t* p = top.Reserve(0x7FFFFFFF, 1);
    ASSERT_NE(p, nullptr);
    *p = 0x12;
    EXPECT_EQ(top.ByteAt(0x7FFFFFFF), 0x12);
    EXPECT_EQ(top.LastAddress(), 0x7FFFFFFF);

    // 0 and 0x7FFFF span exactly the main window, in either order; 0x80000
    // is one too far.
    for (bool highFirst : {false, true}) {
        clsMotS img(kMainWindow);
        if (highFirst) {
            Place(img, 0x7FFFF, {0xA1});
            Place(img, 0, {0xA0});
        } else {
            Place(img, 0, {0xA0});
            Place(img, 0x7FFFF, {0xA1});
        }
        EXPECT_EQ(img.ByteAt(0), 0xA0);
        EXPECT_EQ(img.ByteAt(0x7FFFF), 0xA1);
        EXPECT_TRUE(img.IsBlank(1, 0x7FFFE));
        EXPECT_EQ(img.Size(), kMainWindow);
        EXPECT_EQ(img.Reserve(0x80000, 1), nullptr);
    }
}

TEST(MotS, ClearEmptiesTheImageWithTheNewFill) {
    clsMotS img(0x18000);
    Place(img, 0x3000, Pattern(0x40, 1));
    img.Clear(0x00);
    EXPECT_EQ(img.Size(), 0);
    EXPECT_EQ(img.Fill(), 0x00);
    EXPECT_EQ(img.ByteAt(0x3000), 0x00);
    EXPECT_EQ(img.Base(), 0x3000);  // the window stays where it was
    EXPECT_EQ(img.Sum(0, 0xFFFF), 0);

    // A fresh image anywhere, even below the old base.
    Place(img, 0x10, {0x55, 0x66});
    EXPECT_EQ(img.FirstAddress(), 0x10);
    EXPECT_EQ(img.ByteAt(0x11), 0x66);
    EXPECT_EQ(img.ByteAt(0x12), 0x00);
}

TEST(MotS, SumsOfTheBlankImageAndTheirWrap) {
    clsMotS img(kMainWindow);
    EXPECT_EQ(img.Sum(5, 4), 0);
    EXPECT_EQ(img.Sum(0, 0xFF), 0xFF00);
    EXPECT_EQ(img.Sum(0, 0x1FF), 0xFE00);
    EXPECT_EQ(img.Sum(0, 0x7FFFF), static_cast<uint16_t>(0x80000u * 0xFF));
    EXPECT_EQ(img.Sum(-0x100, -1), 0xFF00);  // outside the image reads as fill
    EXPECT_EQ(img.Sum(INT32_MIN, INT32_MIN + 0xFF), 0xFF00);
    EXPECT_EQ(img.Sum(INT32_MIN, INT32_MAX), 0);  // 2^32 fill bytes
}

TEST(MotS, SumMatchesTheByteByByteSumOverAnyRange) {
    for (bool skip : {false, true}) {
        clsMotS img(0x18000, skip);
        Place(img, 0x0F80, Pattern(0x2200, 0x31));  // runs into and across the gap
        Place(img, 0x9000, Pattern(0x300, 0xC7));
        const int64_t ranges[][2] = {
            {0, 0x16FFF}, {0x0F80, 0x0F80}, {0x0FFF, 0x3000}, {0x1000, 0x2FFF}, {0x0F00, 0x9100},
            {0x9100, 0x20000}, {-0x80, 0x100}, {0x3180, 0x317F}, {0x17000, 0x17FFF},
        };
        for (const auto& r : ranges) {
            EXPECT_EQ(img.Sum(static_cast<int32_t>(r[0]), static_cast<int32_t>(r[1])),
                      ReferenceSum(img, r[0], r[1], skip))
                << "skip " << skip << " range 0x" << std::hex << r[0] << "..0x" << r[1];
        }
    }
}

TEST(MotS, FrontPanelSumLeavesOutTheWriterArea) {
    clsMotS img(0x18000, true);
    const uint16_t before = img.Sum(0, 0x16FFF);
    Place(img, 0x1800, {0x00});
    EXPECT_EQ(img.Sum(0, 0x16FFF), before);
    EXPECT_EQ(img.Sum(0x1000, 0x2FFF), 0);
    EXPECT_EQ(img.Sum(-0x10, -1), 0);
    Place(img, 0x0FFF, {0x00});  // edges of the gap still count
    EXPECT_EQ(img.Sum(0, 0x16FFF), static_cast<uint16_t>(before - 0xFF));
    Place(img, 0x3000, {0x00});
    EXPECT_EQ(img.Sum(0, 0x16FFF), static_cast<uint16_t>(before - 2 * 0xFF));
}

TEST(MotS, BlankTestsAndCopiesAcrossTheImageEdges) {
    clsMotS img(kMainWindow);
    EXPECT_TRUE(img.IsBlank(0, 128));
    Place(img, 0x7000, std::vector<uint8_t>(256, 0xFF));
    img.Reserve(0x70FF, 1)[0] = 0x00;  // last byte of the second block
    EXPECT_TRUE(img.IsBlank(0x7000, 128));
    EXPECT_FALSE(img.IsBlank(0x7080, 128));
    EXPECT_TRUE(img.IsBlank(0x7080, 127));
    EXPECT_TRUE(img.IsBlank(0x70FF, 0));
    EXPECT_TRUE(img.IsBlank(0x70FF, -3));
    EXPECT_FALSE(img.IsBlank(0x6000, 0x2000));  // reaches in from below

    Place(img, 0x7100, {0x11, 0x22});
    uint8_t out[6] = {};
    EXPECT_EQ(img.CopyOut(0x70FE, 6, out), 6);
    const uint8_t expected[6] = {0xFF, 0x00, 0x11, 0x22, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(expected, expected + 6));
    EXPECT_EQ(img.CopyOut(0x6FFE, 3, out), 3);  // from below the image
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xFF);
    EXPECT_EQ(img.CopyOut(0x7000, 0, out), 0);
}

}  // namespace
