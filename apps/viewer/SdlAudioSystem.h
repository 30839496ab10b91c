#pragma once

namespace vexa::viewer {

// Every sound device holds a reference on SDL's audio subsystem, so devices work with or without
// a window. False, with SDL's error text set, when the subsystem is unavailable.
bool holdSdlAudio();
// Drops a reference; the last one out also frees SDL's own state, which a headless viewer
// initialises nothing else of.
void releaseSdlAudio();

// Devices are opened and closed on the stream's threads, which SDL did not create and so never
// frees the per-thread state (the error text) of: dropped at the end of each call instead.
struct SdlThreadStateRelease {
  SdlThreadStateRelease() = default;
  SdlThreadStateRelease(const SdlThreadStateRelease&) = delete;
  SdlThreadStateRelease& operator=(const SdlThreadStateRelease&) = delete;
  ~SdlThreadStateRelease();
};

}  // namespace vexa::viewer
