#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "camera/Mpeg4Packetizer.h"
#include "camera/RtspServer.h"
#include "support/Loopback.h"
#include "support/RtpPackets.h"
#include "support/TempFolder.h"

namespace vexa::camera {
namespace {

using rtp::test::Bytes;
using rtp::test::concat;
using rtp::test::hexBytes;

const Bytes kConfig = hexBytes("000001B0 01 000001B5 09 00000100 00000120 0086C4");
const Bytes kGroupOfVops = hexBytes("000001B3 000102");
const Bytes kIntraVop = hexBytes("000001B6 10 AABBCCDDEEFF");  // coding type 00
const Bytes kPredictedVop = hexBytes("000001B6 51 112233");    // coding type 01

// Each picture is cut into full payloads but the last; the payloads give back the picture as
// sent, which carries the configuration only in front of intra pictures and only when asked.
TEST(Mpeg4Packetizer, CutsPicturesAndRepeatsTheConfigurationOnlyWhenAsked) {
  const Bytes intra = concat({kGroupOfVops, kIntraVop});
  const Bytes repeated = concat({kConfig, intra});  // as an encoder without a global header
  const Bytes configThenIntra = concat({kConfig, intra});
  const struct {
    const char* name;
    Bytes encoded;
    bool inBand;
    size_t maxPayload;
    Bytes sent;
    std::vector<size_t> sizes;
  } cases[] = {
      {"intra", intra, false, 4, intra, {4, 4, 4, 4, 2}},
      {"intra, in band", intra, true, 16, configThenIntra, {16, 16, 7}},
      {"predicted, in band", kPredictedVop, true, 100, kPredictedVop, {8}},
      {"repeated by the encoder", repeated, false, 18, intra, {18}},
      {"repeated, in band", repeated, true, 20, configThenIntra, {20, 19}},
      {"leading garbage", concat({{0xFF, 0x00}, kPredictedVop}), false, 5, kPredictedVop, {5, 3}},
      {"configuration alone", kConfig, true, 100, {}, {}},
  };
  for (const auto& c : cases) {
    const Bytes sent = mpeg4PictureAsSent(c.encoded, kConfig, c.inBand);
    EXPECT_EQ(sent, c.sent) << c.name;
    const auto payloads = packetizeMpeg4(sent, c.maxPayload);
    std::vector<size_t> sizes;
    for (const auto& payload : payloads) sizes.push_back(payload.size());
    EXPECT_EQ(sizes, c.sizes) << c.name;
    Bytes joined;
    for (const auto& payload : payloads)
      joined.insert(joined.end(), payload.begin(), payload.end());
    EXPECT_EQ(joined, sent) << c.name;
  }
}

std::string describe(uint16_t port, const std::string& path) {
  test::LoopbackConnection client(port);
  client.send("DESCRIBE rtsp://127.0.0.1:" + std::to_string(port) + path +
              " RTSP/1.0\r\nCSeq: 1\r\n\r\n");
  client.receiveUntil([](const std::string& answer) { return answer.ends_with("trackID=2\r\n"); });
  return client.received();
}

TEST(Mpeg4Stream, DescribesItsConfiguration) {
  RtspServer server({.width = 160, .height = 120});
  ASSERT_TRUE(server.start()) << server.lastError();
  const std::string answer = describe(server.port(), "/mpeg4");
  EXPECT_NE(answer.find("\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"),
            std::string::npos)
      << answer;
  std::smatch fmtp;
  ASSERT_TRUE(std::regex_search(
      answer, fmtp, std::regex("\r\na=fmtp:96 profile-level-id=([0-9]+);config=([0-9A-F]+)\r\n")))
      << answer;
  const Bytes config = hexBytes(fmtp[2].str());
  ASSERT_GT(config.size(), 8u);
  EXPECT_EQ(Bytes(config.begin(), config.begin() + 4), hexBytes("000001B0"));
  EXPECT_EQ(fmtp[1].str(), std::to_string(config[4]));
  bool hasLayer = false;
  for (size_t at = 0; at + 4 <= config.size(); ++at) {
    hasLayer |= config[at] == 0 && config[at + 1] == 0 && config[at + 2] == 1 &&
                (config[at + 3] & 0xF0) == 0x20;
  }
  EXPECT_TRUE(hasLayer) << fmtp[2].str();
}

// Exit status and everything the command wrote.
std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, output};
  char chunk[256];
  while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, got);
  return {::pclose(pipe), output};
}

// FFmpeg as the viewer: it plays the stream over either transport, with the configuration from
// the description alone or also in band, and decodes the dump of what was sent.
TEST(Mpeg4Stream, FfmpegDecodesTheStreamAndTheDump) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "ffmpeg is not installed";
  }
  const struct {
    const char* transport;
    bool inBand;
  } cases[] = {{"tcp", false}, {"udp", true}};
  for (const auto& c : cases) {
    test::TempFolder folder;
    std::string error;
    auto dump = VideoDump::create(folder.file("dump.m4v"), error);
    ASSERT_TRUE(dump) << error;
    RtspServer server(
        {.width = 160, .height = 120, .mpeg4ConfigInBand = c.inBand, .videoDump = dump.get()});
    ASSERT_TRUE(server.start()) << server.lastError();
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/mpeg4";
    const auto [status, output] =
        run("timeout 60 ffmpeg -nostdin -v error -rtsp_transport " + std::string(c.transport) +
            " -i " + url + " -frames:v 5 -f null -");
    EXPECT_EQ(status, 0) << c.transport << "\n" << output;
    EXPECT_EQ(output, "") << c.transport;
    server.stop();
    EXPECT_GE(dump->picturesWritten(), 5u) << c.transport;
    const auto [dumpStatus, dumpOutput] =
        run("ffmpeg -nostdin -v error -f m4v -i " + folder.file("dump.m4v") + " -f null -");
    EXPECT_EQ(dumpStatus, 0) << c.transport << "\n" << dumpOutput;
    EXPECT_EQ(dumpOutput, "") << c.transport;
  }
}

}  // namespace
}  // namespace vexa::camera
