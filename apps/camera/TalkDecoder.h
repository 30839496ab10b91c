#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "camera/AudioCodec.h"
#include "camera/FfmpegAudio.h"

namespace vexa::camera {

// FFmpeg's decoder of one audio codec, payload by payload, keeping the state G.726 carries from
// one to the next.
class TalkDecoder {
 public:
  // False for AudioCodec::None or when FFmpeg lacks the decoder.
  bool open(AudioCodec codec);
  void close() { codec_.close(); }

  // The payload's samples appended to out; false, with out as it was, when the decoder refuses
  // the payload or gives nothing for it.
  bool decode(std::span<const uint8_t> payload, std::vector<int16_t>& out);

 private:
  OpenedAudioCodec codec_;
};

}  // namespace vexa::camera
