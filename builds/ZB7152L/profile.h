// Compile-time profile of the ZB7152L program (DSP).
// Every per-build constant of the shared code lives here or in another header
// of this folder; shared code includes "profile.h" and never tests the build
// by name.
#pragma once
#include <cstdint>

namespace profile {

inline constexpr const char* kProgram = "ZB7152L";
// Line 0 of Sys_AppTitle; also the caption of the dialogs' error boxes.
inline constexpr const char* kAppTitle = "KV-MT7200 (DSP) Rev.2.7 Vantrel";
// Name of the single-instance lock.
inline constexpr const char* kLockName = "KV-MT7200 (DSP) Rev.2.7 Vantrel APP Exclusive Mutex";

inline constexpr bool kHasTcp = true;          // TCP/IP link, socket start, IP dialogs
inline constexpr bool kHasWriter = false;       // a writer image is uploaded before writing
inline constexpr bool kHasProductCode = false;  // 4-byte product code word before the records
inline constexpr std::uint32_t kProductCode = 0x3064;

// ROM image window (bytes) and the area the front-panel sum leaves out.
inline constexpr std::int32_t kImageWindow = 0x40000;
inline constexpr bool kSumSkipsWriterArea = false;
// Placement test: the firmware image's lowest address must be at least this.
inline constexpr std::int32_t kPlacementMin = 0x8000;
// Last address of the image sum sent to the writer (from address 0).
inline constexpr std::int32_t kImageSumLast = 0x3FFFF;

// TCP link: period of the drain task while bytes remain queued, and the
// default TCP port of the settings.
inline constexpr int kTcpRetickMs = 100;
inline constexpr std::uint32_t kTcpPortDefault = 41000;

// Sequencer numbering shared with the overlay's tip and error lists.
inline constexpr int kStageCount = 43;
inline constexpr int kErrorCount = 13;
inline constexpr int kStageStandby = 3;
inline constexpr int kStageReady = 7;
// Stage number the window starts its "last shown stage" with (no stage has it).
inline constexpr int kLastShownStart = 43;

// The window waits for the driver thread when it is destroyed.
inline constexpr bool kWaitForDriverOnDestroy = true;
// CanCancel in RomW_Data only once the write address is above 0x7000.
inline constexpr bool kCancelNeedsFirstBlock = false;
// Send wraps every packet in envelope frames.
inline constexpr bool kWrappedSend = true;

}  // namespace profile
