// The built-in overlay of each program: an array of text lines that ends with
// its "#End_Of_Ovl" key line. Each function lives in its own source
// (builds/<program>/overlay.cpp) inside zb_texts, so a program that calls only
// its own function links only its own lines.
#pragma once

struct OverlayLines {
    const char* const* lines;  // never freed: the lines are part of the program
    int count;                 // number of lines; the array holds no end mark
};

OverlayLines Overlay_ZB7152K();  // main CPU
OverlayLines Overlay_ZB7152M();  // front panel
OverlayLines Overlay_ZB7152L();  // DSP
