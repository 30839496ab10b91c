#include "camera/RtspServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "camera/PictureGenerator.h"
#include "camera/RtspTestSupport.h"
#include "common/Base64.h"
#include "support/Codecs.h"
#include "support/Picture.h"

namespace vexa::camera {
namespace {

using test::InterleavedFrame;
using test::ParsedRtp;
using test::RtspReply;
using test::RtspTestClient;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 20;
constexpr uint32_t kTicksPerPicture = 90000 / kFps;
constexpr size_t kMaxRtpPacket = 400;  // key pictures need FU-A, JPEG pictures several packets

std::vector<ParsedRtp> rtpOn(const std::vector<InterleavedFrame>& frames, uint8_t channel) {
  std::vector<ParsedRtp> packets;
  for (const InterleavedFrame& frame : frames) {
    const auto rtp = frame.channel == channel ? test::parseRtp(frame.data) : std::nullopt;
    if (rtp) packets.push_back(*rtp);  // a malformed packet shows as a gap in the numbering
  }
  return packets;
}

size_t markersOn(const std::vector<InterleavedFrame>& frames, uint8_t channel) {
  const auto packets = rtpOn(frames, channel);
  return size_t(
      std::count_if(packets.begin(), packets.end(), [](auto& rtp) { return rtp.marker; }));
}

uint32_t ssrcOf(const RtspReply& setup) {
  const std::string ssrc = extractField(setup.field("Transport") + ";", "ssrc", '=', ';');
  return uint32_t(std::strtoul(ssrc.c_str(), nullptr, 16));
}

// The "seq" and "rtptime" that RTP-Info gives a track.
std::pair<uint16_t, uint32_t> rtpInfoOf(const RtspReply& play, const std::string& track) {
  const std::string info = play.field("RTP-Info") + ",";
  const std::string_view rest =
      std::string_view(info).substr(std::min(info.find(track), info.size()));
  return {uint16_t(parseLeadingInteger(extractField(rest, "seq", '=', ';'))),
          uint32_t(parseLeadingInteger(extractField(rest, "rtptime", '=', ',')))};
}

const InterleavedFrame* firstOn(RtspTestClient& client, uint8_t channel) {
  for (const auto& frame : client.frames()) {
    if (frame.channel == channel) return &frame;
  }
  return nullptr;
}

void expectSenderReport(const InterleavedFrame& report, uint32_t ssrc) {
  ASSERT_GE(report.data.size(), 32u);  // readers want more than a bare sender report
  EXPECT_EQ(report.data[0] << 8 | report.data[1], 0x80 << 8 | 200);  // V=2, SR
  EXPECT_EQ(test::big32(report.data, 4), ssrc);
  EXPECT_EQ(report.data[29], 202);  // then a source description
}

struct ServerPorts {
  uint16_t rtp = 0, rtcp = 0;
};

// The server ports a UDP SETUP answer names after the client's, RTCP right after an even RTP.
ServerPorts serverPortsOf(const RtspReply& setup, const test::UdpTestPorts& client) {
  const std::string transport = setup.field("Transport");
  const std::string expected = "RTP/AVP;unicast;" + client.clientPort() + ";server_port=";
  EXPECT_EQ(transport.rfind(expected, 0), 0u) << transport;
  EXPECT_NE(transport.find(";ssrc="), std::string::npos) << transport;
  const std::string_view ports = std::string_view(transport).substr(expected.size());
  ServerPorts server;
  server.rtp = uint16_t(parseLeadingInteger(ports));
  server.rtcp =
      uint16_t(parseLeadingInteger(ports.substr(std::min(ports.find('-') + 1, ports.size()))));
  EXPECT_EQ(server.rtp % 2, 0) << transport;
  EXPECT_EQ(server.rtcp, server.rtp + 1) << transport;
  return server;
}

// The interleaved frame the viewer answers every RTCP packet with: a receiver report with one
// block, then a source description.
std::string viewerReceiverReport(uint8_t channel, uint32_t sourceSsrc) {
  // clang-format off
  std::vector<uint8_t> frame = {
      '$',  channel, 0,    52,                          // interleaved frame of 52 bytes
      0x81, 201,     0,    7,    0x11, 0x22, 0x33, 0x44,  // V=2 RC=1, RR, 7 words; reporter SSRC
      0,    0,       0,    0,    5,    0,    0,    3,     // source SSRC (set below); lost 5/256, 3
      0,    1,       0x12, 0x34, 0,    0,    0,    9,     // extended highest 0x11234, jitter 9
      0xAB, 0xCD,    0xEF, 0x01, 0,    0,    0x10, 0,     // LSR, DLSR
      0x81, 202,     0,    4,    0x11, 0x22, 0x33, 0x44,  // SDES, 4 words, SSRC
      1,    9,       '6',  '1',  '0',  '-',  'K',  'e',   // CNAME, 9 characters
      'l',  'm',     'o',  0};                            // end of items
  // clang-format on
  for (int i = 0; i < 4; ++i) frame[12 + i] = uint8_t(sourceSsrc >> (24 - 8 * i));
  return std::string(frame.begin(), frame.end());
}

// The same report as a datagram.
std::string viewerReceiverReport(uint32_t sourceSsrc) {
  return viewerReceiverReport(0, sourceSsrc).substr(4);
}

class RtspServerTest : public ::testing::Test {
 protected:
  void startServer(RtspServerOptions options = {}) {
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    options.maxRtpPacketSize = kMaxRtpPacket;
    options.senderReportIntervalMs = 200;
    server_ = std::make_unique<RtspServer>(options);
    ASSERT_TRUE(server_->start()) << server_->lastError();
  }

