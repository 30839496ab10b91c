#include "platform/AudioOutput.h"

namespace vexa::platform {

namespace {

class ForwardingAudioOutput final : public AudioOutput {
 public:
  explicit ForwardingAudioOutput(AudioOutput& target) : target_(target) {}
  bool queue(std::span<const uint8_t> pcm) override { return target_.queue(pcm); }
  size_t queuedBytes() const override { return target_.queuedBytes(); }

 private:
  AudioOutput& target_;
};

}  // namespace

AudioOutputFactory nullAudioOutputFactory() {
  return [] { return std::make_unique<NullAudioOutput>(); };
}

AudioOutputFactory noAudioOutputFactory() {
  return [] { return std::unique_ptr<AudioOutput>(); };
}

bool RecordingAudioOutput::queue(std::span<const uint8_t> pcm) {
  std::lock_guard lock(mutex_);
  if (refusing_) return false;
  pcm_.insert(pcm_.end(), pcm.begin(), pcm.end());
  ++queueCount_;
  return true;
}

size_t RecordingAudioOutput::queuedBytes() const {
  std::lock_guard lock(mutex_);
  return queuedBytes_;
}

void RecordingAudioOutput::setQueuedBytes(size_t bytes) {
  std::lock_guard lock(mutex_);
  queuedBytes_ = bytes;
}

void RecordingAudioOutput::setRefusing(bool refusing) {
  std::lock_guard lock(mutex_);
  refusing_ = refusing;
}

std::vector<uint8_t> RecordingAudioOutput::pcm() const {
  std::lock_guard lock(mutex_);
  return pcm_;
}

size_t RecordingAudioOutput::queueCount() const {
  std::lock_guard lock(mutex_);
  return queueCount_;
}

AudioOutputFactory RecordingAudioOutput::factory() {
  return [this] { return std::make_unique<ForwardingAudioOutput>(*this); };
}

}  // namespace vexa::platform
