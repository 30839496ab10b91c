// vexa-camera: a simulated network camera for the demo and the integration tests.

#include <signal.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "camera/CommandLine.h"
#include "camera/MjpegServer.h"
#include "camera/RtspServer.h"

namespace {

constexpr int kExitBadArguments = 2;
constexpr int kExitCannotServe = 1;

// Blocked in every thread so that only the main thread's wait receives them.
sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

timespec toTimespec(double seconds) {
  timespec time{};
  time.tv_sec = time_t(seconds);
  time.tv_nsec = long((seconds - std::floor(seconds)) * 1e9);
  return time;
}

// Until a stop signal, or the duration when one is given.
void waitForEnd(const sigset_t& signals, double durationSeconds) {
  if (durationSeconds <= 0) {
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    return;
  }
  timespec remaining = toTimespec(durationSeconds);
  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  while (sigtimedwait(&signals, nullptr, &remaining) < 0 && errno == EINTR) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double left = durationSeconds - (double(now.tv_sec - started.tv_sec) +
                                           double(now.tv_nsec - started.tv_nsec) / 1e9);
    if (left <= 0) return;
    remaining = toTimespec(left);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vexa::camera;
  CameraSettings settings;
  std::string error;
  if (!parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), settings, error)) {
    std::fprintf(stderr, "vexa-camera: %s (see --help)\n", error.c_str());
    return kExitBadArguments;
  }
  if (settings.showHelp) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }

  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  MjpegServer mjpeg(settings.mjpeg);
  if (!mjpeg.start()) {
    std::fprintf(stderr, "vexa-camera: %s\n", mjpeg.lastError().c_str());
    return kExitCannotServe;
  }
  // The encoders' start-up chatter is not for the user.
  av_log_set_level(AV_LOG_WARNING);
  RtspServer rtsp(settings.rtsp);
  if (!rtsp.start()) {
    std::fprintf(stderr, "vexa-camera: RTSP: %s\n", rtsp.lastError().c_str());
    return kExitCannotServe;
  }
  // The MJPEG line comes first: scripts take the first address printed as the HTTP one.
  std::printf("vexa-camera: MJPEG on http://%s:%u/\n", settings.mjpeg.bindAddress.c_str(),
              unsigned(mjpeg.port()));
  std::printf("vexa-camera: RTSP on rtsp://%s:%u/h264 and /jpeg\n",
              settings.rtsp.bindAddress.c_str(), unsigned(rtsp.port()));
  std::fflush(stdout);

  waitForEnd(signals, settings.durationSeconds);
  rtsp.stop();
  mjpeg.stop();
  return 0;
}
