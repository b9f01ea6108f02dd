#include "image/clsMotS.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
constexpr int64_t kAddressMax = std::numeric_limits<int32_t>::max();
// Addresses the front-panel sum leaves out (its writer program's area).
constexpr int64_t kGapFirst = 0x1000;
constexpr int64_t kGapLast = 0x2FFF;
}  // namespace

clsMotS::clsMotS(int32_t window, bool sumSkipsWriterArea)
    : m_bytes(window > 0 ? new uint8_t[static_cast<size_t>(window)] : nullptr),
      m_window(window > 0 ? window : 0),
      m_sumSkipsWriterArea(sumSkipsWriterArea) {
    Clear(0xFF);
}

clsMotS::~clsMotS() = default;

void clsMotS::Clear(uint8_t fill) {
    m_fill = fill;
    if (m_window > 0) std::memset(m_bytes.get(), fill, static_cast<size_t>(m_window));
    m_first = -1;
    m_last = -1;
}

int32_t clsMotS::Size() const {
    return IsEmpty() ? 0 : m_last - m_first + 1;
}

uint8_t clsMotS::ByteAt(int32_t address) const {
    if (IsEmpty() || address < m_first || address > m_last) return m_fill;
    return m_bytes[static_cast<size_t>(address - m_base)];
}

bool clsMotS::IsBlank(int32_t address, int32_t count) const {
    if (count <= 0 || IsEmpty()) return true;
    const int64_t lo = std::max<int64_t>(address, m_first);
    const int64_t hi = std::min<int64_t>(int64_t{address} + count - 1, m_last);
    for (int64_t a = lo; a <= hi; ++a) {
        if (m_bytes[static_cast<size_t>(a - m_base)] != m_fill) return false;
    }
    return true;
}

int32_t clsMotS::CopyOut(int32_t address, int32_t count, uint8_t* dest) const {
    if (count <= 0) return count;
    std::memset(dest, m_fill, static_cast<size_t>(count));
    if (IsEmpty()) return count;
    const int64_t lo = std::max<int64_t>(address, m_first);
    const int64_t hi = std::min<int64_t>(int64_t{address} + count - 1, m_last);
    if (lo <= hi) {
        std::memcpy(dest + (lo - address), m_bytes.get() + (lo - m_base),
                    static_cast<size_t>(hi - lo + 1));
    }
    return count;
}

uint32_t clsMotS::PlainSum(int64_t lo, int64_t hi) const {
    // Bytes inside first..last come from the window; every other address
    // adds the fill value.
    uint64_t total = 0;
    int64_t inside = 0;
    if (!IsEmpty()) {
        const int64_t a = std::max<int64_t>(lo, m_first);
        const int64_t b = std::min<int64_t>(hi, m_last);
        if (a <= b) {
            const uint8_t* p = m_bytes.get() + (a - m_base);
            inside = b - a + 1;
            for (int64_t i = 0; i < inside; ++i) total += p[i];
        }
    }
    const uint64_t outside = static_cast<uint64_t>(hi - lo + 1 - inside);
    total += (outside & 0xFFFF) * m_fill;  // only the low 16 bits survive
    return static_cast<uint32_t>(total & 0xFFFF);
}

uint16_t clsMotS::Sum(int32_t first, int32_t last) const {
    if (last < first) return 0;
    if (!m_sumSkipsWriterArea) return static_cast<uint16_t>(PlainSum(first, last));
    uint32_t total = 0;
    // 0 .. 0xFFF
    int64_t lo = std::max<int64_t>(first, 0);
    int64_t hi = std::min<int64_t>(last, kGapFirst - 1);
    if (lo <= hi) total += PlainSum(lo, hi);
    // 0x3000 upwards
    lo = std::max<int64_t>(first, kGapLast + 1);
    hi = last;
    if (lo <= hi) total += PlainSum(lo, hi);
    return static_cast<uint16_t>(total & 0xFFFF);
}

uint8_t* clsMotS::Reserve(int32_t address, int32_t count) {
    if (address < 0 || count <= 0 || m_window <= 0) return nullptr;
    const int64_t end = int64_t{address} + count - 1;
    if (end > kAddressMax) return nullptr;

    if (IsEmpty()) {
        if (count > m_window) return nullptr;
        m_first = m_base = address;
        m_last = static_cast<int32_t>(end);
        return m_bytes.get();
    }

    const int64_t newFirst = std::min<int64_t>(m_first, address);
    const int64_t newLast = std::max<int64_t>(m_last, end);
    if (newLast - newFirst + 1 > m_window) return nullptr;

    if (newFirst < m_first) {
        // Grows downwards: slide the contents up. What drops out at the top
        // is fill, since the span check above passed.
        const size_t shift = static_cast<size_t>(m_first - newFirst);
        const size_t w = static_cast<size_t>(m_window);
        std::memmove(m_bytes.get() + shift, m_bytes.get(), w - shift);
        std::memset(m_bytes.get(), m_fill, shift);
        m_first = m_base = static_cast<int32_t>(newFirst);
    }
    m_last = static_cast<int32_t>(newLast);
    return m_bytes.get() + (address - m_base);
}
