#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace vexa::platform {

// PCM as a recording device hands it over: 16-bit little-endian mono at 8000 Hz, in pieces of
// any size, on the device's own thread.
using AudioInputCallback = std::function<void(std::span<const uint8_t> pcm)>;

// A recording device, opened paused. Destroying it closes it and returns only after its last
// callback, so whatever the callback uses may go right after.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual void resume() = 0;
};

// What opening a device gave: the device, or none and the device's error text.
struct AudioInputOpening {
  std::unique_ptr<AudioInput> input;
  std::string error;
};

using AudioInputFactory = std::function<AudioInputOpening(AudioInputCallback)>;

// A factory that never finds a device.
AudioInputFactory noAudioInputFactory();

class ScriptedAudioInput;

// For tests: a microphone that plays a script. Each device it opens delivers the script's PCM in
// chunks of chunkBytes, at once or paced as a live device would be by the clock given, and
// optionally over and over. Any thread; it must outlive every device it opened.
class ScriptedMicrophone {
 public:
  struct Script {
    std::vector<uint8_t> pcm;
    size_t chunkBytes = 1024;
    const Clock* pace = nullptr;  // none: everything at once after resume
    bool repeat = false;
  };

  explicit ScriptedMicrophone(Script script) : script_(std::move(script)) {}

  AudioInputFactory factory();
  // From now on opens fail with this text; empty: they succeed again.
  void refuse(std::string error);
  size_t opens() const;
  // Bytes delivered by every device so far.
  size_t deliveredBytes() const;

 private:
  friend class ScriptedAudioInput;
  void countDelivered(size_t bytes);

  const Script script_;
  mutable std::mutex mutex_;
  std::string refusal_;
  size_t opens_ = 0;
  size_t delivered_ = 0;
};

}  // namespace vexa::platform
