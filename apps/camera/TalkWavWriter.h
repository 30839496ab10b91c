#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "camera/AudioCodec.h"
#include "platform/File.h"

namespace vexa::camera {

// The talk audio as a WAV file (8000 Hz, 16-bit, mono) written as it arrives. The sizes in the
// header are brought up to date after every piece, so a camera killed mid-way leaves a file
// players read to its last piece. Audio beyond the cap (10 minutes unless told) is not written.
class TalkWavWriter {
 public:
  static constexpr uint32_t kMaxSeconds = 10 * 60;  // the default cap
  static constexpr uint32_t kMaxSamples = kMaxSeconds * kAudioClockRate;
  static constexpr size_t kHeaderBytes = 44;

  // Creates or empties the file with an empty header; nullptr with error set when it cannot.
  static std::unique_ptr<TalkWavWriter> create(const std::string& path, std::string& error,
                                               uint32_t maxSamples = kMaxSamples);
  TalkWavWriter(const TalkWavWriter&) = delete;
  TalkWavWriter& operator=(const TalkWavWriter&) = delete;
  ~TalkWavWriter() { close(); }

  void append(std::span<const int16_t> samples);
  void close();
  uint32_t samplesWritten() const { return samples_; }

 private:
  explicit TalkWavWriter(uint32_t maxSamples) : maxSamples_(maxSamples) {}
  bool writeSizes();
  // Gives up on the file after a failed write: the camera goes on without it.
  void fail(int error);

  platform::PosixFile file_{platform::PosixFile::kDefaultBufferBytes / 64};
  const uint32_t maxSamples_;
  uint32_t samples_ = 0;
};

}  // namespace vexa::camera
