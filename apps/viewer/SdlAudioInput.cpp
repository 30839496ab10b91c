#include "viewer/SdlAudioInput.h"

#include <SDL2/SDL.h>

#include <memory>
#include <string>

#include "common/DebugTrace.h"
#include "viewer/SdlAudioSystem.h"

namespace vexa::viewer {

namespace {

constexpr int kSampleRate = 8000;
// One talk buffer, 64 ms, per callback.
constexpr Uint16 kDeviceSamples = 512;
constexpr int kCapture = 1;

class SdlAudioInput final : public platform::AudioInput {
 public:
  explicit SdlAudioInput(platform::AudioInputCallback callback) : callback_(std::move(callback)) {}
  SdlAudioInput(const SdlAudioInput&) = delete;
  SdlAudioInput& operator=(const SdlAudioInput&) = delete;
  // SDL's close returns once the device's thread has ended, after its last callback.
  ~SdlAudioInput() override {
    if (device_ == 0) return;
    const SdlThreadStateRelease release;
    SDL_CloseAudioDevice(device_);
    releaseSdlAudio();
  }

  // Empty when it opened; SDL's error text otherwise.
  std::string open() {
    const SdlThreadStateRelease release;
    if (!holdSdlAudio()) return SDL_GetError();
    SDL_AudioSpec wanted{};
    wanted.freq = kSampleRate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 1;
    wanted.samples = kDeviceSamples;
    wanted.callback = &SdlAudioInput::recorded;
    wanted.userdata = this;
    // No changes allowed: SDL converts from what the hardware records.
    device_ = SDL_OpenAudioDevice(nullptr, kCapture, &wanted, nullptr, 0);
    if (device_ != 0) return {};
    std::string error = SDL_GetError();
    releaseSdlAudio();
    return error.empty() ? "no recording device" : error;
  }

  void resume() override { SDL_PauseAudioDevice(device_, 0); }

 private:
  static void SDLCALL recorded(void* self, Uint8* stream, int length) {
    static_cast<SdlAudioInput*>(self)->callback_({stream, size_t(length)});
  }

  const platform::AudioInputCallback callback_;
  SDL_AudioDeviceID device_ = 0;
};

}  // namespace

platform::AudioInputFactory sdlAudioInputFactory() {
  return [](platform::AudioInputCallback callback) {
    auto input = std::make_unique<SdlAudioInput>(std::move(callback));
    std::string error = input->open();
    if (!error.empty()) {
      DebugTrace("talk: no recording device opens: %s", error.c_str());
      return platform::AudioInputOpening{nullptr, std::move(error)};
    }
    return platform::AudioInputOpening{std::move(input), {}};
  };
}

}  // namespace vexa::viewer
