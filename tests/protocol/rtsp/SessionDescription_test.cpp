#include "protocol/rtsp/SessionDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr auto kInterleaved = DescriptionReader::kInterleaved;
constexpr auto kSocket = DescriptionReader::kIPCameraSocket;
constexpr auto kJpeg = DescribedVideoCodec::kJpeg;
constexpr auto kMpeg4 = DescribedVideoCodec::kMpeg4;
constexpr auto kH264 = DescribedVideoCodec::kH264;

std::string withHeader(std::string_view body) {
  return "RTSP/1.0 200 OK\r\nCSeq: 0\r\nContent-Base: rtsp://192.0.2.10/h264/\r\n"
         "Content-Type: application/sdp\r\n\r\n" +
         std::string(body);
}

const std::string kH264Answer = withHeader(
    "v=0\r\n"
    "o=- 1 1 IN IP4 192.0.2.10\r\n"
    "s=Media Presentation\r\n"
    "t=0 0\r\n"
    "m=video 0 RTP/AVP 96\r\n"
    "a=rtpmap:96 H264/90000\r\n"
    "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\n"
    "a=cliprect:0,0,480,640\r\n"
    "a=framerate:30.0\r\n"
    "a=control:trackID=1\r\n"
    "m=audio 5004 RTP/AVP 0\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=control:trackID=2\r\n");

const Bytes kSps = {0x67, 0x42, 0x00, 0x1E, 0x95, 0xA8, 0x28, 0x0F, 0x64};  // "Z0IAHpWoKA9k"
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};                                // "aM48gA=="

struct Reading {
  StreamConfig config;
  SessionDescription result;
};

Reading read(std::string_view answer, DescriptionReader reader = kInterleaved,
             DescribedVideoCodec codec = kH264, Mpeg4SizeReader sizeReader = readMpeg4PictureSize) {
  Reading reading;
  reading.result = readSessionDescription(answer, reading.config, {reader, codec, sizeReader});
  return reading;
}

Bytes sps(const StreamConfig& c) {
  return Bytes(c.sps.begin(), c.sps.begin() + c.spsLength);
}
Bytes pps(const StreamConfig& c) {
  return Bytes(c.pps.begin(), c.pps.begin() + c.ppsLength);
}

TEST(SessionDescription, ReadsVideoAndAudioSectionsOfTheInterleavedFamily) {
  const Reading r = read(kH264Answer);
  EXPECT_EQ(std::tuple(r.result.contentBase, r.result.videoControl, r.result.audioControl,
                       r.result.codecConfigText, r.result.audioCodecIndex),
            std::tuple("rtsp://192.0.2.10/h264/", "trackID=1", "trackID=2", "Z0IAHpWoKA9k,aM48gA==",
                       kAudioIndexPcmu));
  // cliprect 0,0,480,640: third minus first, fourth minus second.
  EXPECT_EQ(std::tuple(r.config.width, r.config.height, r.config.frameRate, r.config.audioCodec,
                       r.config.hasVideo, r.config.hasAudio),
            std::tuple(480u, 640u, 30u, kAudioCodecPcmu, 1, 1));
  EXPECT_EQ(std::pair(sps(r.config), pps(r.config)), std::pair(kSps, kPps));
  EXPECT_EQ(r.config.audioMediaPort, 0) << "only IPCameraSocket reads the audio port";
}

TEST(SessionDescription, FrameRateIsTheTextUpToTheNextDotAnywhereAfter) {
  EXPECT_EQ(read(withHeader("m=video 0 RTP/AVP 26\r\na=framerate:25\r\n")).config.frameRate, 0u);
  // The '.' of a later URL ends the value; its leading digits still read 25.
  EXPECT_EQ(read(withHeader("m=video 0 RTP/AVP 26\r\na=framerate:25\r\n"
                            "a=control:rtsp://192.0.2.10/video\r\n"))
                .config.frameRate,
            25u);
  EXPECT_EQ(read(withHeader("m=video 0 RTP/AVP 26\r\na=framerate:-5.0\r\n")).config.frameRate, 0u);
}

