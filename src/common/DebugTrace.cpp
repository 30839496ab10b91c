#include "common/DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vexa {

namespace {
constexpr size_t kTraceBufferSize = 256;
}

bool debugTraceEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("VEXA_DEBUG");
    return value != nullptr && *value != '\0' && *value != '0';
  }();
  return enabled;
}

void DebugTrace(const char* format, ...) {
  if (!debugTraceEnabled()) return;
  char buffer[kTraceBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::fprintf(stderr, "vexa: %s\n", buffer);
}

}  // namespace vexa
