#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "control/DVexaActiveX.h"

namespace vexa {

// The line protocol's limits: longer lines, deeper requests and longer waits are not served.
inline constexpr size_t kScriptLineMaxBytes = 64 * 1024;
inline constexpr int kScriptMaxNesting = 16;
inline constexpr uint32_t kScriptMaxWaitMs = 60000;

struct ScriptAnswer {
  std::string line;     // one JSON object, no newline
  uint32_t waitMs = 0;  // a wait request's: how long the host holds the line back
};

// Drives a control by one JSON request a line, through the dispatch table: each request gets
// exactly one answer, a result or an error, and nothing throws out of it.
class ScriptSession {
 public:
  explicit ScriptSession(DVexaActiveX& control) : control_(control) {}

  ScriptAnswer answer(std::string_view line) noexcept;
  // For a line over kScriptLineMaxBytes whose text was not kept.
  static ScriptAnswer answerTooLong() noexcept;

 private:
  DVexaActiveX& control_;
};

}  // namespace vexa
