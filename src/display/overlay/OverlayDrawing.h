#pragma once

#include "display/Canvas.h"
#include "display/overlay/OverlayList.h"

namespace vexa {

constexpr uint32_t kOverlayPen = 0x8B3D48;       // Windows colour value (0x00BBGGRR)
constexpr uint32_t kOverlayFrontPen = 0x0000FF;  // red
constexpr int kOverlayPenWidth = 1;
constexpr int kOverlayFrontPenWidth = 3;

// Outlines every element, back to front, the front one in the wider red pen. Only what lies in
// the overlay area is drawn: an edge outside it is left out, the others are cut to it.
void drawOverlays(const OverlayList& list, Canvas& canvas);

}  // namespace vexa
