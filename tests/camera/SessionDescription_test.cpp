#include "camera/SessionDescription.h"

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

const SessionDescriptionOrigin kOrigin{"127.0.0.1", 42};

VideoTrackDescription h264Track() {
  VideoTrackDescription video;
  video.width = 640;
  video.height = 480;
  video.fps = 25;
  video.sps = {0x67, 0x42, 0xC0, 0x1E, 0xDA};
  video.pps = {0x68, 0xCE, 0x3C, 0x80};
  return video;
}

TEST(SessionDescription, DescribesH264WithG711Audio) {
  EXPECT_EQ(writeSessionDescription(kOrigin, h264Track(), AudioCodec::Pcma),
            "v=0\r\n"
            "o=- 42 1 IN IP4 127.0.0.1\r\n"
            "s=vexa-camera\r\n"
            "c=IN IP4 0.0.0.0\r\n"
            "t=0 0\r\n"
            "a=control:*\r\n"
            "a=range:npt=0-\r\n"
            "m=video 0 RTP/AVP 96\r\n"
            "a=rtpmap:96 H264/90000\r\n"
            "a=fmtp:96 packetization-mode=1;profile-level-id=42C01E;"
            "sprop-parameter-sets=Z0LAHto=,aM48gA==\r\n"
            "a=control:trackID=1\r\n"
            "a=framerate:25.0\r\n"
            "a=cliprect:0,0,640,480\r\n"
            "a=x-dimensions:640,480\r\n"
            "m=audio 0 RTP/AVP 8\r\n"
            "a=rtpmap:8 PCMA/8000\r\n"
            "a=control:trackID=2\r\n");
}

TEST(SessionDescription, DescribesJpegWithoutAudio) {
  VideoTrackDescription video;
  video.codec = VideoCodec::Jpeg;
  video.payloadType = kJpegPayloadType;
  video.width = 320;
  video.height = 240;
  video.fps = 10;
  const std::string sdp = writeSessionDescription(kOrigin, video, AudioCodec::None);
  const std::string media = sdp.substr(sdp.find("m="));
  EXPECT_EQ(media,
            "m=video 0 RTP/AVP 26\r\n"
            "a=rtpmap:26 JPEG/90000\r\n"
            "a=control:trackID=1\r\n"
            "a=framerate:10.0\r\n"
            "a=cliprect:0,0,320,240\r\n"
            "a=x-dimensions:320,240\r\n");
}

TEST(SessionDescription, NamesEachG726RateWithADynamicType) {
  const struct {
    AudioCodec codec;
    const char* map;
  } cases[] = {{AudioCodec::Pcmu, "m=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n"},
               {AudioCodec::G726_16, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-16/8000\r\n"},
               {AudioCodec::G726_24, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-24/8000\r\n"},
               {AudioCodec::G726_32, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-32/8000\r\n"},
               {AudioCodec::G726_40, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-40/8000\r\n"}};
  for (const auto& c : cases) {
    EXPECT_NE(writeSessionDescription(kOrigin, h264Track(), c.codec).find(c.map), std::string::npos)
        << c.map;
  }
}

// The viewer reads a description by searching the text after each media line for the first
// occurrence of a key and cutting the value between a start and an end character.
TEST(SessionDescription, ReadsBackTheWayTheViewerSearchesIt) {
  const std::string sdp = writeSessionDescription(kOrigin, h264Track(), AudioCodec::G726_32);
  std::string video = sdp.substr(sdp.find("m=video"));
  video = video.substr(video.find('\n') + 1);
  EXPECT_EQ(extractField(video, "a=control", ':', '\r'), "trackID=1");
  EXPECT_EQ(parseLeadingInteger(extractField(video, "a=framerate", ':', '.')), 25);
  const std::string clip = extractField(video, "a=cliprect", ':', '\r');
  long numbers[4] = {};
  size_t at = 0;
  for (long& number : numbers) {
    number = long(parseLeadingInteger(std::string_view(clip).substr(at)));
    at = clip.find(',', at) + 1;
  }
  EXPECT_EQ(numbers[2] - numbers[0], 640);  // width
  EXPECT_EQ(numbers[3] - numbers[1], 480);  // height
  const std::string sprop = extractField(video, "sprop-parameter-sets", '=', '\r');
  ASSERT_NE(sprop.find(','), std::string::npos);
  EXPECT_EQ(base64::decode(sprop.substr(0, sprop.find(','))), h264Track().sps);
  EXPECT_EQ(base64::decode(sprop.substr(sprop.find(',') + 1)), h264Track().pps);

  std::string audio = sdp.substr(sdp.find("m=audio"));
  audio = audio.substr(audio.find('\n') + 1);
  EXPECT_EQ(extractField(audio, "a=control", ':', '\r'), "trackID=2");
  EXPECT_EQ(parseLeadingInteger(extractField(audio.substr(audio.find("G726")), "G726", '-', '/')),
            32);
}

TEST(SessionDescription, ProfileLevelIdIsTheThreeBytesAfterTheHeader) {
  EXPECT_EQ(profileLevelId({0x67, 0x4D, 0x40, 0x1F, 0x00}), "4D401F");
  EXPECT_EQ(profileLevelId({0x67, 0x42}), "");
}

}  // namespace
}  // namespace vexa::camera
