// Frames for the flash-writer program running in the radio.
//
// Every frame starts with FE FE and ends with FD. Between the delimiters the
// bytes 0xFA..0xFF are escaped as FF 0x (low four bits), so a reserved value
// never stands raw inside a frame. Frame forms:
//   data frame     FE FE esc(08 L cs 00 addr32 data) FD   (L = n + 8)
//   refusal        FE FE FD                               (n > 128 or L > 250)
//   short data     FE FE cmd esc(addr24) esc(data) FD     (no length, no checksum)
//   sum            FE FE 01 esc(sumHi sumLo) FD           (reset request: byte 2 := 0x0F)
//   envelope       FE FE EE EF E8 28 87 00 00 ch <escaped bytes> FD
// The frame buffer grows when needed and always holds at least twice the
// unescaped size of the frame asked for.
#pragma once
#include <cstdint>
#include <vector>

class clsPacket {
public:
    clsPacket();

    // Escapes count bytes of src into dst (room for 2 * count bytes);
    // returns the number of bytes written.
    static int Escape(const uint8_t* src, int count, uint8_t* dst);

    // Data frame of n bytes at address (main-CPU form). Keeps a copy of the
    // data and the address. n > 128 (or a length above 250) gives FE FE FD.
    void BuildData(const uint8_t* data, int32_t address, int n);
    // Short data frame: unescaped command byte, escaped 3-byte address
    // (most significant first), escaped data.
    void BuildShortData(uint8_t command, const uint8_t* data, int32_t address, int n);
    // Sum frame, high byte first.
    void BuildSum(uint16_t sum);
    // Envelope frame around n already escaped bytes, with the channel byte.
    void BuildEnvelope(const uint8_t* escaped, int n);

    const uint8_t* Frame() const { return m_frame.data(); }
    uint8_t* Frame() { return m_frame.data(); }
    int FrameLength() const { return m_frameLength; }
    int FrameCapacity() const { return static_cast<int>(m_frame.size()); }

    uint8_t ChannelByte() const { return m_channel; }
    void SetChannelByte(uint8_t channel) { m_channel = channel; }

    // The data of the last data or envelope frame, and the last data address.
    const uint8_t* Payload() const { return m_payload.data(); }
    int PayloadLength() const { return m_payloadLength; }
    int32_t Address() const { return m_address; }

    static constexpr int kMaxData = 128;       // data bytes per data frame
    static constexpr int kMaxBody = 250;       // size of the body work area
    static constexpr uint8_t kStart = 0xFE;
    static constexpr uint8_t kEnd = 0xFD;
    static constexpr uint8_t kEscape = 0xFF;
    static constexpr uint8_t kCmdData = 0x08;
    static constexpr uint8_t kCmdSum = 0x01;
    static constexpr uint8_t kCmdReset = 0x0F;

private:
    // Makes the frame buffer hold at least twice `unescaped` bytes.
    void ReserveFrame(int unescaped);
    void KeepPayload(const uint8_t* data, int n);
    void BuildRefusal();

    std::vector<uint8_t> m_payload;
    int32_t m_address = 0;
    int m_payloadLength = 0;
    std::vector<uint8_t> m_frame;
    int m_frameLength = 0;
    uint8_t m_channel = 0xFF;
};
