#include "camera/RtspServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/PictureGenerator.h"
#include "camera/RtpJpegTestSupport.h"
#include "camera/RtspTestSupport.h"
#include "common/Base64.h"
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

std::vector<ParsedRtp> rtpOn(const std::vector<InterleavedFrame>& frames, uint8_t channel) {
  std::vector<ParsedRtp> packets;
  for (const InterleavedFrame& frame : frames) {
    if (frame.channel != channel) continue;
    auto rtp = test::parseRtp(frame.data);
    EXPECT_TRUE(rtp) << "malformed RTP on channel " << int(channel);
    if (rtp) packets.push_back(std::move(*rtp));
  }
  return packets;
}

size_t markersOn(const std::vector<InterleavedFrame>& frames, uint8_t channel) {
  size_t markers = 0;
  for (const InterleavedFrame& frame : frames) {
    markers += frame.channel == channel && frame.data.size() > 1 && (frame.data[1] & 0x80);
  }
  return markers;
}

uint32_t hexField(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? 0
                                 : uint32_t(std::stoul(text.substr(at + key.size()), nullptr, 16));
}

// The "seq" and "rtptime" that RTP-Info gives a track.
std::pair<uint16_t, uint32_t> rtpInfoOf(const RtspReply& play, const std::string& track) {
  const std::string info = play.field("RTP-Info");
  const size_t at = info.find(track + ";seq=");
  if (at == std::string::npos) return {0, 0};
  const size_t seq = at + track.size() + 5;
  const size_t rtptime = info.find(";rtptime=", seq);
  return {uint16_t(std::stoul(info.substr(seq))), uint32_t(std::stoul(info.substr(rtptime + 9)))};
}

// The interleaved frame the viewer answers every RTCP packet with: a receiver report with one
// block, then a source description.
std::string viewerReceiverReport(uint8_t channel, uint32_t sourceSsrc) {
  const uint8_t report[52] = {
      0x81,
      201,
      0x00,
      0x07,  // V=2 RC=1, RR, 7 words
      0x11,
      0x22,
      0x33,
      0x44,  // reporter SSRC
      uint8_t(sourceSsrc >> 24),
      uint8_t(sourceSsrc >> 16),  // source SSRC
      uint8_t(sourceSsrc >> 8),
      uint8_t(sourceSsrc),  //
      0x05,
      0x00,
      0x00,
      0x03,  // fraction 5, lost 3
      0x00,
      0x01,
      0x12,
      0x34,  // extended highest 0x11234
      0x00,
      0x00,
      0x00,
      0x09,  // jitter 9
      0xAB,
      0xCD,
      0xEF,
      0x01,  // LSR
      0x00,
      0x00,
      0x10,
      0x00,  // DLSR
      0x81,
      202,
      0x00,
      0x04,  // SDES, 4 words
      0x11,
      0x22,
      0x33,
      0x44,  // SSRC
      1,
      9,
      '6',
      '1',
      '0',
      '-',
      'K',
      'e',
      'l',
      'm',
      'o',
      0,  // CNAME, 9 characters
  };
  std::string frame = {'$', char(channel), 0x00, 0x34};
  frame.append(reinterpret_cast<const char*>(report), sizeof report);
  return frame;
}

class RtspServerTest : public ::testing::Test {
 protected:
  void startServer(RtspServerOptions options = {}) {
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    options.senderReportIntervalMs = 200;
    server_ = std::make_unique<RtspServer>(options);
    ASSERT_TRUE(server_->start()) << server_->lastError();
    ASSERT_NE(server_->port(), 0);
  }

  std::string url(const std::string& path) const {
    return "rtsp://127.0.0.1:" + std::to_string(server_->port()) + path;
  }

  static std::string request(const std::string& line, int cseq, const std::string& extra = {}) {
    return line + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n" + extra + "\r\n";
  }

  struct Playing {
    RtspReply describe, setupVideo, setupAudio, play;
    std::string session;
  };

