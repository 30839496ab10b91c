#pragma once

namespace vexa {

// printf-style trace to stderr, silent unless VEXA_DEBUG is set in the environment.
// Traces never change behaviour.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

bool debugTraceEnabled();

}  // namespace vexa
