// Any bytes as one script line: exactly one answer, a JSON object on one line, whatever reached
// the control.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "script/ScriptSession.h"
#include "support/RecordingControl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::test::RecordingControl control;
  // Camera bytes that are not UTF-8 come back through the out-string and the string results.
  control.rtn = "\xff\xfe ok \xc3";
  control.text = "\xed\xa0\x80";
  vexa::ScriptSession session(control);
  const vexa::ScriptAnswer answer =
      session.answer(std::string_view(reinterpret_cast<const char*>(data), size));
  if (answer.line.find('\n') != std::string::npos) __builtin_trap();
  const auto parsed = nlohmann::json::parse(answer.line, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) __builtin_trap();
  if (answer.waitMs > vexa::kScriptMaxWaitMs) __builtin_trap();
  return 0;
}
