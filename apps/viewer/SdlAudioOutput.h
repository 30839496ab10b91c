#pragma once

#include "platform/AudioOutput.h"

namespace vexa::viewer {

// Opens the default playback device through SDL2's queued audio (8000 Hz, 16-bit little-endian,
// mono); nullptr when none opens. Each output holds a reference on SDL's audio subsystem, so it
// works with or without a window. SDL_AUDIODRIVER picks the driver: "disk" with
// SDL_DISKAUDIOFILE writes the PCM to a file, "dummy" discards it.
platform::AudioOutputFactory sdlAudioOutputFactory();

}  // namespace vexa::viewer
