// Restore of the built-in ROM images into memory images, and the fatal path
// taken when the firmware image is not where the program expects it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/builtin_images.h"
#include "image/clsMotS.h"

// Scrambles or descrambles n bytes in place (the operation is its own
// inverse). An 8-bit running sum of the key bytes, started afresh for each
// call, is XORed into each byte: byte i gets the sum of key bytes 0..i (key
// index modulo its length).
void Descramble(uint8_t* bytes, size_t n);

// Places the records into the images: the writer record (when hasWriter)
// into `writer`, then the firmware record into `firmware`, each through
// Reserve and then descrambled in place. The targets are cleared first.
// Returns false when the records are malformed (too short, end below start,
// an address beyond 0x7FFFFFFF, a range the image refuses, or bytes left
// over after the last record).
bool RestoreImages(ImageRecords records, bool hasProductCode, bool hasWriter, clsMotS& writer,
                   clsMotS& firmware);

// Placement test: the firmware image is not empty and its lowest address is
// at least placementMin.
bool IsImagePlaced(const clsMotS& firmware, int32_t placementMin);

// The 4-byte little-endian word in front of the records (main CPU: 0x3064);
// 0 when there are fewer than 4 bytes.
uint32_t ProductCodeWord(ImageRecords records);

// Called by RomCheckFailed before the process ends; the window installs one
// that shows the "RomCheck" message box. nullptr restores the default, which
// writes "RomCheck: Inside RomImage Error" to stderr.
using RomCheckFailureHandler = void (*)();
void SetRomCheckFailureHandler(RomCheckFailureHandler h);

// Exit code of the abnormal end.
inline constexpr int kRomCheckExitCode = 3;

// Reports the failed placement test through the handler, then ends the
// process at once with kRomCheckExitCode: no destructors, no settings saved.
[[noreturn]] void RomCheckFailed();