TEST(SessionDescription, MediaSearchPassesOverAudioBeforeVideoAndReadsOnIntoLaterSections) {
  const Reading r =
      read(withHeader("m=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=control:trackID=2\r\n"
                      "m=video 0 RTP/AVP 26\r\na=control:trackID=1\r\n"));
  EXPECT_EQ(std::tuple(r.config.hasVideo, r.config.hasAudio, r.result.videoControl,
                       r.result.audioControl),
            std::tuple(1, 0, "trackID=1", ""));
  EXPECT_EQ(r.config.audioCodec, kAudioCodecPcma) << "the default, untouched";
  EXPECT_FALSE(r.result.audioCodecIndex);
  // An attribute missing from the video section is taken from a later one.
  const Reading later =
      read(withHeader("m=video 0 RTP/AVP 26\r\na=rtpmap:26 JPEG/90000\r\n"
                      "m=audio 0 RTP/AVP 0\r\na=control:trackID=2\r\n"));
  EXPECT_EQ(std::tuple(later.result.videoControl, later.result.audioControl),
            std::tuple("trackID=2", "trackID=2"));
  for (const std::string_view body : {"v=0\r\ns=none\r\n", "m=application 0 RTP/AVP 107\r\n"}) {
    const Reading r = read(withHeader(body));
    EXPECT_EQ(std::tuple(r.config.hasVideo, r.config.hasAudio), std::tuple(0, 0)) << body;
  }
}

// The codec and its jitter index from the rtpmap lines; IPCameraSocket sets no index.
TEST(SessionDescription, AudioCodecFromTheRtpmapLines) {
  const struct {
    std::string maps;
    int32_t codec;
    std::optional<uint8_t> index;
  } cases[] = {
      {"97\r\na=rtpmap:97 G726-16/8000", kAudioCodecG726_16, kAudioCodecG726_16},
      {"97\r\na=rtpmap:97 G726-24/8000", kAudioCodecG726_24, kAudioCodecG726_24},
      {"97\r\na=rtpmap:97 G726-32/8000", kAudioCodecG726_32, kAudioCodecG726_32},
      {"97\r\na=rtpmap:97 G726-40/8000", kAudioCodecG726_40, kAudioCodecG726_40},
      {"97\r\na=rtpmap:97 G726-48/8000", kAudioCodecUnknownG726, std::nullopt},
      // A name tested earlier has set the index; the unknown rate does not undo it.
      {"0 97\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:97 G726-48/8000", kAudioCodecUnknownG726,
       kAudioIndexPcmu},
      // PCMU wins over PCMA whatever their order.
      {"0 8\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000", kAudioCodecPcmu, kAudioIndexPcmu},
      {"0 8\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:0 PCMU/8000", kAudioCodecPcmu, kAudioIndexPcmu},
      {"8\r\na=rtpmap:8 PCMA/8000", kAudioCodecPcma, kAudioIndexPcma},
  };
  for (const auto& c : cases) {
    const std::string answer = withHeader("m=audio 0 RTP/AVP " + c.maps + "\r\n");
    const Reading r = read(answer), socket = read(answer, kSocket);
    EXPECT_EQ(r.config.audioCodec, c.codec) << c.maps;
    EXPECT_EQ(r.result.audioCodecIndex, c.index) << c.maps;
    EXPECT_EQ(socket.config.audioCodec, c.codec) << c.maps;
    EXPECT_FALSE(socket.result.audioCodecIndex) << c.maps;
  }
}

TEST(SessionDescription, SpropValueIsCutAtTheCommaAndTheNextParameter) {
  const struct {
    std::string_view fmtp;
    Bytes sps, pps;
  } cases[] = {
      // Without a comma both sets are cleared, whatever was there before.
      {"sprop-parameter-sets=Z0IAHpWoKA9kaM48gA==", {}, {}},
      // "aM48" carries no padding: without the ';' the next parameter would decode into the PPS.
      {"sprop-parameter-sets=Z0IAHpWoKA9k,aM48;profile-level-id=42001E", kSps, {0x68, 0xCE, 0x3C}},
      // A second PPS is not decoded into the first.
      {"sprop-parameter-sets=Z0IAHpWoKA9k,aM48,aM4x", kSps, {0x68, 0xCE, 0x3C}},
  };
  for (const auto& c : cases) {
    Reading r;
    r.config.spsLength = r.config.ppsLength = 4;
    r.result = readSessionDescription(
        withHeader("m=video 0 RTP/AVP 96\r\na=fmtp:96 " + std::string(c.fmtp) + "\r\n"), r.config,
        {kInterleaved, kH264, {}});
    EXPECT_EQ(sps(r.config), c.sps) << c.fmtp;
    EXPECT_EQ(pps(r.config), c.pps) << c.fmtp;
  }
  EXPECT_EQ(read(withHeader("m=video 0 RTP/AVP 96\r\n"
                            "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9kaM48gA==\r\n"))
                .result.codecConfigText,
            "Z0IAHpWoKA9kaM48gA==");
}

