// Reads arbitrary bytes as a DESCRIBE answer with every handler family's reading and every codec.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/rtsp/SessionDescription.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  for (const auto reader :
       {vexa::DescriptionReader::kInterleaved, vexa::DescriptionReader::kIPCameraSocket}) {
    for (const auto codec : {vexa::DescribedVideoCodec::kJpeg, vexa::DescribedVideoCodec::kMpeg4,
                             vexa::DescribedVideoCodec::kH264}) {
      vexa::StreamConfig config;
      const vexa::SessionDescription result =
          vexa::readSessionDescription(answer, config, {reader, codec});
      if (config.spsLength > vexa::kParameterSetSize ||
          config.ppsLength > vexa::kParameterSetSize ||
          (result.audioCodecIndex && *result.audioCodecIndex > 5)) {
        __builtin_trap();
      }
      // The handlers compose their SETUP URLs from what was read.
      const std::string url = vexa::composeControlUrl(result.contentBase, result.videoControl);
      if (url.size() > result.contentBase.size() + result.videoControl.size()) __builtin_trap();
    }
  }
  return 0;
}
