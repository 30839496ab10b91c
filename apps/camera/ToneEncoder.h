#pragma once

#include <cstdint>
#include <vector>

#include "camera/AudioCodec.h"
#include "camera/FfmpegAudio.h"

namespace vexa::camera {

// The camera's microphone: a steady 1 kHz tone at 8000 Hz, encoded by FFmpeg and handed out in
// slices of any whole number of samples, whatever frame size the encoder works in.
class ToneEncoder {
 public:
  static constexpr int kToneHz = 1000;
  static constexpr int kAmplitude = 8000;  // about -12 dB below full scale

  ToneEncoder() = default;
  ToneEncoder(const ToneEncoder&) = delete;
  ToneEncoder& operator=(const ToneEncoder&) = delete;
  ~ToneEncoder();

  // False for AudioCodec::None or when FFmpeg lacks the encoder.
  bool open(AudioCodec codec);
  void close();

  // The encoded bytes of the next sampleCount samples (a multiple of 8, so that every code word
  // size ends on a byte); empty on failure.
  std::vector<uint8_t> encodeNext(int sampleCount);

  // The tone's sample n, as encoded.
  static int16_t toneSample(uint64_t n);

 private:
  bool encodeOneFrame();

  OpenedAudioCodec codec_;
  int bitsPerSample_ = 0;
  int frameSamples_ = 0;
  uint64_t nextSample_ = 0;
  std::vector<uint8_t> encoded_;  // encoded ahead, not handed out yet
};

}  // namespace vexa::camera
