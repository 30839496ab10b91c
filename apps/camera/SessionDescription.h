#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/AudioCodec.h"

namespace vexa::camera {

enum class VideoCodec { H264, Jpeg, Mpeg4 };

constexpr uint32_t kVideoClockRate = 90000;
constexpr uint8_t kJpegPayloadType = 26;  // static, RFC 3551
constexpr uint8_t kDefaultH264PayloadType = 96;
constexpr uint8_t kMpeg4PayloadType = 96;
// Track names relative to the Content-Base, as the media sections' control attributes give them.
constexpr std::string_view kVideoTrack = "trackID=1";
constexpr std::string_view kAudioTrack = "trackID=2";

struct VideoTrackDescription {
  VideoCodec codec = VideoCodec::H264;
  uint8_t payloadType = kDefaultH264PayloadType;
  int width = 0;
  int height = 0;
  int fps = 0;
  std::vector<uint8_t> sps;  // H.264 only
  std::vector<uint8_t> pps;
  std::vector<uint8_t> mpeg4Config;  // MPEG-4 only: from its visual object sequence start code on
};

// The audio a description offers: none, or a codec and the port clients send their own audio to.
struct AudioTrackDescription {
  AudioCodec codec = AudioCodec::None;
  uint16_t talkPort = 0;
};

struct SessionDescriptionOrigin {
  std::string address;  // the server's: IPv4 or IPv6 text for the origin line
  uint64_t sessionId = 0;
};

// The SDP (RFC 4566) a DESCRIBE answer carries: session lines with an aggregate control, the
// video section, then the audio section unless its codec is None. Lines end in CR LF. The origin
// and connection lines say IP6 when the origin address is IPv6.
std::string writeSessionDescription(const SessionDescriptionOrigin& origin,
                                    const VideoTrackDescription& video,
                                    const AudioTrackDescription& audio);

// RFC 6184 section 8.1: profile_idc, the constraint flags and level_idc of the SPS in hexadecimal;
// empty when the SPS is too short.
std::string profileLevelId(const std::vector<uint8_t>& sps);

// RFC 3016 section 5.1: the profile_and_level_indication after the configuration's visual object
// sequence start code, in decimal; "1" when there is none.
std::string mpeg4ProfileLevelId(const std::vector<uint8_t>& config);

}  // namespace vexa::camera