  std::string url(const std::string& path) const {
    return "rtsp://127.0.0.1:" + std::to_string(server_->port()) + path;
  }

  static std::string request(const std::string& line, int cseq, const std::string& extra = {}) {
    return line + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n" + extra + "\r\n";
  }

  struct Playing {
    RtspReply describe, setupVideo, setupAudio, play;
  };

  static constexpr const char* kInterleavedVideo = "RTP/AVP/TCP;unicast;interleaved=0-1";
  static constexpr const char* kInterleavedAudio = "RTP/AVP/TCP;unicast;interleaved=2-3";

  // DESCRIBE, SETUP of video and audio (by default on 0-1 and 2-3, as the viewer asks; an empty
  // transport leaves the track out), PLAY.
  Playing play(RtspTestClient& client, const std::string& path,
               const std::string& videoTransport = kInterleavedVideo,
               const std::string& audioTransport = kInterleavedAudio) {
    Playing p;
    p.describe = client.request(request("DESCRIBE " + url(path), 0, "Accept: application/sdp\r\n"));
    const std::string base = p.describe.field("Content-Base");
    if (!videoTransport.empty()) {
      p.setupVideo = client.request(
          request("SETUP " + base + "trackID=1", 1, "Transport: " + videoTransport + "\r\n"));
    }
    if (!audioTransport.empty()) {
      p.setupAudio = client.request(request(
          "SETUP " + base + "trackID=2", 2,
          "Transport: " + audioTransport + "\r\n" +
              (videoTransport.empty() ? ""
                                      : "Session: " + p.setupVideo.field("Session") + "\r\n")));
    }
    const std::string session =
        (videoTransport.empty() ? p.setupAudio : p.setupVideo).field("Session");
    p.play = client.request(
        request("PLAY " + base, 3, "Session: " + session + "\r\nRange: npt=0.000-\r\n"));
    EXPECT_EQ(p.play.status, 200);
    return p;
  }

