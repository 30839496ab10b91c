#include "viewer/SdlAudioOutput.h"

#include <SDL2/SDL.h>

#include <memory>

#include "common/DebugTrace.h"
#include "viewer/SdlAudioSystem.h"

namespace vexa::viewer {

namespace {

constexpr int kSampleRate = 8000;

// One 160 ms block per device buffer; the queue, not the callback size, bounds the latency.
constexpr Uint16 kDeviceSamples = 1280;

class SdlAudioOutput final : public platform::AudioOutput {
 public:
  explicit SdlAudioOutput(SDL_AudioDeviceID device) : device_(device) {}
  SdlAudioOutput(const SdlAudioOutput&) = delete;
  SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;
  // Paused and emptied first: closing waits for the device's thread, which otherwise may still be
  // writing out a queue of sound (seconds, on a slow device) before it looks.
  ~SdlAudioOutput() override {
    const SdlThreadStateRelease release;
    SDL_PauseAudioDevice(device_, 1);
    SDL_ClearQueuedAudio(device_);
    SDL_CloseAudioDevice(device_);
    releaseSdlAudio();
  }

  bool queue(std::span<const uint8_t> pcm) override {
    return SDL_QueueAudio(device_, pcm.data(), Uint32(pcm.size())) == 0;
  }
  size_t queuedBytes() const override { return SDL_GetQueuedAudioSize(device_); }

 private:
  SDL_AudioDeviceID device_;
};

std::unique_ptr<platform::AudioOutput> openSdlAudioOutput() {
  const SdlThreadStateRelease release;
  if (!holdSdlAudio()) {
    DebugTrace("audio: SDL audio unavailable: %s", SDL_GetError());
    return nullptr;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kSampleRate;
  wanted.format = AUDIO_S16LSB;
  wanted.channels = 1;
  wanted.samples = kDeviceSamples;
  wanted.callback = nullptr;  // queued audio
  // No changes allowed: SDL converts to what the hardware takes.
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) {
    DebugTrace("audio: no sound device opens: %s", SDL_GetError());
    releaseSdlAudio();
    return nullptr;
  }
  SDL_PauseAudioDevice(device, 0);
  return std::make_unique<SdlAudioOutput>(device);
}

}  // namespace

platform::AudioOutputFactory sdlAudioOutputFactory() {
  return [] { return openSdlAudioOutput(); };
}

}  // namespace vexa::viewer
