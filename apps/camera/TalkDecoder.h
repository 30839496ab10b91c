#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "camera/AudioCodec.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vexa::camera {

// FFmpeg's decoder of one audio codec, payload by payload, keeping the state G.726 carries from
// one to the next.
class TalkDecoder {
 public:
  TalkDecoder() = default;
  TalkDecoder(const TalkDecoder&) = delete;
  TalkDecoder& operator=(const TalkDecoder&) = delete;
  ~TalkDecoder();

  // False for AudioCodec::None or when FFmpeg lacks the decoder.
  bool open(AudioCodec codec);
  void close();

  // The payload's samples appended to out; false, with out as it was, when the decoder refuses
  // the payload or gives nothing for it.
  bool decode(std::span<const uint8_t> payload, std::vector<int16_t>& out);

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace vexa::camera
