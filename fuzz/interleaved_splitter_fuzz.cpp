// Arbitrary bytes on an RTSP connection after PLAY, in reads of varying size: frames, answers to
// keep-alives (whose Session header is read as the dialogue would), garbage.
#include <cstddef>
#include <cstdint>

#include "protocol/rtsp/InterleavedSplitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::ByteBuffer buffer;
  const size_t chunk = size > 0 ? 1 + data[0] % 97 : 1;
  for (size_t offset = 0; offset < size; offset += chunk) {
    const size_t n = size - offset < chunk ? size - offset : chunk;
    buffer.append(data + offset, int32_t(n));
    vexa::InterleavedSplitter::split(
        buffer,
        [](uint8_t channel, std::span<const uint8_t> body) {
          if (channel > vexa::InterleavedSplitter::kHighestChannel || body.size() > 65535) __builtin_trap();
        },
        [](const vexa::RtspAnswer& answer) {
          if (answer.head.size() > size_t(vexa::kMaxAnswerBytes) * 2) __builtin_trap();
          (void)vexa::readSessionHeader(answer.head);
        });
  }
  return 0;
}
