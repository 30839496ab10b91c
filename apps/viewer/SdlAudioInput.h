#pragma once

#include "platform/AudioInput.h"

namespace vexa::viewer {

// Opens the default recording device through SDL2 (8000 Hz, 16-bit little-endian, mono, 512
// samples a callback), paused; the error text is SDL's when none opens. SDL_AUDIODRIVER picks
// the driver: "disk" records from the raw file SDL_DISKAUDIOFILEIN.
platform::AudioInputFactory sdlAudioInputFactory();

}  // namespace vexa::viewer
