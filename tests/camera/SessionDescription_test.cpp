#include "camera/SessionDescription.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

// The viewer takes the audio codec and its rate from the description.
TEST(SessionDescription, NamesEveryAudioCodecAndItsRate) {
  const SessionDescriptionOrigin origin{"127.0.0.1", 42};
  const struct {
    AudioCodec codec;
    const char* lines;
  } cases[] = {
      {AudioCodec::Pcma,
       "\r\nm=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=control:trackID=2\r\n"},
      {AudioCodec::G726_16, "\r\nm=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-16/8000\r\n"},
      {AudioCodec::G726_32, "\r\nm=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-32/8000\r\n"},
      {AudioCodec::G726_40, "\r\nm=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-40/8000\r\n"},
  };
  for (const auto& c : cases) {
    const std::string sdp = writeSessionDescription(origin, VideoTrackDescription{}, c.codec);
    EXPECT_NE(sdp.find(c.lines), std::string::npos) << sdp;
  }
}

}  // namespace
}  // namespace vexa::camera
