// The viewer's overlay text, as a file would give it: any bytes, any line lengths. What it
// accepts must be whole specs: a known kind, the values parsed, a finite alpha.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "viewer/OverlaySpec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexa::viewer;
  if (size > kMaxOverlayFileBytes) return 0;
  OverlaySpecs specs;
  parseOverlayText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", true,
                   specs);
  for (const OverlaySpec& spec : specs.specs) {
    if (spec.kind == OverlaySpec::Kind::kClientColour && !std::isfinite(spec.alpha)) {
      __builtin_trap();
    }
    if (spec.unnamed && !spec.name.empty()) __builtin_trap();
    if (spec.name.size() > kMaxOverlayLineBytes) __builtin_trap();
  }
  return 0;
}
