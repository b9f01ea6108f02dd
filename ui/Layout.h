// Window-side computations without Qt: the main window's and the value
// dialogs' geometry, the caption text, placement on the screen, and the
// dialogs' input checks. Halves are integer divisions (toward zero) and
// products with fractions are truncated, as the window has always been laid
// out.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

struct MainLayout {
  Rect panel1, panelMain, progress, start, cancel, exit, memo;
};

// Button width from the progress bar width: the bar times an extended-
// precision factor just below 5/16, truncated (320 -> 99, 516 -> 161).
int ButtonWidthFor(int barWidth);

// Layout of the components from the window's client area.
MainLayout ComputeMainLayout(int clientWidth, int clientHeight);

// Top-left of the main window on a screen: centred horizontally, and 0.8 of
// the centred top (negative when the window is taller than the screen).
void MainWindowPosition(int screenW, int screenH, int winW, int winH, int* left, int* top);

// "%3d%% - title" with position * 100 / 255, or the title alone at 0.
std::string CaptionFor(int progress, const std::string& title);

// Centre a dialog on the main window (before the work-area correction).
Rect CenterOn(const Rect& dialog, const Rect& mainWindow);
// Moves a window back into the work area: right, left, bottom, top in turn.
Rect KeepInWorkArea(Rect window, const Rect& workArea);

// Measures a value dialog is built from (pixels of its own default font).
struct DialogMetrics {
  int charHeight;        // height of "W"
  int labelWidth, labelHeight;
  int wwWidth;           // width of "WW"
  int editWidth;         // width of the edit width template
  int editHeight;        // height of the edit height template
  int buttonWidth;       // width of the _SizeOfButtons text
  int okCaptionHeight;   // height of the OK caption
  int frameWidth = 0;    // window width - client width
  int frameHeight = 0;   // window height - client height
};

struct DialogLayout {
  Rect label, edit, ok, cancel;
  int windowWidth, windowHeight;  // outer size (client + frame)
};

// withMinimums: the IP address and TCP port dialogs keep Cancel at least at
// (111, 78) and the window at least 204 x 147.
DialogLayout ComputeDialogLayout(const DialogMetrics& m, bool withMinimums);

// Leading and trailing blanks and control characters removed.
std::string TrimControls(const std::string& text);
// The C library's atol on the text: optional blanks, sign, decimal digits up
// to the first other character; 0 when there are none. Saturates instead of
// overflowing.
long AtolValue(const std::string& text);

// The COM dialog's check: the trimmed text as a number within [min, max].
bool ParseComPort(const std::string& text, int min, int max, int* value);
// The TCP port dialog's check: as ParseComPort, but compared unsigned, so a
// negative entry counts as far above the range.
bool ParseTcpPort(const std::string& text, std::uint32_t min, std::uint32_t max,
                  std::uint32_t* value);

}  // namespace ui
