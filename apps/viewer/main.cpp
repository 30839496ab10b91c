// vexa-viewer: shows one camera stream in a window, or headless.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <unistd.h>

#include "platform/Dialogs.h"
#include "viewer/CommandRun.h"
#include "viewer/SdlPresenter.h"
#include "viewer/ViewerHost.h"
#include "viewer/ViewerOptions.h"

// Fontconfig keeps its configuration for the life of the process; LeakSanitizer would call that a
// leak of every run that drew text (the motion graph's texts, the statistics window).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

constexpr int kBadArguments = 2;
constexpr const char* kStartedWithoutAddress =
    "vexa-viewer shows a camera given by its address, for example\n\n"
    "    vexa-viewer --protocol 12 192.168.0.20:554/h264\n\n"
    "Open a camera's rtsp:// or http:// link with it, or run it from a terminal "
    "(vexa-viewer --help lists the options).";
std::atomic<bool> quitRequested{false};

void requestQuit(int) { quitRequested = true; }

bool hasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vexa::viewer;
  const ParseResult parsed = parseViewerOptions({argv + 1, argv + argc});
  if (argc == 1 && hasDisplay() && isatty(STDERR_FILENO) == 0) {
    // Started from the desktop's menu: nobody reads standard error.
    showDesktopMessage("vexa-viewer", kStartedWithoutAddress);
    return kBadArguments;
  }
  if (!parsed.error.empty()) {
    std::cerr << "vexa-viewer: " << parsed.error << " (see --help)" << std::endl;
    return kBadArguments;
  }
  if (parsed.options.help) {
    std::cout << viewerUsage();
    return 0;
  }

  std::signal(SIGINT, requestQuit);
  std::signal(SIGTERM, requestQuit);
  std::signal(SIGPIPE, SIG_IGN);
  // A recording past the file size limit then fails its write (EFBIG) and is finished.
  std::signal(SIGXFSZ, SIG_IGN);

  vexa::platform::StderrDialogs dialogs;
  if (!parsed.options.command.empty()) {
    return runCommand(parsed.options, dialogs, std::cout, std::cerr, quitRequested);
  }
  std::unique_ptr<SdlPresenter> presenter;
  if (!parsed.options.headless) {
    if (hasDisplay()) presenter = SdlPresenter::open(ViewerHost::kWindowWidth, ViewerHost::kWindowHeight);
    if (!presenter) std::cerr << "vexa-viewer: no display; running headless" << std::endl;
  }
  ViewerHost host(parsed.options, dialogs, std::cout, std::cerr);
  return host.run(presenter.get(), quitRequested);
}
