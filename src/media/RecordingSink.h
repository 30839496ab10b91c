#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vexa {

// What a stream's description told of its video, published once read, for a recording asked for
// before it was known. Zero or empty: not told.
struct RecordedStreamFacts {
  uint32_t frameRate = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  // H.264 sprop-parameter-sets, raw (no start code).
  std::vector<uint8_t> sps;
  std::vector<uint8_t> pps;
};

// The recording tap of a stream: the paths that carry compressed pictures hand each one over,
// as received, while a recording runs. Called from the intake's thread (the display's for JPEG,
// the H.264 decode thread); describeStream from the thread that read the description.
class RecordingSink {
 public:
  virtual ~RecordingSink() = default;
  virtual bool IsRecording() const = 0;
  // The size of the pictures being handed over, when the path learns it.
  virtual void SetSize(int32_t width, int32_t height) = 0;
  // One JPEG picture or one H.264 access unit (Annex B). False: not taken.
  virtual bool AddFrame(std::span<const uint8_t> picture) = 0;
  virtual void describeStream(const RecordedStreamFacts& facts) = 0;
};

}  // namespace vexa