  // DESCRIBE, SETUP of video on 0-1 and audio on 2-3, PLAY, as the viewer sends them.
  Playing play(RtspTestClient& client, const std::string& path, bool audio = true) {
    Playing p;
    EXPECT_TRUE(client.connected());
    p.describe = client.request(request("DESCRIBE " + url(path), 0, "Accept: application/sdp\r\n"))
                     .value_or(RtspReply{});
    const std::string base = p.describe.field("Content-Base");
    p.setupVideo = client
                       .request(request("SETUP " + base + "trackID=1", 1,
                                        "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"))
                       .value_or(RtspReply{});
    const std::string session = p.setupVideo.field("Session");
    if (audio) {
      p.setupAudio = client
                         .request(request("SETUP " + base + "trackID=2", 2,
                                          "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n"))
                         .value_or(RtspReply{});
    }
    p.play = client
                 .request(request("PLAY " + base, 3,
                                  "Session: " + session + "\r\nRange: npt=0.000-\r\n"))
                 .value_or(RtspReply{});
    p.session = session.substr(0, session.find(';'));
    EXPECT_EQ(p.play.status, 200);
    return p;
  }

  std::unique_ptr<RtspServer> server_;
};

TEST_F(RtspServerTest, DescribesEachStreamWithBaseTypeLengthAndDescription) {
  startServer();
  RtspTestClient client(server_->port());
  const auto reply =
      client.request(request("DESCRIBE " + url("/h264"), 7, "Accept: application/sdp\r\n"));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->header.rfind("RTSP/1.0 200 OK\r\nCSeq: 7\r\n", 0), 0u) << reply->header;
  EXPECT_EQ(reply->field("Content-Base"), url("/h264/"));
  EXPECT_EQ(reply->field("Content-Type"), "application/sdp");
  EXPECT_EQ(reply->field("Content-Length"), std::to_string(reply->body.size()));
  const std::string& sdp = reply->body;
  EXPECT_EQ(sdp.rfind("v=0\r\no=- ", 0), 0u);
  EXPECT_NE(sdp.find("\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"), std::string::npos);
  EXPECT_NE(sdp.find("\r\na=framerate:20.0\r\na=cliprect:0,0,160,120\r\n"), std::string::npos);
  EXPECT_NE(sdp.find("\r\nm=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n"),
            std::string::npos);
  const std::string sprop = extractField(sdp, "sprop-parameter-sets", '=', '\r');
  const size_t comma = sprop.find(',');
  ASSERT_NE(comma, std::string::npos) << sdp;
  EXPECT_EQ(base64::decode(sprop.substr(0, comma)).at(0) & 0x1F, 7);   // SPS
  EXPECT_EQ(base64::decode(sprop.substr(comma + 1)).at(0) & 0x1F, 8);  // PPS

  const auto second = client.request(request("DESCRIBE " + url("/h264_2"), 8));
  ASSERT_TRUE(second);
  EXPECT_NE(second->body.find("a=cliprect:0,0,80,60\r\n"), std::string::npos) << second->body;
  const auto jpeg = client.request(request("DESCRIBE " + url("/jpeg/"), 9));
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(jpeg->field("Content-Base"), url("/jpeg/"));
  EXPECT_NE(jpeg->body.find(
                "\r\nm=video 0 RTP/AVP 26\r\na=rtpmap:26 JPEG/90000\r\na=control:trackID=1\r\n"),
            std::string::npos)
      << jpeg->body;
}

TEST_F(RtspServerTest, SetupEchoesChannelsAndKeepsOneSessionPerConnection) {
  startServer();
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264");
  EXPECT_EQ(p.setupVideo.status, 200);
  EXPECT_EQ(p.setupVideo.field("Transport").rfind("RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=", 0),
            0u);
  EXPECT_EQ(p.setupAudio.field("Transport").rfind("RTP/AVP/TCP;unicast;interleaved=2-3;ssrc=", 0),
            0u);
  EXPECT_EQ(p.setupVideo.field("Session"), p.session + ";timeout=60");
  EXPECT_EQ(p.setupAudio.field("Session"), p.setupVideo.field("Session"));
  EXPECT_NE(hexField(p.setupVideo.field("Transport"), "ssrc="),
            hexField(p.setupAudio.field("Transport"), "ssrc="));
}

