#include "sequence/restore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

RomCheckFailureHandler g_romCheckHandler = nullptr;

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Places the record at records.data[pos] into image and advances pos.
bool RestoreRecord(const ImageRecords& records, size_t& pos, clsMotS& image) {
    if (records.size - pos < 8) return false;
    const uint32_t start = ReadLe32(records.data + pos);
    const uint32_t end = ReadLe32(records.data + pos + 4);
    pos += 8;
    constexpr uint32_t kMax = std::numeric_limits<int32_t>::max();
    if (start > end || end > kMax) return false;
    const uint64_t n = uint64_t{end} - start + 1;
    if (n > kMax || records.size - pos < n) return false;

    uint8_t* place = image.Reserve(static_cast<int32_t>(start), static_cast<int32_t>(n));
    if (place == nullptr) return false;
    std::memcpy(place, records.data + pos, static_cast<size_t>(n));
    Descramble(place, static_cast<size_t>(n));
    pos += static_cast<size_t>(n);
    return true;
}

}  // namespace

void Descramble(uint8_t* bytes, size_t n) {
    uint8_t sum = 0;
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(kImageScrambleKey[k]));
        if (++k == kImageScrambleKeyLength) k = 0;
        bytes[i] ^= sum;
    }
}

bool RestoreImages(ImageRecords records, bool hasProductCode, bool hasWriter, clsMotS& writer,
                   clsMotS& firmware) {
    if (records.data == nullptr) return false;
    size_t pos = 0;
    if (hasProductCode) {
        if (records.size < 4) return false;
        pos = 4;
    }
    if (hasWriter) {
        writer.Clear(writer.Fill());
        if (!RestoreRecord(records, pos, writer)) return false;
    }
    firmware.Clear(firmware.Fill());
    if (!RestoreRecord(records, pos, firmware)) return false;
    return pos == records.size;
}

bool IsImagePlaced(const clsMotS& firmware, int32_t placementMin) {
    const int32_t first = firmware.FirstAddress();
    return first >= 0 && firmware.Size() > 0 && first >= placementMin;
}

uint32_t ProductCodeWord(ImageRecords records) {
    if (records.data == nullptr || records.size < 4) return 0;
    return ReadLe32(records.data);
}

void SetRomCheckFailureHandler(RomCheckFailureHandler h) {
    g_romCheckHandler = h;
}

void RomCheckFailed() {
    if (g_romCheckHandler != nullptr) {
        g_romCheckHandler();
    } else {
        std::fputs("RomCheck: Inside RomImage Error\n", stderr);
        std::fflush(stderr);
    }
    std::_Exit(kRomCheckExitCode);
}
