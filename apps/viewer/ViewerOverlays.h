#pragma once

#include <iosfwd>

#include "viewer/OverlayItem.h"

namespace vexa {
class CImgDlg;
}

namespace vexa::viewer {

// Adds the overlays of the command line to the video window, through the same members a camera's
// page calls.
void addOverlays(CImgDlg& window, const std::vector<OverlayItem>& items);

// Every overlay from the front as the queries answer it: index, name, then the four values.
void printOverlays(const CImgDlg& window, std::ostream& out);

}  // namespace vexa::viewer