// Plays a stream and checks the video packets: well-formed headers numbered from RTP-Info on,
// one timestamp per access unit with the marker on its last packet.
std::vector<ParsedRtp> checkedVideo(RtspTestClient& client, const RtspReply& setup,
                                    const RtspReply& play, uint8_t payloadType,
                                    size_t accessUnits) {
  client.pump([&] { return markersOn(client.frames(), 0) >= accessUnits; });
  std::vector<ParsedRtp> packets = rtpOn(client.frames(), 0);
  EXPECT_GE(markersOn(client.frames(), 0), accessUnits);
  const auto [firstSequence, firstTimestamp] = rtpInfoOf(play, "trackID=1");
  const uint32_t ssrc = hexField(setup.field("Transport"), "ssrc=");
  for (size_t i = 0; i < packets.size(); ++i) {
    const ParsedRtp& rtp = packets[i];
    EXPECT_EQ(rtp.version, 2);
    EXPECT_EQ(rtp.payloadType, payloadType);
    EXPECT_EQ(rtp.ssrc, ssrc);
    EXPECT_EQ(rtp.sequence, uint16_t(firstSequence + i)) << i;
    if (i == 0) {
      EXPECT_EQ(rtp.timestamp, firstTimestamp);
    } else if (!packets[i - 1].marker) {
      EXPECT_EQ(rtp.timestamp, packets[i - 1].timestamp) << i;
    }
    if (i > 0 && packets[i - 1].marker) {
      EXPECT_NE(rtp.timestamp, packets[i - 1].timestamp) << i;
      EXPECT_EQ((rtp.timestamp - firstTimestamp) % kTicksPerPicture, 0u) << i;
    }
  }
  return packets;
}

// Close to the generated picture of that index, and closer to it than to its neighbours, so
// that a timestamp one picture off shows.
void expectShowsPicture(const std::vector<uint8_t>& bgr, const PictureGenerator& generator,
                        uint32_t index) {
  const double error = test::meanAbsoluteError(bgr, generator.bgrFrame(index).pixels);
  EXPECT_LT(error, 2.0) << "picture " << index;
  EXPECT_LT(error, test::meanAbsoluteError(bgr, generator.bgrFrame(index + 1).pixels)) << index;
  if (index > 0) {
    EXPECT_LT(error, test::meanAbsoluteError(bgr, generator.bgrFrame(index - 1).pixels)) << index;
  }
}

// Reassembles and decodes H.264 access units; every picture must match the generated one.
void expectDecodesToGeneratedPictures(const std::vector<ParsedRtp>& packets,
                                      uint32_t firstTimestamp, size_t wantedPictures) {
  const PictureGenerator generator(kWidth, kHeight);
  test::H264Reassembler reassembler;
  test::H264TestDecoder decoder;
  size_t decoded = 0;
  for (const ParsedRtp& rtp : packets) {
    ASSERT_TRUE(reassembler.push(rtp.payload));
    if (!rtp.marker) continue;
    const int64_t index = (rtp.timestamp - firstTimestamp) / kTicksPerPicture;
    for (const auto& picture : decoder.decode(reassembler.takeAccessUnit(), index)) {
      expectShowsPicture(picture.bgr.pixels, generator, uint32_t(picture.pts));
      ++decoded;
    }
  }
  EXPECT_GE(decoded, wantedPictures);
}

TEST_F(RtspServerTest, PlaysH264ThatDecodesToTheGeneratedPictures) {
  RtspServerOptions options;
  options.keyFrameInterval = 4;
  options.maxRtpPacketSize = 400;  // key pictures need FU-A
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264", false);
  const auto packets = checkedVideo(client, p.setupVideo, p.play, 96, 10);
  ASSERT_FALSE(packets.empty());
  // The stream opens with the parameter sets of the description, then an IDR picture.
  const std::string sprop = extractField(p.describe.body, "sprop-parameter-sets", '=', '\r');
  EXPECT_EQ(packets[0].payload, base64::decode(sprop.substr(0, sprop.find(','))));
  EXPECT_EQ(packets[1].payload, base64::decode(sprop.substr(sprop.find(',') + 1)));
  bool fragmented = false;
  for (const ParsedRtp& rtp : packets) fragmented |= (rtp.payload[0] & 0x1F) == 28;
  EXPECT_TRUE(fragmented);
  expectDecodesToGeneratedPictures(packets, rtpInfoOf(p.play, "trackID=1").second, 9);
}

