#include "camera/TalkReceiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "camera/RtspServer.h"
#include "camera/ToneEncoder.h"
#include "support/Datagrams.h"
#include "support/RtpPackets.h"
#include "support/TempFolder.h"

namespace vexa::camera {
namespace {

using rtp::test::rtpPacket;

constexpr int kPacketSamples = 512;

// A client's talk packet as the viewer sends it: timestamps one packet ahead from the start.
std::vector<uint8_t> talkPacket(uint8_t payloadType, uint16_t sequence,
                                std::span<const uint8_t> payload) {
  return rtpPacket(payloadType, false, sequence, uint32_t(sequence + 1) * kPacketSamples, payload,
                   0);
}

double signalToNoiseDb(std::span<const int16_t> got, uint64_t firstSample) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    const double expected = ToneEncoder::toneSample(firstSample + i);
    signal += expected * expected;
    noise += (got[i] - expected) * (got[i] - expected);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// How far got has the tone's shape (1: exactly) and the ratio of its energy to the tone's.
std::pair<double, double> correlationAndEnergy(std::span<const int16_t> got, uint64_t firstSample) {
  double product = 0, gotEnergy = 0, toneEnergy = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    const double expected = ToneEncoder::toneSample(firstSample + i);
    product += got[i] * expected;
    gotEnergy += double(got[i]) * got[i];
    toneEnergy += expected * expected;
  }
  return {product / std::sqrt(gotEnergy * toneEnergy), gotEnergy / toneEnergy};
}

// A server with audio, and a session on it from 127.0.0.1 over an RTSP connection.
struct CameraWithSession {
  explicit CameraWithSession(AudioCodec codec)
      : server({.width = 64, .height = 48, .audio = codec}) {}

  bool open() {
    if (!server.start()) return false;
    rtsp = std::make_unique<test::LoopbackConnection>(server.port());
    rtsp->send(
        "SETUP rtsp://127.0.0.1/jpeg/trackID=2 RTSP/1.0\r\nCSeq: 1\r\n"
        "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n\r\n");
    return rtsp->receiveUntil(
        [](const std::string& answer) { return answer.find("\r\n\r\n") != std::string::npos; });
  }

