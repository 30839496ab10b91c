#include "camera/SessionDescription.h"

#include <cstdio>

#include "common/Base64.h"
#include "common/UrlParts.h"
#include "media/Mpeg4Configuration.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kEnd = "\r\n";
constexpr std::string_view kSessionName = "vexa-camera";
constexpr size_t kProfileBytes = 3;

void line(std::string& out, std::string_view text) {
  out.append(text).append(kEnd);
}

std::string upperHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const uint8_t byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

void writeVideo(std::string& out, const VideoTrackDescription& video) {
  const std::string type = std::to_string(video.payloadType);
  const std::string width = std::to_string(video.width);
  const std::string height = std::to_string(video.height);
  line(out, "m=video 0 RTP/AVP " + type);
  if (video.codec == VideoCodec::H264) {
    line(out, "a=rtpmap:" + type + " H264/" + std::to_string(kVideoClockRate));
    // The parameter sets come last: readers take the value up to the end of the line.
    line(out, "a=fmtp:" + type + " packetization-mode=1;profile-level-id=" +
                  profileLevelId(video.sps) + ";sprop-parameter-sets=" + base64::encode(video.sps) +
                  "," + base64::encode(video.pps));
  } else if (video.codec == VideoCodec::Mpeg4) {
    line(out, "a=rtpmap:" + type + " MP4V-ES/" + std::to_string(kVideoClockRate));
    // The configuration comes last, as the parameter sets do for H.264.
    line(out, "a=fmtp:" + type + " profile-level-id=" + mpeg4ProfileLevelId(video.mpeg4Config) +
                  ";config=" + upperHex(video.mpeg4Config));
  } else {
    line(out, "a=rtpmap:" + type + " JPEG/" + std::to_string(kVideoClockRate));
  }
  line(out, "a=control:" + std::string(kVideoTrack));
  // Written with a fraction: readers take the whole number up to the '.'.
  line(out, "a=framerate:" + std::to_string(video.fps) + ".0");
  // Readers take the width as the third number less the first and the height as the fourth less
  // the second.
  line(out, "a=cliprect:0,0," + width + "," + height);
  line(out, "a=x-dimensions:" + width + "," + height);
}

void writeAudio(std::string& out, const AudioCodecInfo& audio, uint16_t talkPort) {
  const std::string type = std::to_string(audio.payloadType);
  line(out, "m=audio " + std::to_string(talkPort) + " RTP/AVP " + type);
  line(out, "a=rtpmap:" + type + " " + std::string(audio.encodingName) + "/" +
                std::to_string(kAudioClockRate));
  line(out, "a=control:" + std::string(kAudioTrack));
}

}  // namespace

std::string profileLevelId(const std::vector<uint8_t>& sps) {
  if (sps.size() < 1 + kProfileBytes) return {};
  char hex[2 * kProfileBytes + 1];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X", sps[1], sps[2], sps[3]);
  return hex;
}

std::string mpeg4ProfileLevelId(const std::vector<uint8_t>& config) {
  const std::optional<size_t> at =
      findMpeg4StartCode(config, 0, kVisualObjectSequenceCode, kVisualObjectSequenceCode);
  if (!at || *at + kMpeg4StartCodeSize >= config.size()) return "1";
  return std::to_string(config[*at + kMpeg4StartCodeSize]);
}

std::string writeSessionDescription(const SessionDescriptionOrigin& origin,
                                    const VideoTrackDescription& video,
                                    const AudioTrackDescription& audio) {
  std::string out;
  line(out, "v=0");
  const bool ipv6 = isIpv6Literal(origin.address);
  line(out, "o=- " + std::to_string(origin.sessionId) + " 1 IN " + (ipv6 ? "IP6 " : "IP4 ") +
                origin.address);
  line(out, "s=" + std::string(kSessionName));
  line(out, ipv6 ? "c=IN IP6 ::" : "c=IN IP4 0.0.0.0");
  line(out, "t=0 0");
  line(out, "a=control:*");
  line(out, "a=range:npt=0-");
  writeVideo(out, video);
  if (const AudioCodecInfo* info = audioCodecInfo(audio.codec)) {
    writeAudio(out, *info, audio.talkPort);
  }
  return out;
}

}  // namespace vexa::camera
