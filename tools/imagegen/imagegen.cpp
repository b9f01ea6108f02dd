// imagegen: writes the programs' writer and firmware images as S-record
// files (builds/<program>/*.mot). It is run by hand, once; its output is
// committed and is the source of the built-in images:
//
//   cmake --build <build> --target zb_imagegen && <build>/tools/zb_imagegen <tree>/builds
//
// The contents are deterministic stand-ins shaped like real firmware: code
// and data regions with runs of fully blank (0xFF) 128-byte blocks between
// them, a non-blank first block, blocks that are blank but for one byte,
// reserved frame values 0xFA..0xFF in data, block addresses and block
// checksums, and an image sum whose bytes both need escaping.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kBlock = 128;

class Random {
public:
    explicit Random(uint32_t seed) : m_state(seed ? seed : 1) {}
    uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    uint32_t Range(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }

private:
    uint32_t m_state;
};

struct Image {
    uint32_t start;
    uint32_t end;  // inclusive
    std::vector<uint8_t> bytes;
    uint8_t At(uint32_t a) const { return bytes[a - start]; }
    uint8_t& At(uint32_t a) { return bytes[a - start]; }
};

// Code-like bytes: mostly opcodes and small operands, with the reserved
// values turning up now and then as they do in real code.
void FillCode(Random& rnd, uint8_t* p, size_t n) {
    static const uint8_t kOps[] = {0x01, 0x0C, 0x0D, 0x10, 0x18, 0x19, 0x1A, 0x20, 0x30, 0x40, 0x47, 0x4F,
                                   0x54, 0x5E, 0x68, 0x6A, 0x6B, 0x6D, 0x6E, 0x79, 0x7A, 0x88, 0x8C, 0xA8,
                                   0xC8, 0xE8, 0xF8, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    for (size_t i = 0; i < n; ++i) {
        const uint32_t r = rnd.Below(8);
        p[i] = r < 4 ? kOps[rnd.Below(sizeof kOps)] : static_cast<uint8_t>(rnd.Next() >> 8);
    }
}

// Data-like bytes: word tables, text and byte tables.
void FillData(Random& rnd, uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        const uint32_t kind = rnd.Below(3);
        const size_t len = std::min<size_t>(n - i, rnd.Range(16, 200));
        if (kind == 0) {  // rising 16-bit words, big-endian
            uint32_t v = rnd.Below(0x10000);
            const uint32_t step = rnd.Range(1, 0x300);
            for (size_t j = 0; j + 1 < len; j += 2, v += step) {
                p[i + j] = static_cast<uint8_t>(v >> 8);
                p[i + j + 1] = static_cast<uint8_t>(v);
            }
            if (len % 2) p[i + len - 1] = 0x00;
        } else if (kind == 1) {  // zero-terminated texts
            static const char* kWords[] = {"CH", "FREQ", "SQL", "VOL", "SCAN", "MEM", "TX", "RX",
                                           "LOW", "HIGH", "MUTE", "LOCK", "PWR", "BAND", "STEP"};
            size_t j = 0;
            while (j < len) {
                std::string s = kWords[rnd.Below(15)];
                s += ' ';
                s += std::to_string(rnd.Below(1000));
                for (char c : s) {
                    if (j < len) p[i + j++] = static_cast<uint8_t>(c);
                }
                if (j < len) p[i + j++] = 0x00;
            }
        } else {  // byte table, high values included
            for (size_t j = 0; j < len; ++j) p[i + j] = static_cast<uint8_t>(0xE0 + rnd.Below(0x20));
        }
        i += len;
    }
}

bool AddressNeedsEscape(uint32_t block) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (((block >> shift) & 0xFF) >= 0xFA) return true;
    }
    return false;
}

