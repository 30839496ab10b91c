// Any text as a page's origin: read or refused, never more; what reads is allowed once allowed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "control/ScriptingPolicy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vexa::ScriptingPolicy policy;
  const bool read = vexa::parseScriptOrigin(text).has_value();
  if (policy.allow(text) != read) std::abort();
  if (read && !policy.allows(text)) std::abort();
  return 0;
}
