#include "viewer/SdlAudioSystem.h"

#include <SDL2/SDL.h>

namespace vexa::viewer {

bool holdSdlAudio() { return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0; }

void releaseSdlAudio() {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (SDL_WasInit(0) == 0) SDL_Quit();
}

SdlThreadStateRelease::~SdlThreadStateRelease() { SDL_TLSCleanup(); }

}  // namespace vexa::viewer