// Firmware: regions of code or data separated by blank runs. `blankFrom` ..
// `blankTo` is kept blank as a whole (a RAM area), when given.
Image MakeFirmware(uint32_t seed, uint32_t start, uint32_t end, uint32_t blankFrom = 1, uint32_t blankTo = 0) {
    Random rnd(seed);
    Image img{start, end, std::vector<uint8_t>(end - start + 1, 0xFF)};
    const uint32_t blocks = (end - start + kBlock) / kBlock;
    std::vector<int> state(blocks, 0);  // 0 blank, 1 code, 2 data
    uint32_t b = 0;
    bool blank = false;
    while (b < blocks) {
        const uint32_t len = blank ? rnd.Range(2, 24) : rnd.Range(6, 60);
        const int kind = blank ? 0 : static_cast<int>(rnd.Range(1, 2));
        for (uint32_t i = 0; i < len && b < blocks; ++i, ++b) state[b] = kind;
        blank = !blank;
    }
    state[0] = 1;
    for (uint32_t i = 0; i < blocks; ++i) {
        const uint32_t a = start + i * kBlock;
        // Blocks whose address bytes must be escaped in a frame header are
        // always sent.
        if (state[i] == 0 && AddressNeedsEscape(a)) state[i] = 2;
        if (a >= blankFrom && a <= blankTo) state[i] = 0;
    }
    for (uint32_t i = 0; i < blocks; ++i) {
        if (state[i] == 0) continue;
        const uint32_t a = start + i * kBlock;
        const size_t n = std::min<size_t>(kBlock, end - a + 1);
        uint8_t* p = &img.At(a);
        if (state[i] == 1) {
            FillCode(rnd, p, n);
            // A code region that ends inside its block leaves the rest blank.
            if (i + 1 < blocks && state[i + 1] == 0 && n == kBlock) {
                for (size_t j = rnd.Range(8, kBlock - 8); j < n; ++j) p[j] = 0xFF;
            }
        } else {
            FillData(rnd, p, n);
        }
    }
    // A few blocks that are blank but for their first or their last byte.
    int made = 0;
    for (uint32_t i = 1; i + 1 < blocks && made < 4; ++i) {
        if (state[i] == 0 && state[i - 1] == 0 && state[i + 1] == 0 && rnd.Below(4) == 0) {
            const uint32_t a = start + i * kBlock;
            if (a >= blankFrom && a <= blankTo) continue;
            img.At(made % 2 ? a + kBlock - 1 : a) = static_cast<uint8_t>(0x5A + made);
            ++made;
        }
    }
    return img;
}

// Makes the data-frame checksum of the block at `a` equal `target` by
// changing its last byte (the body is 08 L cs 00 addr32 data).
void ForceChecksum(Image& img, uint32_t a, uint8_t target) {
    unsigned sum = 0x08 + 0x88;
    for (int shift = 24; shift >= 0; shift -= 8) sum += (a >> shift) & 0xFF;
    for (int i = 0; i < kBlock - 1; ++i) sum += img.At(a + i);
    // checksum = -(sum + last) mod 256 == target
    img.At(a + kBlock - 1) = static_cast<uint8_t>(0x100 - ((sum + target) & 0xFF));
}

// 16-bit image sum as the program computes it: addresses 0..sumLast, fill
// 0xFF outside the image, skipping skipFrom..skipTo when skipFrom <= skipTo.
uint16_t ImageSum(const Image& img, uint32_t sumLast, uint32_t skipFrom, uint32_t skipTo) {
    uint32_t sum = 0;
    for (uint32_t a = 0; a <= sumLast; ++a) {
        if (a >= skipFrom && a <= skipTo) continue;
        sum += (a >= img.start && a <= img.end) ? img.At(a) : 0xFF;
    }
    return static_cast<uint16_t>(sum);
}

// Sets a 300-byte table at `at` (inside a non-blank region) so that the
// image sum becomes `target`.
void ForceImageSum(Image& img, uint32_t at, uint16_t target, uint32_t sumLast, uint32_t skipFrom = 1,
                   uint32_t skipTo = 0) {
    constexpr uint32_t kLen = 300;
    for (uint32_t i = 0; i < kLen; ++i) img.At(at + i) = 0;
    const uint32_t need = static_cast<uint16_t>(target - ImageSum(img, sumLast, skipFrom, skipTo));
    for (uint32_t i = 0; i < kLen; ++i) img.At(at + i) = static_cast<uint8_t>(need / kLen + (i < need % kLen));
}

Image MakeWriter(uint32_t seed, uint32_t start, uint32_t end) {
    Random rnd(seed);
    Image img{start, end, std::vector<uint8_t>(end - start + 1, 0xFF)};
    FillCode(rnd, img.bytes.data(), img.bytes.size() * 3 / 4);
    const size_t tail = img.bytes.size() * 3 / 4;
    FillData(rnd, img.bytes.data() + tail, img.bytes.size() - tail);
    return img;
}

