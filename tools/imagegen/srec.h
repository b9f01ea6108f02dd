// Reader of Motorola S-record files for the build-time image tool.
//
// ReadMotImage reads one image file and checks it against the range the
// image must cover exactly: record syntax and checksums, data addresses
// inside start..end, no byte given twice, every byte of start..end given,
// one termination record at the end, record counts (S5/S6) when present.
// A failure comes back as "file:line: what is wrong".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MotImage {
    uint32_t start = 0;
    uint32_t end = 0;            // inclusive
    std::vector<uint8_t> bytes;  // end - start + 1 bytes, address order
};

// maxSpan bounds end - start + 1 (the program's image window).
bool ReadMotImage(const std::string& path, uint32_t start, uint32_t end, uint32_t maxSpan,
                  MotImage& image, std::string& error);
