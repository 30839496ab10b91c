#include "viewer/ViewerOverlays.h"

#include <ostream>

#include "display/CImgDlg.h"

namespace vexa::viewer {

void addOverlays(CImgDlg& window, const std::vector<OverlayItem>& items) {
  for (const OverlayItem& item : items) {
    const auto& v = item.values;
    switch (item.kind) {
      case OverlayItem::Kind::kMask:
        window.AddMask(item.name, v[0], v[1], v[2], v[3]);
        break;
      case OverlayItem::Kind::kMotion:
        if (item.unnamed) {
          window.AddMotion(v[0], v[1], v[2], v[3]);
        } else {
          window.AddMotionByName(item.name, v[0], v[1], v[2], v[3]);
        }
        break;
      case OverlayItem::Kind::kRoi:
        window.AddRoi(item.name, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        break;
      case OverlayItem::Kind::kClientMask:
        window.AddClientMask(item.name, v[0], v[1], v[2], v[3]);
        break;
      case OverlayItem::Kind::kClientColour:
        window.SetClientMaskColor(v[0], v[1], v[2], item.alpha);
        break;
    }
  }
}

void printOverlays(const CImgDlg& window, std::ostream& out) {
  constexpr int kValues = 4;
  int index = 0;
  for (const OverlayElement& element : window.overlays().elements()) {
    out << "vexa-viewer: overlay " << index << " \"" << element.name() << "\":";
    for (int which = 0; which < kValues; ++which) out << ' ' << window.GetMotionPoint(index, which);
    out << '\n';
    ++index;
  }
  out.flush();
}

}  // namespace vexa::viewer
