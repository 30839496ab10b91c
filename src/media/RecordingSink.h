#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/StreamConfig.h"

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

// What a recording holds.
constexpr uint32_t kAviKindJpeg = 0;
constexpr uint32_t kAviKindH264 = 1;

// The recorder a stream player owns: asked from the user-interface thread, fed by the tap above.
class StreamRecorder : public RecordingSink {
 public:
  // Told once per failed recording, on the intake's thread, with the text for the user.
  using FailureReport = std::function<void(const std::string& text)>;

  // Numbered files from path (cam.avi gives cam001.avi, ...); false while one runs.
  virtual bool RequestStart(const std::string& path, uint32_t kind, int32_t fps, int32_t width,
                            int32_t height) = 0;
  virtual void RequestStop() = 0;
  // Writes out what is held and closes the file. The intake must be stopped.
  virtual void Close() = 0;
  // The files of the current or last recording, in order.
  virtual std::vector<std::string> filesWritten() const = 0;
};

// Makes the recorder of a player; the player passes where failures are to be told.
using StreamRecorderFactory =
    std::function<std::unique_ptr<StreamRecorder>(StreamRecorder::FailureReport report)>;

// The facts a description left in a stream's configuration.
inline RecordedStreamFacts recordedFactsOf(const StreamConfig& config) {
  const auto set = [](const auto& bytes, uint32_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min<size_t>(length, bytes.size()));
  };
  return {.frameRate = config.frameRate,
          .width = config.width,
          .height = config.height,
          .sps = set(config.sps, config.spsLength),
          .pps = set(config.pps, config.ppsLength)};
}

}  // namespace vexa