  RtspServer server;
  std::unique_ptr<test::LoopbackConnection> rtsp;
};

// Every codec's tone, encoded by FFmpeg and sent as the viewer sends it, comes back from a client
// with a session; a datagram from an address without one is only counted.
TEST(TalkReceiver, GivesBackTheToneOfEveryCodecFromAClientWithASession) {
  const struct {
    AudioCodec codec;
    bool waveform;  // compared sample by sample; else by shape and energy
  } codecs[] = {
      {AudioCodec::Pcmu, true},     {AudioCodec::Pcma, true},     {AudioCodec::G726_16, false},
      {AudioCodec::G726_24, false}, {AudioCodec::G726_32, false}, {AudioCodec::G726_40, false},
  };
  constexpr uint16_t kPackets = 6;
  for (const auto& c : codecs) {
    SCOPED_TRACE(std::string(audioOptionName(c.codec)));
    CameraWithSession camera(c.codec);
    ASSERT_TRUE(camera.open()) << camera.server.lastError();
    ASSERT_NE(camera.server.talkPort(), 0);
    const std::string audioLine = "m=audio " + std::to_string(camera.server.talkPort()) + " ";
    EXPECT_NE(camera.server.streams()[0].description.find(audioLine), std::string::npos);
    const uint8_t type = audioCodecInfo(c.codec)->payloadType;

    test::UdpEnd stranger("127.0.0.2");
    const std::vector<uint8_t> silence(kPacketSamples, 0xFF);
    ASSERT_TRUE(stranger.sendTo(camera.server.talkPort(), talkPacket(type, 0, silence)));
    test::UdpEnd client;
    ToneEncoder tone;
    ASSERT_TRUE(tone.open(c.codec));
    for (uint16_t sequence = 0; sequence < kPackets; ++sequence) {
      ASSERT_TRUE(client.sendTo(camera.server.talkPort(),
                                talkPacket(type, sequence, tone.encodeNext(kPacketSamples))));
    }
    const TalkReceiver& talk = *camera.server.talk();
    ASSERT_TRUE(talk.waitForPackets(kPackets, test::kGenerousWait));

    const TalkCounts counts = talk.counts();
    EXPECT_EQ(std::tuple(counts.packets, counts.gaps, counts.foreignDatagrams, counts.runts),
              std::tuple(kPackets, 0u, 1u, 0u));
    EXPECT_EQ(talk.sender(), Endpoint::parse("127.0.0.1", client.port()));
    EXPECT_EQ(talk.summary(),
              "talk: 6 packets from 127.0.0.1:" + std::to_string(client.port()) + ", 0 gaps");
    const std::vector<int16_t> pcm = talk.pcm();
    ASSERT_EQ(pcm.size(), size_t(kPackets) * kPacketSamples);
    // G.726 starts from silence and takes a packet or so to adapt to the tone.
    const auto settled = std::span(pcm).subspan(kPacketSamples);
    if (c.waveform) {
      EXPECT_GE(signalToNoiseDb(settled, kPacketSamples), 25.0);
    } else {
      const auto [correlation, energy] = correlationAndEnergy(settled, kPacketSamples);
      EXPECT_GE(correlation, 0.9);
      EXPECT_NEAR(energy, 1.0, 0.2);
    }
  }
}

// The order and counting of what arrives, by the receiver's own step: a missing packet becomes
// one packet of silence and one gap; late, repeated, foreign and malformed datagrams are counted
// and leave the sound alone.
TEST(TalkReceiver, FillsAGapAndCountsWhatItDrops) {
  const Endpoint client = *Endpoint::parse("127.0.0.1", 5000);
  const Endpoint stranger = *Endpoint::parse("127.0.0.2", 5000);
  TalkReceiver talk(AudioCodec::Pcmu,
                    [&](const Endpoint& sender) { return sender.sameAddress(client); });
  const std::vector<uint8_t> loud(kPacketSamples, 0x80);  // mu-law's largest positive value
  const std::vector<std::pair<std::vector<uint8_t>, Endpoint>> datagrams = {
      {talkPacket(0, 10, loud), client},   {talkPacket(0, 12, loud), client},  // 11 missing
      {talkPacket(0, 11, loud), client},                                       // late
      {talkPacket(0, 12, loud), client},                                       // repeated
      {talkPacket(0, 13, loud), stranger},                                     // no session
      {talkPacket(8, 13, loud), client},  // another payload type
      {talkPacket(0, 13, {}), client},    // no payload
      {{0x80, 0x00, 0x00}, client},       // not RTP
  };
  for (const auto& [bytes, from] : datagrams) talk.onDatagram(bytes, from);

  const TalkCounts counts = talk.counts();
  EXPECT_EQ(
      std::tuple(counts.packets, counts.gaps, counts.late, counts.foreignDatagrams, counts.runts),
      std::tuple(2u, 1u, 2u, 1u, 3u));
  const std::vector<int16_t> pcm = talk.pcm();
  ASSERT_EQ(pcm.size(), size_t(3 * kPacketSamples));
  const auto isSilent = [](std::span<const int16_t> part) {
    return std::all_of(part.begin(), part.end(), [](int16_t s) { return s == 0; });
  };
  EXPECT_FALSE(isSilent(std::span(pcm).first(kPacketSamples)));
  EXPECT_TRUE(isSilent(std::span(pcm).subspan(kPacketSamples, kPacketSamples)));
  EXPECT_FALSE(isSilent(std::span(pcm).last(kPacketSamples)));
  const std::vector<TalkArrival> arrivals = talk.arrivals();
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(std::tuple(arrivals[0].sequence, arrivals[0].sampleOffset, arrivals[1].sequence,
                       arrivals[1].sampleOffset),
            std::tuple(10, 0u, 12, size_t(2 * kPacketSamples)));
  EXPECT_LE(arrivals[0].arrivalUs, arrivals[1].arrivalUs);
}

uint32_t little32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

// The header's sizes follow every piece (a killed camera leaves a whole file), and the file
// stops growing at its cap.
TEST(TalkWavWriter, KeepsItsHeaderCurrentUpToItsCap) {
  test::TempFolder folder;
  std::string error;
  constexpr uint32_t kCap = 3000;
  auto wav = TalkWavWriter::create(folder.file("talk.wav"), error, kCap);
  ASSERT_TRUE(wav) << error;
  const auto sizes = [&] {
    const std::vector<uint8_t> file = folder.read("talk.wav");
    return std::tuple(file.size(), little32(file, 4), little32(file, 40));
  };
  const std::vector<uint8_t> header = folder.read("talk.wav");
  ASSERT_EQ(header.size(), TalkWavWriter::kHeaderBytes);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(header.begin() + 8, header.begin() + 16), "WAVEfmt ");
  // PCM, one channel, 8000 Hz, 16000 bytes a second, 2 bytes a sample of 16 bits.
  EXPECT_EQ(std::tuple(little32(header, 20), little32(header, 24), little32(header, 28),
                       little32(header, 32)),
            std::tuple(0x10001u, 8000u, 16000u, 0x100002u));

  wav->append(std::vector<int16_t>(1000, -3));
  EXPECT_EQ(sizes(), std::tuple(44u + 2000u, 36u + 2000u, 2000u));
  wav->append(std::vector<int16_t>(kCap, 1));
  wav->append(std::vector<int16_t>(1, 1));
  wav->close();
  const uint32_t capBytes = 2 * kCap;
  EXPECT_EQ(sizes(), std::tuple(44u + capBytes, 36u + capBytes, capBytes));
  EXPECT_EQ(folder.read("talk.wav")[44], 0xFD);  // -3, little-endian
}

}  // namespace
}  // namespace vexa::camera
