#include "camera/AudioCodec.h"

#include <array>

namespace vexa::camera {
namespace {

constexpr std::string_view kNoneName = "none";
// Static payload types of RFC 3551 for G.711; G.726 takes a dynamic one, the same the viewer
// sends its talk audio with, so that sound each way has one type.
constexpr uint8_t kPcmuPayloadType = 0;
constexpr uint8_t kPcmaPayloadType = 8;
constexpr uint8_t kG726PayloadType = 98;

// RFC 3551 packs G.726 code words least significant bits first, which is FFmpeg's "g726le"; its
// "g726" packs them the other way round (the AAL2 order).
constexpr std::array<AudioCodecInfo, 6> kCodecs = {{
    {AudioCodec::Pcmu, "pcmu", "PCMU", kPcmuPayloadType, "pcm_mulaw", 8},
    {AudioCodec::Pcma, "pcma", "PCMA", kPcmaPayloadType, "pcm_alaw", 8},
    {AudioCodec::G726_16, "g726-16", "G726-16", kG726PayloadType, "g726le", 2},
    {AudioCodec::G726_24, "g726-24", "G726-24", kG726PayloadType, "g726le", 3},
    {AudioCodec::G726_32, "g726-32", "G726-32", kG726PayloadType, "g726le", 4},
    {AudioCodec::G726_40, "g726-40", "G726-40", kG726PayloadType, "g726le", 5},
}};

}  // namespace

const AudioCodecInfo* audioCodecInfo(AudioCodec codec) {
  for (const AudioCodecInfo& info : kCodecs) {
    if (info.codec == codec) return &info;
  }
  return nullptr;
}

std::optional<AudioCodec> audioCodecByOptionName(std::string_view name) {
  if (name == kNoneName) return AudioCodec::None;
  for (const AudioCodecInfo& info : kCodecs) {
    if (info.optionName == name) return info.codec;
  }
  return std::nullopt;
}

std::string_view audioOptionName(AudioCodec codec) {
  const AudioCodecInfo* info = audioCodecInfo(codec);
  return info ? info->optionName : kNoneName;
}

}  // namespace vexa::camera
