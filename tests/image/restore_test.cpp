// Scrambling, the restore of image records, the placement test and the
// fatal end when it fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sequence/restore.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The key stream worked out from the key text: byte i is XORed with the
// 8-bit sum of key bytes 0..i, the key index wrapping after 27.
Bytes KeyStream(size_t n) {
    const char key[] = "gmtime.strtok.qsort.bsearch";
    Bytes s(n);
    uint8_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum = static_cast<uint8_t>(sum + key[i % 27]);
        s[i] = sum;
    }
    return s;
}

void PutLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// One record: start, end, the image bytes scrambled with a fresh stream.
void AddRecord(Bytes& out, uint32_t start, const Bytes& plain) {
    PutLe32(out, start);
    PutLe32(out, start + static_cast<uint32_t>(plain.size()) - 1);
    const Bytes ks = KeyStream(plain.size());
    for (size_t i = 0; i < plain.size(); ++i) out.push_back(plain[i] ^ ks[i]);
}

Bytes Ramp(size_t n, uint8_t from) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(from + i);
    return v;
}

TEST(Descramble, KeyStreamIsTheRunningSumOfTheKey) {
    Bytes zeros(60, 0);
    Descramble(zeros.data(), zeros.size());
    EXPECT_EQ(zeros, KeyStream(60));
    // Worked by hand: 'g' = 0x67, 'g' + 'm' = 0xD4; all 27 key bytes add up
    // to 0xC5, and byte 27 starts the key again: 0xC5 + 'g' = 0x2C.
    EXPECT_EQ(zeros[0], 0x67);
    EXPECT_EQ(zeros[1], 0xD4);
    EXPECT_EQ(zeros[26], 0xC5);
    EXPECT_EQ(zeros[27], 0x2C);
}

TEST(Descramble, IsItsOwnInverseAndIndependentOfTheData) {
    Bytes data = Ramp(1000, 0x30);
    const Bytes original = data;
    Descramble(data.data(), data.size());
    EXPECT_NE(data, original);
    const Bytes ks = KeyStream(data.size());
    for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i] ^ original[i], ks[i]) << i;
    Descramble(data.data(), data.size());
    EXPECT_EQ(data, original);
}

TEST(Restore, EachRecordGoesToItsImageWithAFreshKeyStream) {
    const Bytes writer = Ramp(40, 0x10);
    const Bytes firmware = Ramp(300, 0xA0);
    Bytes rec;
    PutLe32(rec, 0x3064);
    AddRecord(rec, 0xFFC000, writer);
    AddRecord(rec, 0x7000, firmware);

    clsMotS w(0x80000), f(0x80000);
    ASSERT_TRUE(RestoreImages({rec.data(), rec.size()}, true, true, w, f));
    EXPECT_EQ(ProductCodeWord({rec.data(), rec.size()}), 0x3064u);
    EXPECT_EQ(w.FirstAddress(), 0xFFC000);
    EXPECT_EQ(w.LastAddress(), 0xFFC000 + 39);
    EXPECT_EQ(f.FirstAddress(), 0x7000);
    EXPECT_EQ(f.LastAddress(), 0x7000 + 299);
    for (size_t i = 0; i < writer.size(); ++i) ASSERT_EQ(w.ByteAt(0xFFC000 + int32_t(i)), writer[i]);
    for (size_t i = 0; i < firmware.size(); ++i) ASSERT_EQ(f.ByteAt(0x7000 + int32_t(i)), firmware[i]);

    // Firmware only, no product code; the writer image is left alone.
    Bytes only;
    AddRecord(only, 0x10000, firmware);
    clsMotS untouched(0x40000), dsp(0x40000);
    ASSERT_TRUE(RestoreImages({only.data(), only.size()}, false, false, untouched, dsp));
    EXPECT_EQ(untouched.Size(), 0);
    EXPECT_EQ(dsp.FirstAddress(), 0x10000);
    EXPECT_EQ(dsp.ByteAt(0x10000 + 299), firmware[299]);
}

TEST(Restore, MalformedRecordsAreRefused) {
    Bytes good;
    AddRecord(good, 0x100, Ramp(16, 0));
    struct Case {
        const char* what;
        Bytes records;
    };
    const Bytes truncated(good.begin(), good.end() - 1);
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes reversed;
    PutLe32(reversed, 0x200);
    PutLe32(reversed, 0x1FF);
    Bytes huge;
    PutLe32(huge, 0x80000000u);
    PutLe32(huge, 0x80000000u);
    huge.push_back(0);
    Bytes tooWide;
    AddRecord(tooWide, 0, Bytes(0x1001, 0));  // window of 0x1000 below
    const Case cases[] = {
        {"empty", {}},
        {"header cut short", Bytes(good.begin(), good.begin() + 7)},
        {"bytes cut short", truncated},
        {"bytes after the last record", trailing},
        {"end below start", reversed},
        {"address above 0x7FFFFFFF", huge},
        {"wider than the image window", tooWide},
    };
    for (const auto& c : cases) {
        clsMotS w(0x1000), f(0x1000);
        EXPECT_FALSE(RestoreImages({c.records.data(), c.records.size()}, false, false, w, f)) << c.what;
    }
    clsMotS w(0x1000), f(0x1000);
    EXPECT_TRUE(RestoreImages({good.data(), good.size()}, false, false, w, f));
    EXPECT_FALSE(RestoreImages({good.data(), good.size()}, false, true, w, f)) << "firmware record missing";
    EXPECT_FALSE(RestoreImages({good.data(), 3}, true, false, w, f)) << "product code cut short";
    EXPECT_EQ(ProductCodeWord({good.data(), 3}), 0u);
}

TEST(Restore, PlacementLimits) {
    struct Case {
        int32_t first;  // -1: empty image
        int32_t limit;
        bool placed;
    };
    const Case cases[] = {
        {0x1000, 0x1000, true},  {0x0FFF, 0x1000, false},  // main CPU
        {0x8000, 0x8000, true},  {0x7FFF, 0x8000, false},  // DSP
        {0x0000, 0x0000, true},                             // front panel
        {-1, 0x1000, false},     {-1, 0x8000, false},     {-1, 0, false},
    };
    for (const auto& c : cases) {
        clsMotS img(0x80000);
        if (c.first >= 0) img.Reserve(c.first, 128)[0] = 0;
        EXPECT_EQ(IsImagePlaced(img, c.limit), c.placed) << std::hex << c.first << " limit " << c.limit;
    }
}

TEST(RomCheckDeathTest, DefaultReportGoesToStderrAndTheProcessEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RomCheckFailed(), testing::ExitedWithCode(kRomCheckExitCode), "RomCheck: Inside RomImage Error");
}

void MarkingHandler() {
    std::fputs("handler ran\n", stderr);
}

TEST(RomCheckDeathTest, InstalledHandlerRunsInsteadAndNothingIsCleanedUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetRomCheckFailureHandler(&MarkingHandler);
            // A normal exit would run this; the abnormal end must not.
            std::atexit([] { std::fputs("cleanup ran\n", stderr); });
            RomCheckFailed();
        },
        testing::ExitedWithCode(kRomCheckExitCode), "^handler ran\n$");
}

}  // namespace
