// The overlay lines of this program (DSP).
#pragma once

#include "texts/overlays.h"

inline OverlayLines BuiltInOverlay() { return Overlay_ZB7152L(); }
