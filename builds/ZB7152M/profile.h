// Compile-time profile of the ZB7152M program (front panel).
// Every per-build constant of the shared code lives here or in another header
// of this folder; shared code includes "profile.h" and never tests the build
// by name.
#pragma once
#include <cstdint>

namespace profile {

inline constexpr const char* kProgram = "ZB7152M";
// Line 0 of Sys_AppTitle; also the caption of the dialogs' error boxes.
inline constexpr const char* kAppTitle = "KV-MT7200 (Front) Rev.1.2 Vantrel";
// Name of the single-instance lock.
inline constexpr const char* kLockName = "KV-MT7200 (Front) Rev.1.2 Vantrel APP Exclusive Mutex";

inline constexpr bool kHasTcp = false;          // TCP/IP link, socket start, IP dialogs
inline constexpr bool kHasWriter = true;       // a writer image is uploaded before writing
inline constexpr bool kHasProductCode = false;  // 4-byte product code word before the records
inline constexpr std::uint32_t kProductCode = 0x3064;

// ROM image window (bytes) and the area the front-panel sum leaves out.
inline constexpr std::int32_t kImageWindow = 0x18000;
inline constexpr bool kSumSkipsWriterArea = true;
// Placement test: the firmware image's lowest address must be at least this.
inline constexpr std::int32_t kPlacementMin = 0;
// Last address of the image sum sent to the writer (from address 0).
inline constexpr std::int32_t kImageSumLast = 0x16FFF;

// TCP link: period of the drain task while bytes remain queued, and the
// default TCP port of the settings.
inline constexpr int kTcpRetickMs = 0;
inline constexpr std::uint32_t kTcpPortDefault = 0;

// Sequencer numbering shared with the overlay's tip and error lists.
inline constexpr int kStageCount = 44;
inline constexpr int kErrorCount = 14;
inline constexpr int kStageStandby = 2;
inline constexpr int kStageReady = 6;
// Stage number the window starts its "last shown stage" with (no stage has it).
inline constexpr int kLastShownStart = 47;

// The window waits for the driver thread when it is destroyed.
inline constexpr bool kWaitForDriverOnDestroy = false;
// CanCancel in RomW_Data only once the write address is above 0x7000.
inline constexpr bool kCancelNeedsFirstBlock = false;
// Send wraps every packet in envelope frames.
inline constexpr bool kWrappedSend = false;

}  // namespace profile
