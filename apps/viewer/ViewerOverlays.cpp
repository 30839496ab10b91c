#include "viewer/ViewerOverlays.h"

#include <ostream>

#include "display/CImgDlg.h"

namespace vexa::viewer {

void addOverlays(CImgDlg& window, const std::vector<OverlaySpec>& specs) {
  for (const OverlaySpec& spec : specs) {
    const auto& v = spec.values;
    switch (spec.kind) {
      case OverlaySpec::Kind::kMask:
        window.AddMask(spec.name, v[0], v[1], v[2], v[3]);
        break;
      case OverlaySpec::Kind::kMotion:
        if (spec.unnamed) {
          window.AddMotion(v[0], v[1], v[2], v[3]);
        } else {
          window.AddMotionByName(spec.name, v[0], v[1], v[2], v[3]);
        }
        break;
      case OverlaySpec::Kind::kRoi:
        window.AddRoi(spec.name, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        break;
      case OverlaySpec::Kind::kClientMask:
        window.AddClientMask(spec.name, v[0], v[1], v[2], v[3]);
        break;
      case OverlaySpec::Kind::kClientColour:
        window.SetClientMaskColor(v[0], v[1], v[2], spec.alpha);
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