TEST(SessionDescription, ParameterSetLargerThanItsFieldIsRefused) {
  // 344 Base64 characters without padding decode to 258 bytes; 342 and "==" to exactly 256.
  const std::string tooLong = std::string(344, 'A') + ",aM48gA==";
  StreamConfig config;
  EXPECT_FALSE(decodeSpropParameterSets(tooLong, config));
  EXPECT_EQ(config.spsLength, 0u);
  EXPECT_EQ(pps(config), kPps);
  EXPECT_TRUE(
      decodeSpropParameterSets(std::string(342, 'A') + "==," + std::string(342, 'B'), config));
  EXPECT_EQ(config.spsLength, 256u);
  EXPECT_EQ(config.ppsLength, 256u);
}

constexpr std::string_view kMpeg4Body =
    "m=video 0 RTP/AVP 96\r\n"
    "a=rtpmap:96 MP4V-ES/90000\r\n"
    "a=fmtp:96 profile-level-id=1;config=000001B0F5000001B50900000100000001200084\r\n";

// The configuration field: the given bytes, then zeros.
Bytes configField(Bytes bytes) {
  bytes.resize(kMaxMpeg4ConfigBytes, 0);
  return bytes;
}

const Bytes kMpeg4Config = {0x00, 0x00, 0x01, 0xB0, 0xF5, 0x00, 0x00, 0x01, 0xB5, 0x09,
                            0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0x84};

Bytes mpeg4Config(const StreamConfig& c) {
  return Bytes(c.mpeg4Config.begin(), c.mpeg4Config.end());
}

std::string mpeg4Fmtp(std::string_view config) {
  return "m=video 0 RTP/AVP 96\r\na=fmtp:96 config=" + std::string(config) + "\r\n";
}

TEST(SessionDescription, ConfigDigitsReadInEitherCaseEndAtSemicolonAndNeedAStartCode) {
  const Reading whole = read(withHeader(kMpeg4Body), kInterleaved, kMpeg4);
  EXPECT_EQ(mpeg4Config(whole.config), configField(kMpeg4Config));
  EXPECT_EQ(whole.config.mpeg4ConfigLength, kMpeg4Config.size());
  EXPECT_EQ(whole.result.codecConfigText, "000001B0F5000001B50900000100000001200084");
  // A longer configuration is kept to the cap, its first bytes as they were.
  std::string longConfig = "000001B0";
  for (int i = 0; i < 300; ++i) longConfig += "A5";
  Bytes capped = {0x00, 0x00, 0x01, 0xB0};
  capped.resize(kMaxMpeg4ConfigBytes, 0xA5);
  const Bytes fiveBytes = {0x00, 0x00, 0x01, 0xB0, 0xF5};
  const std::pair<std::string, Bytes> cases[] = {
      {"000001b0f5000001b50900000100000001200084", kMpeg4Config},
      {"000001B0F5;", fiveBytes},
      {"000001B0F5;profile-level-id=1", fiveBytes},
      {"000001B0F5X0", fiveBytes},
      {longConfig, capped},
      {"000001B5F5", {}},  // no start code: nothing changes
  };
  for (const auto& [config, expected] : cases) {
    const Reading r = read(withHeader(mpeg4Fmtp(config)), kInterleaved, kMpeg4);
    EXPECT_EQ(mpeg4Config(r.config), configField(expected)) << config;
    EXPECT_EQ(r.config.mpeg4ConfigLength, expected.size()) << config;
  }
}

TEST(SessionDescription, SizeReaderGetsTheStoredConfigAndCliprectStillWins) {
  Bytes given;
  const Mpeg4SizeReader reader = [&given](std::span<const uint8_t> bytes) {
    given.assign(bytes.begin(), bytes.end());
    return std::optional<PictureSize>(PictureSize{352, 288});
  };
  Reading r = read(withHeader(kMpeg4Body), kInterleaved, kMpeg4, reader);
  EXPECT_EQ(given, kMpeg4Config);
  EXPECT_EQ(r.config.width, 352u);
  EXPECT_EQ(r.config.height, 288u);
  r = read(withHeader(std::string(kMpeg4Body) + "a=cliprect:0,0,240,320\r\n"), kInterleaved, kMpeg4,
           reader);
  EXPECT_EQ(r.config.width, 240u);
  EXPECT_EQ(r.config.height, 320u);
}

TEST(SessionDescription, Mpeg4ConfigSetsThePictureSizeByDefault) {
  // libavcodec's configuration for 320 x 240 with its user data, 47 bytes: the video object
  // layer starts at byte 15.
  const std::string libavcodec =
      "000001B001000001B58913000001000000012000C48D8800CD0A041E1463000001B24C61766335392E3337"
      "2E313030";
  for (const auto reader : {kInterleaved, kSocket}) {
    const Reading r = read(withHeader(mpeg4Fmtp(libavcodec)), reader, kMpeg4);
    EXPECT_EQ(r.config.mpeg4ConfigLength, 47u);
    EXPECT_EQ(r.config.width, 320u);
    EXPECT_EQ(r.config.height, 240u);
  }
}

