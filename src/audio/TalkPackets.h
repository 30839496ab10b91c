#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "audio/G726.h"

namespace vexa::audio {

// One recording buffer of the talk path: 512 samples of 16-bit mono PCM at 8000 Hz, 64 ms.
constexpr size_t kTalkBufferSamples = 512;
constexpr size_t kTalkBufferBytes = kTalkBufferSamples * 2;

// The RTP payload type the camera is sent for a StreamConfig::audioCodec value (PCMA 8, PCMU 0,
// the G.726 rates 98); none outside 0 to 5.
std::optional<uint8_t> talkPayloadType(int32_t audioCodec);
// The codec's name as descriptions write it ("PCMA", "G726-32"); "none" outside 0 to 5.
std::string_view talkCodecName(int32_t audioCodec);

// Cuts PCM arriving in pieces of any size into whole recording buffers. It holds at most one
// partial buffer, so a piece may split a sample.
class TalkBufferChunker {
 public:
  using WholeBuffer = std::function<void(std::span<const uint8_t>)>;
  void push(std::span<const uint8_t> pcm, const WholeBuffer& whole);
  void reset() { held_ = 0; }
  size_t heldBytes() const { return held_; }

 private:
  uint8_t partial_[kTalkBufferBytes] = {};
  size_t held_ = 0;
};

// Encodes each recording buffer with the talk codec into one RTP packet: version 2, no marker,
// SSRC 0, the sequence counting from 0 and the timestamp advanced by the buffer's samples before
// the header is written, so the first packet carries timestamp 512. The G.726 state runs on from
// buffer to buffer.
class TalkPacketizer {
 public:
  // A fresh encoder and counters for audioCodec (StreamConfig numbering).
  void start(int32_t audioCodec);
  // The packet for one buffer of little-endian samples; empty for a codec outside 0 to 5 or a
  // buffer that is not whole samples.
  std::vector<uint8_t> packetFor(std::span<const uint8_t> pcm);

  uint16_t nextSequence() const { return sequence_; }

 private:
  size_t encode(std::span<const int16_t> samples, std::span<uint8_t> out);

  int32_t codec_ = -1;
  std::optional<uint8_t> payloadType_;
  G726Encoder g726_;
  uint16_t sequence_ = 0;
  uint32_t timestamp_ = 0;
  std::vector<int16_t> samples_;
};

}  // namespace vexa::audio
