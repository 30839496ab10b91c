#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "media/RecordingSink.h"

namespace vexa::test {

// A recording sink that notes what the picture paths hand it, in order.
struct RecordingTap final : RecordingSink {
  bool IsRecording() const override { return recording; }
  void SetSize(int32_t width, int32_t height) override {
    calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
  }
  bool AddFrame(std::span<const uint8_t> picture) override {
    calls.push_back("frame " + std::to_string(picture.size()));
    frames.emplace_back(picture.begin(), picture.end());
    return true;
  }
  void describeStream(const RecordedStreamFacts&) override {}

  bool recording = true;
  std::vector<std::string> calls;
  std::vector<std::vector<uint8_t>> frames;
};

}  // namespace vexa::test