TEST_F(RtspServerTest, StapAOptionSendsParameterSetsTogether) {
  RtspServerOptions options;
  options.stapA = true;
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264_2", false);
  const auto packets = checkedVideo(client, p.setupVideo, p.play, 96, 3);
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(packets[0].payload[0] & 0x1F, 24);
  // Half size: the decoder sees an 80x60 stream.
  test::H264Reassembler reassembler;
  test::H264TestDecoder decoder;
  size_t decoded = 0;
  for (const ParsedRtp& rtp : packets) {
    ASSERT_TRUE(reassembler.push(rtp.payload));
    if (!rtp.marker) continue;
    for (const auto& picture : decoder.decode(reassembler.takeAccessUnit(), 0)) {
      EXPECT_EQ(picture.bgr.width, kWidth / 2);
      EXPECT_EQ(picture.bgr.height, kHeight / 2);
      ++decoded;
    }
  }
  EXPECT_GE(decoded, 2u);
}

TEST_F(RtspServerTest, PlaysJpegThatDecodesToTheGeneratedPictures) {
  RtspServerOptions options;
  options.maxRtpPacketSize = 500;  // several fragments per picture
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/jpeg", false);
  const auto packets = checkedVideo(client, p.setupVideo, p.play, 26, 4);
  const uint32_t firstTimestamp = rtpInfoOf(p.play, "trackID=1").second;
  const PictureGenerator generator(kWidth, kHeight);
  std::vector<std::vector<uint8_t>> pictureParts;
  size_t pictures = 0;
  for (const ParsedRtp& rtp : packets) {
    EXPECT_LE(rtp.payload.size() + 12, 500u);
    pictureParts.push_back(rtp.payload);
    if (!rtp.marker) continue;
    EXPECT_GT(pictureParts.size(), 1u);
    const auto decoded = test::decodeImage(test::rebuildJpeg(pictureParts), AV_CODEC_ID_MJPEG);
    pictureParts.clear();
    ASSERT_TRUE(decoded);
    const uint32_t index = (rtp.timestamp - firstTimestamp) / kTicksPerPicture;
    expectShowsPicture(decoded->bgr, generator, index);
    ++pictures;
  }
  EXPECT_GE(pictures, 4u);
}

TEST_F(RtspServerTest, SendsAudioInTwentyMillisecondPacketsOnItsChannel) {
  RtspServerOptions options;
  options.audio = AudioCodec::G726_24;
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/jpeg");
  EXPECT_NE(p.describe.body.find("m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-24/8000\r\n"),
            std::string::npos);
  client.pump([&] { return rtpOn(client.frames(), 2).size() >= 10; });
  const auto packets = rtpOn(client.frames(), 2);
  ASSERT_GE(packets.size(), 10u);
  const auto [firstSequence, firstTimestamp] = rtpInfoOf(p.play, "trackID=2");
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].payloadType, 97);
    EXPECT_EQ(packets[i].payload.size(), 60u);  // 160 samples of 3 bits
    EXPECT_EQ(packets[i].sequence, uint16_t(firstSequence + i));
    EXPECT_EQ(packets[i].timestamp, firstTimestamp + 160 * i);
    EXPECT_EQ(packets[i].marker, i == 0);
  }
  EXPECT_NE(packets[0].ssrc, rtpOn(client.frames(), 0).at(0).ssrc);
}

