// A program's built-in records, restored as the Reset stage does it, give
// back its .mot sources byte for byte. Compiled once per program.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "images.h"
#include "profile.h"
#include "sequence/restore.h"
#include "tests/image/image_table.h"

namespace {

int HexByte(const std::string& s, size_t at) {
    return std::stoi(s.substr(at, 2), nullptr, 16);
}

// Compares every data byte of an S-record file with the image; returns the
// number of bytes compared.
size_t CompareWithMot(const std::string& path, const clsMotS& img) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::string line;
    size_t compared = 0;
    while (std::getline(in, line)) {
        if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') continue;
        const size_t addrBytes = static_cast<size_t>(line[1] - '0') + 1;
        const size_t count = static_cast<size_t>(HexByte(line, 2));
        uint32_t address = 0;
        for (size_t i = 0; i < addrBytes; ++i) address = (address << 8) | HexByte(line, 4 + 2 * i);
        for (size_t i = 0; i + addrBytes + 1 < count; ++i) {
            const int expected = HexByte(line, 4 + 2 * (addrBytes + i));
            const int32_t a = static_cast<int32_t>(address + i);
            if (img.ByteAt(a) != expected) {
                ADD_FAILURE() << path << ": 0x" << std::hex << a << " holds " << int(img.ByteAt(a)) << ", file has "
                              << expected;
                return compared;
            }
            ++compared;
        }
    }
    return compared;
}

class BuiltIn : public testing::Test {
protected:
    void SetUp() override {
        expected = FindExpected(profile::kProgram);
        ASSERT_NE(expected, nullptr);
        ASSERT_TRUE(RestoreImages(BuiltInImages(), profile::kHasProductCode, profile::kHasWriter, writer, firmware));
    }
    const ExpectedImages* expected = nullptr;
    clsMotS writer{profile::kImageWindow, profile::kSumSkipsWriterArea};
    clsMotS firmware{profile::kImageWindow, profile::kSumSkipsWriterArea};
};

TEST_F(BuiltIn, RestoredImagesEqualTheirSourceFiles) {
    const std::string folder = ZB_BUILD_FOLDER;
    EXPECT_EQ(CompareWithMot(folder + "/" + expected->firmware.file, firmware), size_t(firmware.Size()));
    if (expected->hasWriter) {
        EXPECT_EQ(CompareWithMot(folder + "/" + expected->writer.file, writer), size_t(writer.Size()));
    }
}

TEST_F(BuiltIn, RecordsSitWhereTheProgramExpectsThem) {
    EXPECT_EQ(profile::kHasWriter, expected->hasWriter);
    EXPECT_EQ(firmware.FirstAddress(), int32_t(expected->firmware.start));
    EXPECT_EQ(firmware.LastAddress(), int32_t(expected->firmware.end));
    if (expected->hasWriter) {
        EXPECT_EQ(writer.FirstAddress(), int32_t(expected->writer.start));
        EXPECT_EQ(writer.LastAddress(), int32_t(expected->writer.end));
    } else {
        EXPECT_EQ(writer.Size(), 0);
    }
    EXPECT_TRUE(IsImagePlaced(firmware, profile::kPlacementMin));
    if (profile::kHasProductCode) {
        EXPECT_EQ(ProductCodeWord(BuiltInImages()), profile::kProductCode);
    }

    const size_t records = (profile::kHasProductCode ? 4 : 0) + 8 + size_t(firmware.Size()) +
                           (expected->hasWriter ? 8 + size_t(writer.Size()) : 0);
    EXPECT_EQ(BuiltInImages().size, records);
}

TEST_F(BuiltIn, FirmwareLooksLikeFirmware) {
    // The first block is sent; blank blocks lie between the others, so the
    // writing skips some.
    EXPECT_FALSE(firmware.IsBlank(firmware.FirstAddress(), 128));
    int blank = 0, total = 0;
    for (int32_t a = firmware.FirstAddress(); a <= firmware.LastAddress(); a += 128, ++total) {
        blank += firmware.IsBlank(a, 128);
    }
    EXPECT_GT(blank * 5, total) << blank << " of " << total;  // over a fifth
    EXPECT_LT(blank * 5, total * 2) << blank << " of " << total;  // under two fifths
}

}  // namespace
