// The viewer's overlay text, as a file would give it: any bytes, any line lengths. What it
// accepts must be whole items: a known kind, the values parsed, a finite alpha.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "viewer/OverlayItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexa::viewer;
  if (size > kMaxOverlayFileBytes) return 0;
  OverlayItems items;
  parseOverlayText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", true,
                   items);
  for (const OverlayItem& item : items.items) {
    if (item.kind == OverlayItem::Kind::kClientColour && !std::isfinite(item.alpha)) {
      __builtin_trap();
    }
    if (item.unnamed && !item.name.empty()) __builtin_trap();
    if (item.name.size() > kMaxOverlayLineBytes) __builtin_trap();
  }
  return 0;
}
