#include "sequence/clsPacket.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
// Bytes before the carried data in an envelope frame, channel byte included.
constexpr std::array<uint8_t, 10> kEnvelopeHead = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8,
                                                   0x28, 0x87, 0x00, 0x00, 0x00};
constexpr int kDataHeader = 8;  // command, L, checksum, 0, address32
}  // namespace

clsPacket::clsPacket() {
    // Room for the largest data frame from the start: 3 + 250 body bytes.
    ReserveFrame(3 + kMaxBody);
    m_payload.resize(kMaxData);
}

int clsPacket::Escape(const uint8_t* src, int count, uint8_t* dst) {
    int out = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t b = src[i];
        if (b >= 0xFA) {
            dst[out++] = kEscape;
            dst[out++] = static_cast<uint8_t>(b & 0x0F);
        } else {
            dst[out++] = b;
        }
    }
    return out;
}

void clsPacket::ReserveFrame(int unescaped) {
    const size_t need = 2 * static_cast<size_t>(std::max(unescaped, 0));
    if (m_frame.size() < need) m_frame.resize(need);
}

void clsPacket::KeepPayload(const uint8_t* data, int n) {
    if (m_payload.size() < static_cast<size_t>(n)) m_payload.resize(static_cast<size_t>(n));
    if (n > 0) std::memcpy(m_payload.data(), data, static_cast<size_t>(n));
    m_payloadLength = n;
}

void clsPacket::BuildRefusal() {
    m_frame[0] = kStart;
    m_frame[1] = kStart;
    m_frame[2] = kEnd;
    m_frameLength = 3;
}

void clsPacket::BuildData(const uint8_t* data, int32_t address, int n) {
    const int length = n + kDataHeader;
    if (n < 0 || n > kMaxData || length > kMaxBody || (n > 0 && data == nullptr)) {
        BuildRefusal();
        return;
    }
    KeepPayload(data, n);
    m_address = address;

    // The body is assembled in a zeroed work area and the checksum is taken
    // over the whole area, so that the body bytes add up to 0.
    std::array<uint8_t, kMaxBody> body{};
    const auto a = static_cast<uint32_t>(address);
    body[0] = kCmdData;
    body[1] = static_cast<uint8_t>(length);
    body[2] = 0;
    body[3] = 0;
    body[4] = static_cast<uint8_t>(a >> 24);
    body[5] = static_cast<uint8_t>(a >> 16);
    body[6] = static_cast<uint8_t>(a >> 8);
    body[7] = static_cast<uint8_t>(a);
    if (n > 0) std::memcpy(body.data() + kDataHeader, data, static_cast<size_t>(n));
    unsigned sum = 0;
    for (uint8_t b : body) sum += b;
    body[2] = static_cast<uint8_t>(0x100 - (sum & 0xFF));

    ReserveFrame(3 + length);
    uint8_t* f = m_frame.data();
    int pos = 0;
    f[pos++] = kStart;
    f[pos++] = kStart;
    pos += Escape(body.data(), length, f + pos);
    f[pos++] = kEnd;
    m_frameLength = pos;
}

void clsPacket::BuildShortData(uint8_t command, const uint8_t* data, int32_t address, int n) {
    if (n < 0 || (n > 0 && data == nullptr)) {
        BuildRefusal();
        return;
    }
    KeepPayload(data, n);
    m_address = address;

    const auto a = static_cast<uint32_t>(address);
    const uint8_t addr[3] = {static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                             static_cast<uint8_t>(a)};
    ReserveFrame(3 + 3 + n + 1);
    uint8_t* f = m_frame.data();
    int pos = 0;
    f[pos++] = kStart;
    f[pos++] = kStart;
    f[pos++] = command;
    pos += Escape(addr, 3, f + pos);
    pos += Escape(data, n, f + pos);
    f[pos++] = kEnd;
    m_frameLength = pos;
}

void clsPacket::BuildSum(uint16_t sum) {
    const uint8_t body[2] = {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
    ReserveFrame(3 + 2 + 1);
    uint8_t* f = m_frame.data();
    int pos = 0;
    f[pos++] = kStart;
    f[pos++] = kStart;
    f[pos++] = kCmdSum;
    pos += Escape(body, 2, f + pos);
    f[pos++] = kEnd;
    m_frameLength = pos;
}

void clsPacket::BuildEnvelope(const uint8_t* escaped, int n) {
    if (n < 0 || (n > 0 && escaped == nullptr)) n = 0;
    KeepPayload(escaped, n);

    const int length = static_cast<int>(kEnvelopeHead.size()) + n + 1;
    ReserveFrame(length);
    uint8_t* f = m_frame.data();
    std::memcpy(f, kEnvelopeHead.data(), kEnvelopeHead.size());
    f[kEnvelopeHead.size() - 1] = m_channel;
    int pos = static_cast<int>(kEnvelopeHead.size());
    if (n > 0) std::memcpy(f + pos, escaped, static_cast<size_t>(n));
    pos += n;
    f[pos++] = kEnd;
    m_frameLength = pos;
}
