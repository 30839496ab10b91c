#include "protocol/rtsp/MulticastDescription.h"

#include <gtest/gtest.h>

#include <string>

namespace vexa {
namespace {

MulticastDescription parse(std::string_view text, uint8_t readConnection = 1) {
  MulticastDescription description;
  description.readConnection = readConnection;
  parseMulticastDescription(text, description);
  return description;
}

// What the DESCRIBE reading keeps of a camera's two answers: the group inside the video section.
constexpr std::string_view kCameraText =
    "m=video 5000 RTP/AVP 96\r\n"
    "a=rtpmap:96 MP4V-ES/90000\r\n"
    "c=IN IP4 239.0.0.5/16\r\n"
    "a=fmtp:96 profile-level-id=1;config=000001B0F5000001B5\r\n"
    "a=cliprect:0,0,480,640\r\n"
    "a=framerate:25.0\r\n"
    "a=control:trackID=1\r\n"
    "m=audio 5004 RTP/AVP 0\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=control:trackID=2\r\n";

// A standard server's: the group at session level, b= first, the config in lower case ending in
// ';', and a second H.264 section.
constexpr std::string_view kServerText =
    "c=IN IP4 239.255.12.1/1\r\n"
    "m=video 6000 RTP/AVP 96\r\n"
    "b=AS:500\r\n"
    "a=rtpmap:96 H264/90000\r\n"
    "a=fmtp:96 "
    "packetization-mode=1;Sprop-Parameter-Sets=Z0IAHpWoKA9k,aM48gA==;profile-level-id=42001e\r\n"
    "m=video 6002 RTP/AVP 97\r\n"
    "i=second stream\r\n"
    "c=IN IP4 239.255.12.2/1\r\n"
    "a=rtpmap:97 H264/90000\r\n"
    "m=audio 6004 RTP/AVP 8\r\n"
    "b=AS:64\r\n"
    "a=rtpmap:8 PCMA/8000\r\n";

// A slot as one line: has, port, control, frame rate, codec text, clip.
std::string text(const MulticastVideoSlot& s) {
  const std::string clip =
      s.clip ? std::to_string(s.clip->width) + "x" + std::to_string(s.clip->height) : "-";
  return std::to_string(s.has) + " " + std::to_string(s.port) + " " + s.control + " " +
         std::to_string(s.frameRate) + " " + s.configText + " " + clip;
}

TEST(MulticastDescription, ReadsACameraStyleDescription) {
  const MulticastDescription d = parse(kCameraText);
  EXPECT_EQ(d.groupAddress, "239.0.0.5");
  EXPECT_EQ(text(d.mpeg4), "1 5000 trackID=1 25 000001B0F5000001B5 480x640");
  EXPECT_EQ(text(d.h264First), "0 0  15  -");
  EXPECT_EQ(d.audioControl, "trackID=2");  // the codec and port: see the apply test
}

TEST(MulticastDescription, ReadsAStandardServersDescriptionIntoBothH264Slots) {
  const MulticastDescription d = parse(kServerText);
  // The played (first) video section has no group of its own: the session's serves it.
  EXPECT_EQ(d.groupAddress, "239.255.12.1");
  EXPECT_EQ(text(d.h264First), "1 6000  15 Z0IAHpWoKA9k,aM48gA== -");
  EXPECT_EQ(text(d.h264Second), "1 6002  15  -");
  EXPECT_EQ(d.audioCodec, kAudioCodecPcma);
  EXPECT_EQ(parse(std::string(kServerText).replace(kServerText.find("i="), 2, "x=")).h264Second.has,
            0)
      << "a line other than i=, c=, b=, k= ends the section's attributes";
  EXPECT_EQ(parse("c=IN IP4 239.9.9.9/1\r\n" + std::string(kCameraText)).groupAddress, "239.0.0.5")
      << "the section's own group wins";
  EXPECT_EQ(parse(kCameraText, 0).groupAddress, "");
}

// What applying leaves in the configuration: "rtp/rtcp widthxheight sps-length config-byte
// audio-rtp/audio-rtcp codec".
std::string applied(uint32_t model, std::string_view text) {
  StreamConfig c;
  c.model = model;
  c.width = 320;
  c.height = 240;
  applyMulticastDescription(parse(text), c);
  return std::to_string(c.videoRtpPort) + "/" + std::to_string(c.videoRtcpPort) + " " +
         std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
         std::to_string(c.spsLength) + " " + std::to_string(c.mpeg4Config[4]) + " " +
         std::to_string(c.audioRtpPort) + "/" + std::to_string(c.audioRtcpPort) + " " +
         std::to_string(c.audioCodec);
}

TEST(MulticastDescription, ApplyingSetsTheModelsPortsAndCodecConfiguration) {
  const struct {
    uint32_t model;
    std::string_view text, expected;
  } cases[] = {
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4, kCameraText, "5000/5001 480x640 0 245 5004/5005 1"},
      // lower-case config ending in ';', no cliprect: the size stays
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4,
       "m=video 5000 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"
       "a=fmtp:96 CONFIG=000001b0f5000001b5;profile-level-id=1\r\n",
       "5000/5001 320x240 0 245 0/0 0"},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_H264, kServerText, "6000/6001 320x240 9 0 6004/6005 0"},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2, kServerText, "6000/6001 320x240 9 0 6004/6005 0"},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG, kServerText, "6100/6101 320x240 0 0 6004/6005 0"},
      // no port left for RTCP
      {IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG,
       "m=video 65535 RTP/AVP 26\r\na=rtpmap:26 JPEG/90000\r\n", "6100/6101 320x240 0 0 0/0 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(applied(c.model, c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace vexa
