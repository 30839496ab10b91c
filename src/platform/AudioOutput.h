#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace vexa::platform {

// A sound device playing 16-bit little-endian mono PCM at 8000 Hz.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual bool queue(std::span<const uint8_t> pcm) = 0;  // false: refused/failed
  virtual size_t queuedBytes() const = 0;                // still waiting in the device
};

// Opens a device; nullptr when there is none (the player is then unusable).
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

// A device that plays instantly into nothing: headless hosts.
class NullAudioOutput final : public AudioOutput {
 public:
  bool queue(std::span<const uint8_t>) override { return true; }
  size_t queuedBytes() const override { return 0; }
};

AudioOutputFactory nullAudioOutputFactory();
// A factory that never finds a device.
AudioOutputFactory noAudioOutputFactory();

// Keeps everything queued to it, for tests; reports a queued-bytes figure the test sets and can
// be told to refuse. Thread-safe: players write on their worker, tests read on theirs.
class RecordingAudioOutput final : public AudioOutput {
 public:
  bool queue(std::span<const uint8_t> pcm) override;
  size_t queuedBytes() const override;

  void setQueuedBytes(size_t bytes);
  void setRefusing(bool refusing);

  // Everything accepted so far, in order.
  std::vector<uint8_t> pcm() const;
  // How many queue calls were accepted.
  size_t queueCount() const;

  // Outputs that forward to this one; it must outlive every output the factory makes.
  AudioOutputFactory factory();

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> pcm_;
  size_t queueCount_ = 0;
  size_t queuedBytes_ = 0;
  bool refusing_ = false;
};

}  // namespace vexa::platform