TEST(SessionDescription, SocketSearchesTheWholeAnswerReadsContentBaseAndTheAudioPort) {
  // A session-level fmtp ahead of the video section: only IPCameraSocket finds it.
  const std::string answer = withHeader(
      "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\n"
      "m=video 0 RTP/AVP 96\r\na=control:trackID=1\r\n");
  const Reading socket = read(answer, kSocket, kH264);
  EXPECT_EQ(socket.result.codecConfigText, "Z0IAHpWoKA9k,aM48gA==");
  EXPECT_EQ(sps(socket.config), kSps);
  const Reading interleaved = read(answer, kInterleaved, kH264);
  EXPECT_FALSE(interleaved.result.codecConfigText);
  EXPECT_EQ(interleaved.config.spsLength, 0u);
  for (const auto codec : {kJpeg, kMpeg4}) {
    EXPECT_EQ(read(kH264Answer, kSocket, codec).result.contentBase, "rtsp://192.0.2.10/h264/");
    EXPECT_EQ(read(kH264Answer, kInterleaved, codec).result.contentBase, "");
  }
  const Reading r = read(kH264Answer, kSocket, kH264);
  EXPECT_EQ(r.config.audioMediaPort, 5004);
  EXPECT_EQ(r.config.audioCodec, kAudioCodecPcmu);
  EXPECT_FALSE(r.result.audioCodecIndex);
  EXPECT_EQ(r.result.audioControl, "trackID=2");
  // A port that does not fit 16 bits is not stored cut down.
  EXPECT_EQ(read(withHeader("m=audio 70000 RTP/AVP 0\r\n"), kSocket).config.audioMediaPort, 0);
}

TEST(SessionDescription, ContentBaseMatchesInAnyCaseAndAnAbsoluteControlIsUsedAsItStands) {
  EXPECT_EQ(readContentBase("RTSP/1.0 200 OK\r\ncontent-base:  rtsp://192.0.2.10/a/ \t\r\n\r\n"),
            "rtsp://192.0.2.10/a/");
  EXPECT_EQ(readContentBase("RTSP/1.0 200 OK\r\nCSeq: 0\r\n\r\n"), "");
  const Reading r =
      read(withHeader("m=video 0 RTP/AVP 96\r\n"
                      "a=control:rtsp://192.0.2.10/h264/trackID=1\r\n"));
  EXPECT_EQ(composeControlUrl(r.result.contentBase, r.result.videoControl),
            "rtsp://192.0.2.10/h264/trackID=1");
  EXPECT_EQ(composeControlUrl("rtsp://192.0.2.10/h264/", "trackID=1"),
            "rtsp://192.0.2.10/h264/trackID=1");
  EXPECT_EQ(composeControlUrl("rtsp://a/", " RTSP://192.0.2.10/x"), "RTSP://192.0.2.10/x");
  EXPECT_EQ(composeControlUrl("", "trackID=1"), "trackID=1");
  EXPECT_FALSE(isAbsoluteRtspUrl("rtsp:/"));
}

// Reads of cut and arbitrary answers stay in bounds: fuzz/session_description_fuzz.cpp.
TEST(SessionDescription, MalformedValuesLeaveOutputsAlone) {
  // A media line running to the end of the text ends the search.
  EXPECT_EQ(read(withHeader("m=video 0 RTP/AVP 26")).config.hasVideo, 1);
  for (const std::string_view clip : {"a=cliprect:0,0,480\r\n", "a=cliprect:0,0,-1,640\r\n",
                                      "a=cliprect:100,0,50,640\r\n", "a=cliprect:\r\n"}) {
    const Reading r = read(withHeader("m=video 0 RTP/AVP 26\r\n" + std::string(clip)));
    EXPECT_EQ(r.config.width, 0u) << clip;
    EXPECT_EQ(r.config.height, 0u) << clip;
  }
  const Reading huge =
      read(withHeader("m=video 0 RTP/AVP 26\r\n"
                      "a=cliprect:0,0,99999999999999999999,1\r\n"
                      "a=framerate:99999999999999999999.0\r\n"));
  EXPECT_EQ(huge.config.width, 0u);
  EXPECT_EQ(huge.config.frameRate, 0u);
  // Endless media sections still end.
  std::string body;
  for (int i = 0; i < 20000; ++i) body += "m=video\n";
  EXPECT_EQ(read(withHeader(body)).config.hasVideo, 1);
}

}  // namespace
}  // namespace vexa