TEST_F(RtspServerTest, SendsSenderReportsAndCountsReceiverReports) {
  startServer();
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264");
  const uint32_t videoSsrc = hexField(p.setupVideo.field("Transport"), "ssrc=");
  const uint32_t audioSsrc = hexField(p.setupAudio.field("Transport"), "ssrc=");
  const auto reportOn = [&](uint8_t channel) -> const InterleavedFrame* {
    for (const auto& frame : client.frames()) {
      if (frame.channel == channel) return &frame;
    }
    return nullptr;
  };
  client.pump([&] { return reportOn(1) && reportOn(3); });
  for (const auto& [channel, ssrc] : {std::pair{1, videoSsrc}, std::pair{3, audioSsrc}}) {
    const InterleavedFrame* report = reportOn(uint8_t(channel));
    ASSERT_TRUE(report);
    ASSERT_GT(report->data.size(), 28u);  // readers want more than a bare sender report
    EXPECT_EQ(report->data[0], 0x80);
    EXPECT_EQ(report->data[1], 200);
    EXPECT_EQ(test::bigEndian32(&report->data[4]), ssrc);
    EXPECT_EQ(report->data[29], 202);  // then a source description
  }

  ASSERT_TRUE(client.sendRaw(viewerReceiverReport(1, videoSsrc)));
  ASSERT_TRUE(client.sendRaw(viewerReceiverReport(7, videoSsrc)));  // no stream on channel 7
  ASSERT_TRUE(client.sendRaw(viewerReceiverReport(2, audioSsrc)));  // an RTP channel
  ASSERT_TRUE(client.sendRaw(viewerReceiverReport(3, audioSsrc)));
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

TEST_F(RtspServerTest, NothingInterleavedPrecedesThePlayAnswer) {
  startServer();
  RtspTestClient client(server_->port());
  play(client, "/h264", false);
  // Nothing interleaved came before the PLAY answer, and the stream follows it.
  ASSERT_EQ(client.replyPositions().size(), 3u);
  EXPECT_EQ(client.replyPositions()[2], 0u);
  client.pump([&] { return !client.frames().empty(); });
  EXPECT_FALSE(client.frames().empty());
}

TEST_F(RtspServerTest, TeardownEndsTheSessionAndItsMedia) {
  startServer();
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/h264");
  client.pump([&] { return markersOn(client.frames(), 0) >= 2; });
  const auto teardown =
      client.request(request("TEARDOWN " + url("/h264/"), 4, "Session: " + p.session + "\r\n"));
  ASSERT_TRUE(teardown);
  EXPECT_EQ(teardown->status, 200);
  const auto options = client.request(request("OPTIONS " + url("/h264"), 5));
  ASSERT_TRUE(options);
  EXPECT_EQ(options->field("Public"), "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER");
  const auto& positions = client.replyPositions();
  ASSERT_EQ(positions.size(), 6u);
  EXPECT_EQ(positions[4], positions[5]) << "media after TEARDOWN";
  const auto again =
      client.request(request("PLAY " + url("/h264/"), 6, "Session: " + p.session + "\r\n"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 454);
}

TEST_F(RtspServerTest, ClosesTheConnectionAfterAnOversizedRequest) {
  startServer();
  RtspTestClient client(server_->port());
  ASSERT_TRUE(client.sendRaw("OPTIONS * RTSP/1.0\r\nX: " + std::string(9000, 'a')));
  const auto reply = client.nextReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 400);
  EXPECT_TRUE(client.waitForClose());
}

TEST_F(RtspServerTest, ClosesASessionThatStaysSilentPastItsTimeout) {
  RtspServerOptions options;
  options.sessionTimeoutSeconds = 1;
  startServer(options);
  RtspTestClient client(server_->port());
  const Playing p = play(client, "/jpeg", false);
  EXPECT_EQ(p.setupVideo.field("Session"), p.session + ";timeout=1");
  EXPECT_TRUE(client.waitForClose());
}

TEST_F(RtspServerTest, StopClosesPlayingConnections) {
  startServer();
  RtspTestClient client(server_->port());
  play(client, "/h264");
  client.pump([&] { return !client.frames().empty(); });
  server_->stop();
  EXPECT_TRUE(client.waitForClose());
  EXPECT_EQ(server_->activeClients(), 0u);
}

TEST(RtspServerStart, RefusesBadOptionsAndBusyPorts) {
  const auto refuses = [](auto change) {
    RtspServerOptions options;
    change(options);
    RtspServer server(options);
    EXPECT_FALSE(server.start());
    EXPECT_FALSE(server.lastError().empty());
  };
  refuses([](RtspServerOptions& o) { o.fps = 0; });
  refuses([](RtspServerOptions& o) { o.width = 8; });
  refuses([](RtspServerOptions& o) { o.maxRtpPacketSize = 100; });
  refuses([](RtspServerOptions& o) { o.h264PayloadType = 26; });
  refuses([](RtspServerOptions& o) { o.bindAddress = "nowhere"; });
  RtspServer first;
  ASSERT_TRUE(first.start());
  RtspServerOptions options;
  options.port = first.port();
  RtspServer second(options);
  EXPECT_FALSE(second.start());
}

}  // namespace
}  // namespace vexa::camera
