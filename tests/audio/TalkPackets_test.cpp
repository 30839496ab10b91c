#include "audio/TalkPackets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/G711.h"
#include "audio/G726.h"
#include "common/StreamConfig.h"
#include "media/rtp/RtpPacket.h"
#include "support/ToneAnalysis.h"

namespace vexa::audio {
namespace {

constexpr size_t kBuffers = 4;

// A 440 Hz tone, little-endian, as the microphone hands it over.
std::vector<uint8_t> tone(size_t samples) { return test::littleEndianBytes(test::talkTone(samples)); }

std::vector<std::vector<uint8_t>> packetsOf(int32_t codec, const std::vector<uint8_t>& pcm,
                                            size_t piece) {
  TalkPacketizer packetizer;
  packetizer.start(codec);
  TalkBufferChunker chunker;
  std::vector<std::vector<uint8_t>> packets;
  for (size_t at = 0; at < pcm.size(); at += piece) {
    const size_t size = std::min(piece, pcm.size() - at);
    chunker.push(std::span(pcm).subspan(at, size), [&](std::span<const uint8_t> buffer) {
      packets.push_back(packetizer.packetFor(buffer));
    });
  }
  return packets;
}

// The whole input encoded at once, so that a state reset between buffers shows.
std::vector<uint8_t> encodedWhole(int32_t codec, const std::vector<uint8_t>& pcm) {
  std::vector<int16_t> samples(pcm.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8);
  std::vector<uint8_t> out(samples.size());
  if (codec == kAudioCodecPcma) return {out.begin(), out.begin() + long(encodeALaw(samples, out))};
  if (codec == kAudioCodecPcmu) return {out.begin(), out.begin() + long(encodeMuLaw(samples, out))};
  G726Encoder encoder(codec);  // the G.726 codec values are their bits per sample
  return {out.begin(), out.begin() + long(encoder.encode(samples, out))};
}

TEST(TalkPackets, EachCodecSendsOneNumberedPacketPerBufferWithItsEncoderRunningOn) {
  const struct {
    int32_t codec;
    uint8_t payloadType;
    size_t payloadBytes;
  } codecs[] = {
      {kAudioCodecPcma, 8, 512},     {kAudioCodecPcmu, 0, 512},     {kAudioCodecG726_16, 98, 128},
      {kAudioCodecG726_24, 98, 192}, {kAudioCodecG726_32, 98, 256}, {kAudioCodecG726_40, 98, 320},
  };
  const std::vector<uint8_t> pcm = tone(kBuffers * kTalkBufferSamples);
  for (const auto& c : codecs) {
    SCOPED_TRACE(c.codec);
    const auto packets = packetsOf(c.codec, pcm, kTalkBufferBytes);
    ASSERT_EQ(packets.size(), kBuffers);
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < packets.size(); ++i) {
      const auto packet = rtp::parseRtpPacket(packets[i]);
      ASSERT_TRUE(packet);
      EXPECT_EQ(std::tuple(packet->payloadType, packet->marker, packet->sequence,
                           packet->timestamp, packet->ssrc, packet->payload.size()),
                std::tuple(c.payloadType, false, uint16_t(i), uint32_t(512 * (i + 1)), 0u,
                           c.payloadBytes));
      joined.insert(joined.end(), packet->payload.begin(), packet->payload.end());
    }
    EXPECT_EQ(joined, encodedWhole(c.codec, pcm));
    // Any cutting of the input, one piece splitting a sample, gives the same packets.
    for (const size_t piece : {size_t(1), size_t(333), size_t(1024), size_t(5000)}) {
      EXPECT_EQ(packetsOf(c.codec, pcm, piece), packets) << piece << "-byte pieces";
    }
  }
}

TEST(TalkPackets, ARestartCountsFromTheStartAndAnUnknownCodecSendsNothing) {
  const std::vector<uint8_t> pcm = tone(kTalkBufferSamples);
  TalkPacketizer packetizer;
  packetizer.start(kAudioCodecG726_32);
  const std::vector<uint8_t> first = packetizer.packetFor(pcm);
  packetizer.packetFor(pcm);
  packetizer.start(kAudioCodecG726_32);
  EXPECT_EQ(packetizer.packetFor(pcm), first) << "sequence, timestamp and encoder start again";
  for (const int32_t codec : {-1, 6}) {
    packetizer.start(codec);
    EXPECT_TRUE(packetizer.packetFor(pcm).empty()) << codec;
    EXPECT_FALSE(talkPayloadType(codec));
  }
}

}  // namespace
}  // namespace vexa::audio