// S-record output: S0 header, S2 or S3 data records of 32 bytes, S5 count,
// S8 or S9 termination.
bool WriteMot(const std::string& path, const std::string& header, const Image& img) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    auto record = [&](char type, int addrBytes, uint32_t addr, const uint8_t* data, size_t n) {
        std::vector<uint8_t> raw;
        raw.push_back(static_cast<uint8_t>(addrBytes + n + 1));
        for (int s = (addrBytes - 1) * 8; s >= 0; s -= 8) raw.push_back(static_cast<uint8_t>(addr >> s));
        raw.insert(raw.end(), data, data + n);
        unsigned sum = 0;
        for (uint8_t b : raw) sum += b;
        raw.push_back(static_cast<uint8_t>(~sum));
        std::fprintf(f, "S%c", type);
        for (uint8_t b : raw) std::fprintf(f, "%02X", b);
        std::fputs("\n", f);
    };
    record('0', 2, 0, reinterpret_cast<const uint8_t*>(header.data()), header.size());
    const bool wide = img.end > 0xFFFFFF;
    uint32_t count = 0;
    for (uint32_t a = img.start; a <= img.end; a += 32, ++count) {
        const size_t n = std::min<size_t>(32, img.end - a + 1);
        record(wide ? '3' : '2', wide ? 4 : 3, a, img.bytes.data() + (a - img.start), n);
        if (img.end - a < 32) break;
    }
    ++count;
    if (count <= 0xFFFF) record('5', 2, count, nullptr, 0);
    record(wide ? '7' : '8', wide ? 4 : 3, img.start, nullptr, 0);
    return std::fclose(f) == 0;
}

void Report(const char* name, const Image& img) {
    const uint32_t blocks = (img.end - img.start + kBlock) / kBlock;
    uint32_t blank = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        bool all = true;
        for (uint32_t a = img.start + i * kBlock; a < img.start + (i + 1) * kBlock && a <= img.end; ++a)
            all = all && img.At(a) == 0xFF;
        blank += all;
    }
    std::printf("%-28s %u blocks, %u blank (%.0f%%)\n", name, blocks, blank, 100.0 * blank / blocks);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zb_imagegen <builds folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    bool ok = true;

    {  // main CPU
        Image writer = MakeWriter(0x7152A1, 0xFFC000, 0xFFD657);
        Image firm = MakeFirmware(0x7152A2, 0x7000, 0x7FFFF);
        const uint8_t targets[] = {0xFD, 0xFE, 0xFF, 0xFA, 0xFB, 0xFC};
        int t = 0;
        // Away from the sum table below, on blocks that are sent anyway.
        for (uint32_t a = 0x8000; a < 0x7FFFF && t < 6; a += kBlock) {
            if (firm.At(a + kBlock - 1) != 0xFF) ForceChecksum(firm, a, targets[t++]);
        }
        ForceImageSum(firm, 0x7000 + 0x40, 0xFEFD, 0x7FFFF);
        ok = ok && WriteMot(root + "/ZB7152K/writer.mot", "ZB7152K writer", writer);
        ok = ok && WriteMot(root + "/ZB7152K/firmware.mot", "ZB7152K firmware", firm);
        Report("ZB7152K firmware", firm);
    }
    {  // front panel: 0x1000..0x2FFF is RAM (the writer runs at 0x2000)
        Image writer = MakeWriter(0x7152B1, 0x2000, 0x2C23);
        Image firm = MakeFirmware(0x7152B6, 0x0, 0x17FFF, 0x1000, 0x2FFF);
        ForceImageSum(firm, 0x40, 0xFDFA, 0x16FFF, 0x1000, 0x2FFF);
        ok = ok && WriteMot(root + "/ZB7152M/writer.mot", "ZB7152M writer", writer);
        ok = ok && WriteMot(root + "/ZB7152M/firmware.mot", "ZB7152M firmware", firm);
        Report("ZB7152M firmware", firm);
    }
    {  // DSP
        Image firm = MakeFirmware(0x7152C2, 0x10000, 0x3CB9D);
        ForceImageSum(firm, 0x10040, 0xFBFE, 0x3FFFF);
        ok = ok && WriteMot(root + "/ZB7152L/firmware.mot", "ZB7152L firmware", firm);
        Report("ZB7152L firmware", firm);
    }
    if (!ok) {
        std::fprintf(stderr, "zb_imagegen: cannot write the image files\n");
        return 1;
    }
    return 0;
}
