// The overlay lines of this program (front panel).
#pragma once

#include "texts/overlays.h"

inline OverlayLines BuiltInOverlay() { return Overlay_ZB7152M(); }
