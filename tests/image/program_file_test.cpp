// Each program file holds its image records: the start and end address of
// every record can be found in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/image/image_table.h"

namespace {

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Contains(const std::vector<uint8_t>& file, const ExpectedImage& img) {
    uint8_t key[8];
    for (int i = 0; i < 4; ++i) {
        key[i] = static_cast<uint8_t>(img.start >> (8 * i));
        key[4 + i] = static_cast<uint8_t>(img.end >> (8 * i));
    }
    return std::search(file.begin(), file.end(), key, key + 8) != file.end();
}

TEST(ProgramFile, HoldsItsRecords) {
    const struct {
        const char* program;
        const char* path;
    } programs[] = {{"ZB7152K", ZB_PROGRAM_K}, {"ZB7152M", ZB_PROGRAM_M}, {"ZB7152L", ZB_PROGRAM_L}};
    for (const auto& p : programs) {
        const std::vector<uint8_t> file = ReadFile(p.path);
        ASSERT_FALSE(file.empty()) << p.path;
        const ExpectedImages* e = FindExpected(p.program);
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(Contains(file, e->firmware)) << p.program;
        if (e->hasWriter) {
            EXPECT_TRUE(Contains(file, e->writer)) << p.program;
        }
    }
}

}  // namespace
