// Arbitrary bytes where an RTSP answer is expected: the answer reader (line ends in any form,
// announced lengths) and the Session header reader on whatever head it finds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/rtsp/RtspHeaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<vexa::RtspAnswer> answer = vexa::readRtspAnswer(text)) {
    if (answer->length > size) __builtin_trap();
    if (const std::optional<vexa::SessionHeader> session = vexa::readSessionHeader(answer->head)) {
      if (session->id.empty() || session->id.size() > answer->head.size()) __builtin_trap();
    }
  }
  (void)vexa::readSessionHeader(text);
  return 0;
}
