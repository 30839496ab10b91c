#include "platform/AudioInput.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/Thread.h"

namespace vexa::platform {

namespace {
constexpr uint32_t kBytesPerMs = 16;  // 8000 samples of 2 bytes a second
constexpr uint32_t kPaceCheckMs = 1;
}  // namespace

AudioInputFactory noAudioInputFactory() {
  return [](const AudioInputCallback&) { return AudioInputOpening{nullptr, "no recording device"}; };
}

// Plays its microphone's script on a thread of its own from resume until the end of the script
// or its destruction.
class ScriptedAudioInput final : public AudioInput {
 public:
  ScriptedAudioInput(ScriptedMicrophone& owner, AudioInputCallback callback)
      : owner_(owner), callback_(std::move(callback)) {}
  ScriptedAudioInput(const ScriptedAudioInput&) = delete;
  ScriptedAudioInput& operator=(const ScriptedAudioInput&) = delete;
  ~ScriptedAudioInput() override {
    closing_ = true;
    if (thread_.joinable()) thread_.join();
  }

  void resume() override {
    if (!thread_.joinable()) thread_ = std::thread([this] { deliver(); });
  }

 private:
  void deliver() {
    const ScriptedMicrophone::Script& script = owner_.script_;
    const size_t chunk = std::max<size_t>(script.chunkBytes, 1);
    const uint32_t start = script.pace != nullptr ? script.pace->tickCount() : 0;
    uint64_t sent = 0;
    do {
      for (size_t offset = 0; offset < script.pcm.size() && !closing_; offset += chunk) {
        const size_t length = std::min(chunk, script.pcm.size() - offset);
        // A live device hands a piece over once its last sample is recorded.
        if (!waitUntilRecorded(start, sent + length)) return;
        callback_(std::span(script.pcm).subspan(offset, length));
        owner_.countDelivered(length);
        sent += length;
      }
    } while (script.repeat && !closing_ && !script.pcm.empty());
  }

  bool waitUntilRecorded(uint32_t start, uint64_t bytes) {
    const Clock* pace = owner_.script_.pace;
    if (pace == nullptr) return !closing_;
    while (!closing_ && uint64_t(pace->tickCount() - start) * kBytesPerMs < bytes) {
      sleepMs(kPaceCheckMs);
    }
    return !closing_;
  }

  ScriptedMicrophone& owner_;
  const AudioInputCallback callback_;
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

AudioInputFactory ScriptedMicrophone::factory() {
  return [this](AudioInputCallback callback) {
    std::lock_guard lock(mutex_);
    if (!refusal_.empty()) return AudioInputOpening{nullptr, refusal_};
    ++opens_;
    return AudioInputOpening{std::make_unique<ScriptedAudioInput>(*this, std::move(callback)), {}};
  };
}

void ScriptedMicrophone::refuse(std::string error) {
  std::lock_guard lock(mutex_);
  refusal_ = std::move(error);
}

size_t ScriptedMicrophone::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

size_t ScriptedMicrophone::deliveredBytes() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

void ScriptedMicrophone::countDelivered(size_t bytes) {
  std::lock_guard lock(mutex_);
  delivered_ += bytes;
}

}  // namespace vexa::platform
