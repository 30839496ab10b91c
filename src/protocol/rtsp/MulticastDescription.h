#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/StreamConfig.h"
#include "protocol/rtsp/CodecConfigText.h"

namespace vexa {

constexpr uint32_t kDefaultSectionFrameRate = 15;

// One video section the multicast handler can play.
struct MulticastVideoSlot {
  uint8_t has = 0;
  uint32_t port = 0;
  std::string control;  // the "a=control" value whole; the handler sets nothing up with it
  uint32_t frameRate = kDefaultSectionFrameRate;
  // The fmtp "config" (MPEG-4) or "sprop-parameter-sets" (H.264) value; empty for JPEG.
  std::string configText;
  // From "a=cliprect"; none when the section had none, so the size stays what it was.
  std::optional<PictureSize> clip;
};

// The media sections of the two DESCRIBE answers, as the multicast handler plays them.
struct MulticastDescription {
  std::string groupAddress;
  // When 1, connection lines are read: the video section's own, else the session's.
  uint8_t readConnection = 0;
  uint8_t hasAudio = 0;
  int32_t audioCodec = kAudioCodecPcma;
  uint32_t audioPort = 0;
  std::string audioControl;
  MulticastVideoSlot mpeg4;
  MulticastVideoSlot jpeg;
  MulticastVideoSlot h264First;
  MulticastVideoSlot h264Second;
};

// Reads text (the handler's descriptionText) into description, line by line. Never fails: what it
// does not understand fills nothing.
void parseMulticastDescription(std::string_view text, MulticastDescription& description);

// The video section the stream of model plays; nullptr when the description has none for it.
const MulticastVideoSlot* playedVideoSlot(const MulticastDescription& description, uint32_t model);

// What the description tells the stream of config.model: its video ports and codec
// configuration, the audio codec and ports. Ports that leave no room for RTCP are not taken.
void applyMulticastDescription(const MulticastDescription& description, StreamConfig& config,
                               const Mpeg4SizeReader& mpeg4SizeReader = readMpeg4PictureSize);

}  // namespace vexa
