// Feeds a stream of RTP audio packets to the packet path: jitter buffer, block decode, and a
// device that plays into nothing. The first byte picks the codec; the rest is a sequence of
// packets, each prefixed with a 16-bit length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/AudioPacketPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vexa::audio::AudioPacketPath path(vexa::platform::nullAudioOutputFactory(),
                                    uint8_t(data[0] % vexa::audio::kCodecCount));
  std::span<const uint8_t> rest(data + 1, size - 1);
  while (rest.size() >= 2) {
    const size_t length = std::min<size_t>((size_t(rest[0]) << 8 | rest[1]), rest.size() - 2);
    path.onPacket(rest.subspan(2, length));
    rest = rest.subspan(2 + length);
  }
  return 0;
}
