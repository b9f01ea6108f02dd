// The overlay lines of this program (main CPU).
#pragma once

#include "texts/overlays.h"

inline OverlayLines BuiltInOverlay() { return Overlay_ZB7152K(); }