  // The video packets of `pictures` pictures: well-formed headers numbered from RTP-Info on, one
  // timestamp per picture with the marker on its last packet.
  std::vector<ParsedRtp> checkedVideo(RtspTestClient& client, const Playing& p, uint8_t payloadType,
                                      size_t pictures, uint8_t channel = 0) {
    client.pump([&] { return markersOn(client.frames(), channel) >= pictures; });
    std::vector<ParsedRtp> packets = rtpOn(client.frames(), channel);
    const auto [firstSequence, firstTimestamp] = rtpInfoOf(p.play, "trackID=1");
    for (size_t i = 0; i < packets.size(); ++i) {
      const ParsedRtp& rtp = packets[i];
      EXPECT_LE(rtp.payload.size() + 12, kMaxRtpPacket);
      EXPECT_EQ(rtp.payloadType, payloadType);
      EXPECT_EQ(rtp.ssrc, ssrcOf(p.setupVideo));
      EXPECT_EQ(rtp.sequence, uint16_t(firstSequence + i)) << i;
      const bool newPicture = i > 0 && packets[i - 1].marker;
      EXPECT_EQ(rtp.timestamp == (i == 0 ? firstTimestamp : packets[i - 1].timestamp), !newPicture);
      EXPECT_EQ((rtp.timestamp - firstTimestamp) % kTicksPerPicture, 0u) << i;
    }
    return packets;
  }

  // Close to the generated picture its timestamp names, and closer to it than to its
  // neighbours, so that a timestamp one picture off shows.
  void expectShowsPicture(const std::vector<uint8_t>& bgr, const Playing& p, uint32_t timestamp) {
    const uint32_t index = (timestamp - rtpInfoOf(p.play, "trackID=1").second) / kTicksPerPicture;
    const double error = test::meanAbsoluteError(bgr, generator_.bgrFrame(index).pixels);
    EXPECT_LT(error, 2.0) << "picture " << index;
    EXPECT_LT(error, test::meanAbsoluteError(bgr, generator_.bgrFrame(index + 1).pixels)) << index;
    if (index > 0) {
      EXPECT_LT(error, test::meanAbsoluteError(bgr, generator_.bgrFrame(index - 1).pixels));
    }
  }

  // Every access unit decodes to the picture its timestamp names, and every key picture opens
  // with the description's parameter sets.
  void expectH264Pictures(const std::vector<ParsedRtp>& packets, const Playing& p) {
    const std::string sprop = extractField(p.describe.body, "sprop-parameter-sets", '=', '\r');
    ASSERT_NE(sprop.find(','), std::string::npos) << p.describe.body;
    std::vector<uint8_t> parameterSets;
    for (const std::string& set :
         {sprop.substr(0, sprop.find(',')), sprop.substr(sprop.find(',') + 1)}) {
      parameterSets.insert(parameterSets.end(), {0, 0, 0, 1});
      const std::vector<uint8_t> bytes = base64::decode(set);
      parameterSets.insert(parameterSets.end(), bytes.begin(), bytes.end());
    }

    std::vector<uint8_t> unit;
    std::vector<int> types;  // of the picture's packets
    size_t pictures = 0;
    for (const ParsedRtp& rtp : packets) {
      types.push_back(rtp.payload.at(0) & 0x1F);
      ASSERT_TRUE(test::appendH264Payload(rtp.payload, unit));
      if (!rtp.marker) continue;
      // Parameter sets aggregated, the picture fragmented.
      EXPECT_EQ(types.front(), 24);
      EXPECT_EQ(types.back(), 28);
      types.clear();
      ASSERT_GT(unit.size(), parameterSets.size());
      EXPECT_TRUE(std::equal(parameterSets.begin(), parameterSets.end(), unit.begin()));
      const auto decoded = test::decodeImage(unit, AV_CODEC_ID_H264);
      ASSERT_TRUE(decoded);
      expectShowsPicture(decoded->bgr, p, rtp.timestamp);
      unit.clear();
      ++pictures;
    }
    EXPECT_GE(pictures, 4u);
  }

