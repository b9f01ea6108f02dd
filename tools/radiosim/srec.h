// Reader for Motorola S-record image files, used to check the emulated flash
// after an update against the image the host was meant to write.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace radiosim {

// Fills `image` (its size is the address window, pre-filled by the caller,
// normally with 0xFF) from the records of `text`. S0, S5, S6 and S7..S9 are
// checked and skipped; S1..S3 place data. Returns false with a message naming
// the line on a malformed record, a bad checksum or data outside the window.
bool LoadSRecords(const std::string& text, std::vector<uint8_t>& image, std::string* error);

}  // namespace radiosim
