#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexa::camera {

// The audio a camera can offer beside its video: G.711 or G.726, 8000 Hz mono.
enum class AudioCodec { None, Pcmu, Pcma, G726_16, G726_24, G726_32, G726_40 };

struct AudioCodecInfo {
  AudioCodec codec;
  std::string_view optionName;    // as the command line names it: "pcmu", "g726-32"
  std::string_view encodingName;  // as rtpmap names it: "PCMU", "G726-32"
  uint8_t payloadType;
  std::string_view encoderName;  // FFmpeg's encoder
  int bitsPerSample;
};

constexpr int kAudioClockRate = 8000;

// Nullptr for AudioCodec::None.
const AudioCodecInfo* audioCodecInfo(AudioCodec codec);
// Any codec by its option name, "none" included.
std::optional<AudioCodec> audioCodecByOptionName(std::string_view name);
std::string_view audioOptionName(AudioCodec codec);

}  // namespace vexa::camera