  std::unique_ptr<RtspServer> server_;
  const PictureGenerator generator_{kWidth, kHeight};
};

// What the viewer reads from the answers; both tracks interleaved; receiver reports counted
// only on a stream's RTCP channel.
TEST_F(RtspServerTest, PlaysH264AndAudioInterleavedAndCountsReceiverReports) {
  RtspServerOptions options;
  options.keyFrameInterval = 1;  // every access unit decodes on its own
  options.stapA = true;
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264");
  EXPECT_EQ(p.describe.header.rfind("RTSP/1.0 200 OK\r\nCSeq: 0\r\n", 0), 0u) << p.describe.header;
  EXPECT_EQ(p.describe.field("Content-Base"), url("/h264/"));
  EXPECT_EQ(p.describe.field("Content-Type"), "application/sdp");
  for (const char* lines :
       {"v=0\r\no=- ", "\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n",
        "\r\na=fmtp:96 packetization-mode=1;profile-level-id=",
        "\r\na=framerate:20.0\r\na=cliprect:0,0,160,120\r\na=x-dimensions:160,120\r\n",
        "\r\nm=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n"}) {
    EXPECT_NE(p.describe.body.find(lines), std::string::npos) << lines << " in " << p.describe.body;
  }
  EXPECT_EQ(p.setupVideo.field("Transport").rfind("RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=", 0),
            0u);
  EXPECT_EQ(p.setupAudio.field("Transport").rfind("RTP/AVP/TCP;unicast;interleaved=2-3;ssrc=", 0),
            0u);
  const uint32_t videoSsrc = ssrcOf(p.setupVideo), audioSsrc = ssrcOf(p.setupAudio);
  EXPECT_NE(videoSsrc, audioSsrc);
  const std::string session = p.setupVideo.field("Session");
  EXPECT_TRUE(session.size() > 11 && session.ends_with(";timeout=60")) << session;
  EXPECT_EQ(p.setupAudio.field("Session"), session);
  const RtspReply second =
      RtspTestClient(server_->port()).request(request("DESCRIBE " + url("/h264_2"), 1));
  EXPECT_NE(second.body.find("a=cliprect:0,0,80,60\r\n"), std::string::npos) << second.body;

  expectH264Pictures(checkedVideo(client, p, 96, 4), p);
  client.pump([&] {
    return firstOn(client, 1) && firstOn(client, 3) && rtpOn(client.frames(), 2).size() >= 3;
  });
  const auto audio = rtpOn(client.frames(), 2);
  ASSERT_GE(audio.size(), 3u);
  EXPECT_EQ(audio[0].ssrc, audioSsrc);
  EXPECT_TRUE(audio[0].marker && !audio[1].marker && !audio[2].marker);
  for (const auto& [channel, ssrc] : {std::pair{1, videoSsrc}, std::pair{3, audioSsrc}}) {
    const InterleavedFrame* report = firstOn(client, uint8_t(channel));
    ASSERT_TRUE(report);
    expectSenderReport(*report, ssrc);
  }

  // Channel 7 has no stream and channel 2 is an RTP channel: only two reports count.
  for (const auto& [channel, ssrc] :
       {std::pair{1, videoSsrc}, {7, videoSsrc}, {2, audioSsrc}, {3, audioSsrc}}) {
    ASSERT_TRUE(client.sendRaw(viewerReceiverReport(uint8_t(channel), ssrc)));
  }
  client.pump(
      [&] { return server_->receiverReportsReceived() >= 2 && server_->ignoredFrames() >= 2; });
  EXPECT_EQ(server_->receiverReportsReceived(), 2u);
  EXPECT_EQ(server_->ignoredFrames(), 2u);
  const auto last = server_->lastReceiverReport();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->channel, 3);
  EXPECT_EQ(last->streamSsrc, audioSsrc);
  EXPECT_EQ(last->report.sourceSsrc, audioSsrc);
  EXPECT_EQ(last->report.reporterSsrc, 0x11223344u);
  EXPECT_EQ(last->report.fractionLost, 5);
  EXPECT_EQ(last->report.cumulativeLost, 3u);
  EXPECT_EQ(last->report.highestSequence, 0x11234u);
  EXPECT_EQ(last->report.lastSenderReport, 0xABCDEF01u);
  EXPECT_GE(server_->senderReportsSent(), 2u);
}

// The interleaved and UDP roads share the same packets; TEARDOWN closes the server's ports.
TEST_F(RtspServerTest, PlaysH264AndAudioOverUdpAndCountsReportsAtTheServerPorts) {
  RtspServerOptions options;
  options.keyFrameInterval = 1;
  options.stapA = true;
  options.audio = AudioCodec::Pcma;
  startServer(options);
  RtspTestClient client(server_->port());
  test::UdpTestPorts video, audio;
  client.receiveDatagrams(video, 0);
  client.receiveDatagrams(audio, 2);
  const Playing p = play(client, "/h264", "RTP/AVP;unicast;" + video.clientPort(),
                         "RTP/AVP/UDP;unicast;" + audio.clientPort());
  const ServerPorts videoPorts = serverPortsOf(p.setupVideo, video);
  const ServerPorts audioPorts = serverPortsOf(p.setupAudio, audio);
  EXPECT_NE(videoPorts.rtp, audioPorts.rtp);
  EXPECT_EQ(p.setupAudio.field("Session"), p.setupVideo.field("Session"));
  expectH264Pictures(checkedVideo(client, p, 96, 4), p);

  client.pump([&] { return firstOn(client, 1) && firstOn(client, 3) && firstOn(client, 2); });
  const uint32_t videoSsrc = ssrcOf(p.setupVideo), audioSsrc = ssrcOf(p.setupAudio);
  // Media leaves from the RTP port, reports from the RTCP port, where answers are expected.
  for (const InterleavedFrame& frame : client.frames()) {
    const uint16_t expected[] = {videoPorts.rtp, videoPorts.rtcp, audioPorts.rtp, audioPorts.rtcp};
    ASSERT_LT(frame.channel, 4);
    EXPECT_EQ(frame.fromPort, expected[frame.channel]) << int(frame.channel);
  }
  expectSenderReport(*firstOn(client, 1), videoSsrc);
  expectSenderReport(*firstOn(client, 3), audioSsrc);

  // An answer to each port, from wherever the client likes; a stray datagram is not one.
  test::UdpEnd elsewhere;
  ASSERT_TRUE(video.rtcp.sendTo(videoPorts.rtcp, viewerReceiverReport(videoSsrc)));
  ASSERT_TRUE(elsewhere.sendTo(audioPorts.rtcp, "not RTCP"));
  ASSERT_TRUE(elsewhere.sendTo(audioPorts.rtcp, viewerReceiverReport(audioSsrc)));
  client.pump(
      [&] { return server_->receiverReportsReceived() >= 2 && server_->ignoredFrames() >= 1; });
  EXPECT_EQ(server_->receiverReportsReceived(), 2u);
  EXPECT_EQ(server_->ignoredFrames(), 1u);
  const auto last = server_->lastReceiverReport();
  ASSERT_TRUE(last);
  EXPECT_TRUE(last->datagram);
  EXPECT_EQ(last->streamSsrc, audioSsrc);
  EXPECT_EQ(last->report.lastSenderReport, 0xABCDEF01u);

  ASSERT_FALSE(test::udpPortClosed(videoPorts.rtp));
  const RtspReply teardown =
      client.request(request("TEARDOWN " + p.describe.field("Content-Base"), 4,
                             "Session: " + p.setupVideo.field("Session") + "\r\n"));
  EXPECT_EQ(teardown.status, 200);
  for (uint16_t port : {videoPorts.rtp, videoPorts.rtcp, audioPorts.rtp, audioPorts.rtcp}) {
    EXPECT_TRUE(test::udpPortClosed(port)) << port;
  }
}

// Each track takes its own road; the client going away ends the session and its ports.
TEST_F(RtspServerTest, PlaysJpegOverUdpBesideInterleavedAudioUntilTheClientLeaves) {
  startServer();
  RtspTestClient client(server_->port());
  test::UdpTestPorts video;
  client.receiveDatagrams(video, 4);  // channels 4 and 5, apart from the interleaved 0 to 3
  const Playing p = play(client, "/jpeg", "RTP/AVP;unicast;" + video.clientPort(),
                         "RTP/AVP/TCP;unicast;interleaved=0-1");
  EXPECT_NE(p.describe.body.find(
                "\r\nm=video 0 RTP/AVP 26\r\na=rtpmap:26 JPEG/90000\r\na=control:trackID=1\r\n"),
            std::string::npos)
      << p.describe.body;
  const ServerPorts videoPorts = serverPortsOf(p.setupVideo, video);
  EXPECT_EQ(p.setupAudio.field("Transport").rfind("RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=", 0),
            0u);
  // The integration suite's JPEG sites decode these pictures.
  EXPECT_FALSE(checkedVideo(client, p, 26, 3, 4).empty());
  client.pump([&] { return firstOn(client, 0); });
  const auto audioPackets = rtpOn(client.frames(), 0);
  ASSERT_FALSE(audioPackets.empty());
  EXPECT_EQ(audioPackets[0].ssrc, ssrcOf(p.setupAudio));

  client.closeConnection();
  ASSERT_TRUE(test::eventually([&] { return server_->activeClients() == 0; }));
  EXPECT_TRUE(test::udpPortClosed(videoPorts.rtp));
}

struct AudioCase {
  AudioCodec codec;
  const char* rtpmap;  // the description's lines for the track
  uint8_t payloadType;
  size_t packetBytes;  // 20 ms
};

class RtspServerAudioTest : public RtspServerTest,
                            public ::testing::WithParamInterface<AudioCase> {};

// Any codec on its own over UDP: the track the description names, in packets of 20 ms.
TEST_P(RtspServerAudioTest, SendsTheDescribedAudioOverUdp) {
  RtspServerOptions options;
  options.audio = GetParam().codec;
  startServer(options);
  RtspTestClient client(server_->port());
  test::UdpTestPorts audio;
  client.receiveDatagrams(audio, 2);
  const Playing p = play(client, "/jpeg", "", "RTP/AVP;unicast;" + audio.clientPort());
  EXPECT_NE(p.describe.body.find(GetParam().rtpmap), std::string::npos) << p.describe.body;
  client.pump([&] { return rtpOn(client.frames(), 2).size() >= 3; });
  const auto packets = rtpOn(client.frames(), 2);
  ASSERT_GE(packets.size(), 3u);
  const auto [firstSequence, firstTimestamp] = rtpInfoOf(p.play, "trackID=2");
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].payloadType, GetParam().payloadType);
    EXPECT_EQ(packets[i].payload.size(), GetParam().packetBytes);
    EXPECT_EQ(packets[i].sequence, uint16_t(firstSequence + i));
    EXPECT_EQ(packets[i].timestamp, firstTimestamp + 160 * i);
  }
  EXPECT_TRUE(rtpOn(client.frames(), 0).empty());  // no video was set up
}

constexpr AudioCase g726(AudioCodec codec, const char* rtpmap, size_t bytes) {
  return {codec, rtpmap, 97, bytes};
}

INSTANTIATE_TEST_SUITE_P(
    EveryCodec, RtspServerAudioTest,
    ::testing::Values(
        AudioCase{AudioCodec::Pcmu, "m=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n", 0, 160},
        AudioCase{AudioCodec::Pcma,
                  "m=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=control:trackID=2\r\n", 8, 160},
        g726(AudioCodec::G726_16, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-16/8000\r\n", 40),
        g726(AudioCodec::G726_24, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-24/8000\r\n", 60),
        g726(AudioCodec::G726_32, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-32/8000\r\n", 80),
        g726(AudioCodec::G726_40, "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-40/8000\r\n", 100)));

}  // namespace
}  // namespace vexa::camera
