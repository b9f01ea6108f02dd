// In-memory ROM image: a byte window over an address range in which every
// address that holds no image byte reads as the fill value.
//
// The window of W bytes is allocated once, at construction, and is anchored
// at the lowest image address (base == first whenever the image is not
// empty). Reserve() widens the image and slides the window down when a range
// lies below everything placed so far; ranges placed in rising address order
// never move window contents.
#pragma once
#include <cstdint>
#include <memory>

class clsMotS {
public:
    // window: W, the number of bytes the image may span (per program).
    // sumSkipsWriterArea: Sum() leaves out 0x1000..0x2FFF and negative
    // addresses (the front-panel program's writer area).
    explicit clsMotS(int32_t window, bool sumSkipsWriterArea = false);
    ~clsMotS();
    clsMotS(const clsMotS&) = delete;
    clsMotS& operator=(const clsMotS&) = delete;

    // Sets the fill value, fills the whole window with it and empties the
    // image. The window position (base) is kept.
    void Clear(uint8_t fill);

    int32_t FirstAddress() const { return m_first; }  // -1 when empty
    int32_t LastAddress() const { return m_last; }    // -1 when empty
    int32_t Size() const;                             // 0 when empty

    // The image byte at address, or the fill value outside first..last.
    uint8_t ByteAt(int32_t address) const;
    // True when every address of address..address+count-1 reads as the fill
    // value; true for count <= 0.
    bool IsBlank(int32_t address, int32_t count) const;
    // dest[i] = ByteAt(address + i) for i < count; returns count.
    int32_t CopyOut(int32_t address, int32_t count, uint8_t* dest) const;
    // Low 16 bits of the byte sum over first..last inclusive; 0 when
    // last < first.
    uint16_t Sum(int32_t first, int32_t last) const;

    // Widens the image to cover address..address+count-1 and returns the
    // place of `address` in the window; the caller writes exactly count
    // bytes there. nullptr (image unchanged) for a negative address, a count
    // <= 0, a range whose end passes 0x7FFFFFFF, or a range that would make
    // the image span more than W addresses.
    uint8_t* Reserve(int32_t address, int32_t count);

    int32_t Window() const { return m_window; }
    uint8_t Fill() const { return m_fill; }
    int32_t Base() const { return m_base; }
    bool SumSkipsWriterArea() const { return m_sumSkipsWriterArea; }

private:
    bool IsEmpty() const { return m_first < 0 || m_last < 0; }
    // Sum of ByteAt over lo..hi (64-bit bounds, lo <= hi), low 16 bits.
    uint32_t PlainSum(int64_t lo, int64_t hi) const;

    std::unique_ptr<uint8_t[]> m_bytes;  // the window, m_window bytes
    int32_t m_window;
    int32_t m_base = 0;
    uint8_t m_fill = 0xFF;
    int32_t m_first = -1;
    int32_t m_last = -1;
    bool m_sumSkipsWriterArea;
};
