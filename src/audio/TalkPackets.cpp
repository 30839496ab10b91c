#include "audio/TalkPackets.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioCodec.h"
#include "audio/G711.h"
#include "common/StreamConfig.h"
#include "media/rtp/RtpPacket.h"

namespace vexa::audio {

namespace {

constexpr uint8_t kPcmaPayloadType = 8;
constexpr uint8_t kPcmuPayloadType = 0;
constexpr uint8_t kG726PayloadType = 98;
constexpr uint32_t kTalkSsrc = 0;

bool isG726(int32_t audioCodec) {
  return audioCodec >= kAudioCodecG726_16 && audioCodec <= kAudioCodecG726_40;
}

}  // namespace

std::optional<uint8_t> talkPayloadType(int32_t audioCodec) {
  if (audioCodec == kAudioCodecPcma) return kPcmaPayloadType;
  if (audioCodec == kAudioCodecPcmu) return kPcmuPayloadType;
  if (isG726(audioCodec)) return kG726PayloadType;
  return std::nullopt;
}

std::string_view talkCodecName(int32_t audioCodec) {
  static constexpr std::string_view kNames[] = {"PCMA",    "PCMU",    "G726-16",
                                                "G726-24", "G726-32", "G726-40"};
  if (audioCodec < kAudioCodecPcma || audioCodec > kAudioCodecG726_40) return "none";
  return kNames[audioCodec];
}

void TalkBufferChunker::push(std::span<const uint8_t> pcm, const WholeBuffer& whole) {
  while (!pcm.empty()) {
    const size_t taken = std::min(pcm.size(), kTalkBufferBytes - held_);
    std::memcpy(partial_ + held_, pcm.data(), taken);
    held_ += taken;
    pcm = pcm.subspan(taken);
    if (held_ < kTalkBufferBytes) return;
    held_ = 0;
    whole(std::span<const uint8_t>(partial_, kTalkBufferBytes));
  }
}

void TalkPacketizer::start(int32_t audioCodec) {
  codec_ = audioCodec;
  payloadType_ = talkPayloadType(audioCodec);
  if (isG726(audioCodec)) g726_.reset(bitsPerSample(uint32_t(audioCodec)));
  sequence_ = 0;
  timestamp_ = 0;
}

size_t TalkPacketizer::encode(std::span<const int16_t> samples, std::span<uint8_t> out) {
  if (codec_ == kAudioCodecPcma) return encodeALaw(samples, out);
  if (codec_ == kAudioCodecPcmu) return encodeMuLaw(samples, out);
  return g726_.encode(samples, out);
}

std::vector<uint8_t> TalkPacketizer::packetFor(std::span<const uint8_t> pcm) {
  if (!payloadType_ || pcm.size() % sizeof(int16_t) != 0) return {};
  const size_t count = pcm.size() / sizeof(int16_t);
  samples_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    samples_[i] = int16_t(uint16_t(pcm[2 * i]) | uint16_t(pcm[2 * i + 1]) << 8);
  }
  std::vector<uint8_t> packet(rtp::kRtpHeaderSize + count);  // G.711's one byte per sample at most
  const size_t encoded =
      encode(samples_, std::span<uint8_t>(packet).subspan(rtp::kRtpHeaderSize));
  if (encoded == 0 && count != 0) return {};
  packet.resize(rtp::kRtpHeaderSize + encoded);
  timestamp_ += uint32_t(count);
  rtp::writeRtpHeader({.payloadType = *payloadType_,
                       .sequence = sequence_,
                       .timestamp = timestamp_,
                       .ssrc = kTalkSsrc},
                      std::span(packet).first<rtp::kRtpHeaderSize>());
  ++sequence_;
  return packet;
}

}  // namespace vexa::audio
