// The ROM images each program carries in its own data, scrambled.
//
// Layout of the bytes: [product code word, 4 bytes LE, main-CPU program only]
// then one record per image, writer first (when the program has one), then
// firmware, without gaps. A record is: start address (4 bytes LE), end
// address inclusive (4 bytes LE), end - start + 1 scrambled image bytes.
//
// The records are generated at build time from builds/<program>/*.mot by the
// host tool mot2rec (tools/imagegen/); the program never reads image files.
#pragma once
#include <cstddef>
#include <cstdint>

struct ImageRecords {
    const uint8_t* data;
    size_t size;
};

// Key of the byte scrambling, the same in every program.
inline constexpr char kImageScrambleKey[] = "gmtime.strtok.qsort.bsearch";
inline constexpr size_t kImageScrambleKeyLength = sizeof(kImageScrambleKey) - 1;

ImageRecords BuiltInImages_ZB7152K();
ImageRecords BuiltInImages_ZB7152M();
ImageRecords BuiltInImages_ZB7152L();
