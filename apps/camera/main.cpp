// vexa-camera: a simulated network camera for the demo and the integration tests.

#include <signal.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "camera/CommandLine.h"
#include "camera/MjpegServer.h"
#include "camera/MotionServer.h"
#include "camera/RtspServer.h"
#include "camera/TcpListener.h"
#include "camera/VideoDump.h"

namespace {

constexpr int kExitBadArguments = 2;
constexpr int kExitCannotServe = 1;

// Blocked in every thread so that only the main thread's wait receives them: SIGINT and SIGTERM
// end the program, SIGUSR1 drops every connection as a camera that reboots would.
sigset_t handledSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  return signals;
}

timespec toTimespec(double seconds) {
  timespec time{};
  time.tv_sec = time_t(seconds);
  time.tv_nsec = long((seconds - std::floor(seconds)) * 1e9);
  return time;
}

double secondsSince(const timespec& started) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec - started.tv_sec) + double(now.tv_nsec - started.tv_nsec) / 1e9;
}

// Until a stop signal, or the end of the duration when one is given; onDrop runs for each
// SIGUSR1 meanwhile.
template <typename OnDrop>
void waitForEnd(const sigset_t& signals, double durationSeconds, OnDrop onDrop) {
  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  while (true) {
    int received = -1;
    if (durationSeconds <= 0) {
      if (sigwait(&signals, &received) != 0) continue;
    } else {
      const double left = durationSeconds - secondsSince(started);
      if (left <= 0) return;
      const timespec remaining = toTimespec(left);
      received = sigtimedwait(&signals, nullptr, &remaining);
      if (received < 0 && errno == EINTR) continue;
      if (received < 0) return;  // the duration is over
    }
    if (received != SIGUSR1) return;
    onDrop();
  }
}

// "127.0.0.1:8554" or "[::1]:8554".
std::string hostAndPort(const std::string& address, uint16_t port) {
  const auto endpoint = vexa::camera::bindableAddress(address, port);
  return endpoint ? endpoint->text() : address + ":" + std::to_string(port);
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

  const sigset_t signals = handledSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Declared before the servers, so it closes after their last picture.
  std::unique_ptr<VideoDump> dump;
  if (!settings.dumpVideoPath.empty()) {
    dump = VideoDump::create(settings.dumpVideoPath, error);
    if (!dump) {
      std::fprintf(stderr, "vexa-camera: %s\n", error.c_str());
      return kExitCannotServe;
    }
    settings.mjpeg.videoDump = settings.rtsp.videoDump = dump.get();
  }

  // One head for every stream: a command on the HTTP port moves the RTSP pictures too.
  PtzControl ptz(settings.mjpeg.width, settings.mjpeg.height);
  settings.mjpeg.ptz = settings.rtsp.ptz = settings.motion.ptz = &ptz;
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
  // Cameras run side by side in tests, where only the first gets the default motion port.
  MotionServer motion(settings.motion);
  const bool motionServes = motion.start();
  if (!motionServes && settings.motionPortChosen) {
    std::fprintf(stderr, "vexa-camera: motion: %s\n", motion.lastError().c_str());
    return kExitCannotServe;
  }
  // The MJPEG line comes first: scripts take the first address printed as the HTTP one.
  std::printf("vexa-camera: MJPEG on http://%s/\n",
              hostAndPort(settings.mjpeg.bindAddress, mjpeg.port()).c_str());
  std::printf("vexa-camera: RTSP on rtsp://%s/h264, /jpeg and /mpeg4\n",
              hostAndPort(settings.rtsp.bindAddress, rtsp.port()).c_str());
  if (rtsp.talkPort() != 0) {
    std::printf("vexa-camera: talk audio on UDP port %u\n", unsigned(rtsp.talkPort()));
  }
  if (!settings.rtsp.multicastGroup.empty()) {
    std::printf("vexa-camera: %s multicast group %s from port %u\n",
                settings.rtsp.multicastSetup ? "streams set up to" : "every stream to",
                settings.rtsp.multicastGroup.c_str(), unsigned(settings.rtsp.multicastPort));
  }
  if (motionServes) {
    std::printf("vexa-camera: motion on %s\n",
                hostAndPort(settings.motion.bindAddress, motion.port()).c_str());
  }
  if (settings.fisheye) {
    const FisheyeCircle circle =
        settings.fisheye->circleFor(settings.rtsp.width, settings.rtsp.height);
    std::printf("vexa-camera: %s\n",
                describeFisheyeCircle(circle, settings.rtsp.width, settings.rtsp.height).c_str());
  }
  std::fflush(stdout);
  // After the addresses, which scripts read from the same output.
  if (!motionServes) std::fprintf(stderr, "vexa-camera: motion: %s\n", motion.lastError().c_str());

  waitForEnd(signals, settings.durationSeconds, [&] {
    std::fprintf(stderr, "vexa-camera: dropping every connection\n");
    rtsp.dropAllConnections();
    mjpeg.dropAllConnections();
  });
  motion.stop();
  rtsp.stop();
  mjpeg.stop();
  if (const std::string talk = rtsp.talk() ? rtsp.talk()->summary() : ""; !talk.empty()) {
    std::fprintf(stderr, "%s\n", talk.c_str());
  }
  return 0;
}
