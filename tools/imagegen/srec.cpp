#include "tools/imagegen/srec.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Address width in bytes of each record type, 0 for types that do not exist.
int AddressBytes(int type) {
    static const int kWidth[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    return kWidth[type];
}

struct Reader {
    const std::string& path;
    std::string& error;

    bool Fail(long line, const std::string& what) {
        error = path + ":" + std::to_string(line) + ": " + what;
        return false;
    }
};

}  // namespace

bool ReadMotImage(const std::string& path, uint32_t start, uint32_t end, uint32_t maxSpan,
                  MotImage& image, std::string& error) {
    Reader r{path, error};
    if (end < start) return r.Fail(0, "image range " + Hex(start) + ".." + Hex(end) + " is empty");
    const uint64_t span = uint64_t{end} - start + 1;
    if (span > maxSpan) {
        return r.Fail(0, "image range " + Hex(start) + ".." + Hex(end) + " spans " + Hex(uint32_t(span)) +
                             " bytes, more than the window of " + Hex(maxSpan));
    }

    std::ifstream in(path, std::ios::binary);
    if (!in) return r.Fail(0, "cannot open the file");

    image.start = start;
    image.end = end;
    image.bytes.assign(static_cast<size_t>(span), 0xFF);
    // Line of the record that gave each byte (0: not given yet).
    std::vector<uint32_t> owner(static_cast<size_t>(span), 0);

    std::string text;
    long lineNo = 0;
    long terminationLine = 0;
    long dataRecords = 0;
    while (std::getline(in, text)) {
        ++lineNo;
        while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
            text.pop_back();
        if (text.empty()) continue;
        if (terminationLine != 0) return r.Fail(lineNo, "record after the termination record");
        if (text.size() < 2 || text[0] != 'S' || text[1] < '0' || text[1] > '9')
            return r.Fail(lineNo, "not an S-record (must start with S0..S9)");
        const int type = text[1] - '0';
        if (AddressBytes(type) == 0) return r.Fail(lineNo, "unknown record type S" + std::to_string(type));
        if ((text.size() - 2) % 2 != 0) return r.Fail(lineNo, "odd number of hex digits");

        std::vector<uint8_t> raw;
        for (size_t i = 2; i < text.size(); i += 2) {
            const int hi = HexDigit(text[i]);
            const int lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0) return r.Fail(lineNo, "character that is not a hex digit");
            raw.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        if (raw.empty()) return r.Fail(lineNo, "record without a byte count");
        const size_t count = raw[0];
        if (count != raw.size() - 1) {
            return r.Fail(lineNo, "byte count " + std::to_string(count) + " but " +
                                      std::to_string(raw.size() - 1) + " bytes follow");
        }
        const size_t addrBytes = static_cast<size_t>(AddressBytes(type));
        if (count < addrBytes + 1) return r.Fail(lineNo, "record too short for its address");
        unsigned sum = 0;
        for (uint8_t b : raw) sum += b;
        if ((sum & 0xFF) != 0xFF) {
            unsigned expected = 0;
            for (size_t i = 0; i + 1 < raw.size(); ++i) expected += raw[i];
            return r.Fail(lineNo, "bad checksum " + Hex(raw.back()) + ", expected " + Hex(~expected & 0xFF));
        }
        uint32_t address = 0;
        for (size_t i = 0; i < addrBytes; ++i) address = (address << 8) | raw[1 + i];
        const uint8_t* data = raw.data() + 1 + addrBytes;
        const size_t dataLen = count - addrBytes - 1;

        switch (type) {
        case 0:  // header
            break;
        case 1:
        case 2:
        case 3: {
            ++dataRecords;
            if (dataLen == 0) break;
            const uint64_t last = uint64_t{address} + dataLen - 1;
            if (address < start || last > end) {
                return r.Fail(lineNo, "data at " + Hex(address) + ".." + Hex(uint32_t(last)) +
                                          " lies outside the image range " + Hex(start) + ".." + Hex(end));
            }
            for (size_t i = 0; i < dataLen; ++i) {
                const size_t at = address - start + i;
                if (owner[at] != 0) {
                    return r.Fail(lineNo, "address " + Hex(uint32_t(address + i)) +
                                              " overlaps the data of line " + std::to_string(owner[at]));
                }
                owner[at] = static_cast<uint32_t>(lineNo);
                image.bytes[at] = data[i];
            }
            break;
        }
        case 5:
        case 6:
            if (address != static_cast<uint32_t>(dataRecords)) {
                return r.Fail(lineNo, "record count " + std::to_string(address) + " but " +
                                          std::to_string(dataRecords) + " data records precede it");
            }
            break;
        default:  // 7, 8, 9: termination
            terminationLine = lineNo;
            break;
        }
    }
    if (terminationLine == 0) return r.Fail(lineNo, "no termination record (S7, S8 or S9) at the end");

    for (size_t at = 0; at < owner.size(); ++at) {
        if (owner[at] != 0) continue;
        size_t to = at;
        while (to + 1 < owner.size() && owner[to + 1] == 0) ++to;
        // Name the record after the gap, or the termination record.
        const long line = to + 1 < owner.size() ? long(owner[to + 1]) : terminationLine;
        return r.Fail(line, "addresses " + Hex(uint32_t(start + at)) + ".." + Hex(uint32_t(start + to)) +
                                " are not covered");
    }
    return true;
}
