#include "viewer/SdlPresenter.h"

#include <SDL2/SDL.h>

#include <memory>

#include "display/CImgDlg.h"
#include "display/CMotionStateDlg.h"
#include "display/Canvas.h"

namespace vexa::viewer {

namespace {
constexpr const char* kTitle = "vexa";
constexpr const char* kInfoTitle = "Info";
constexpr const char* kMotionTitle = "Motion";
// One wheel notch, as the window's wheel logic counts it.
constexpr int kWheelDelta = 120;
}  // namespace

std::unique_ptr<SdlPresenter> SdlPresenter::open(int width, int height) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
  std::unique_ptr<SdlPresenter> presenter(new SdlPresenter);
  presenter->video_.window = SDL_CreateWindow(kTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                              width, height, SDL_WINDOW_RESIZABLE);
  if (presenter->video_.window == nullptr) return nullptr;
  presenter->video_.renderer = SDL_CreateRenderer(presenter->video_.window, -1, 0);
  if (presenter->video_.renderer == nullptr) return nullptr;
  return presenter;
}

SdlPresenter::~SdlPresenter() {
  motion_.destroy();
  info_.destroy();
  video_.destroy();
  SDL_Quit();
}

void SdlPresenter::Surface::destroy() {
  if (texture != nullptr) SDL_DestroyTexture(texture);
  if (renderer != nullptr) SDL_DestroyRenderer(renderer);
  if (window != nullptr) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
}

bool SdlPresenter::Surface::open(const char* title, int x, int y, int width, int height) {
  window = SDL_CreateWindow(title, x, y, width, height, 0);
  if (window != nullptr) renderer = SDL_CreateRenderer(window, -1, 0);
  if (renderer != nullptr) return true;
  destroy();
  return false;
}

void SdlPresenter::Surface::show(const Canvas& canvas) {
  if (texture == nullptr || textureWidth != canvas.width() || textureHeight != canvas.height()) {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    // The canvas holds 32-bit native words 0x00RRGGBB.
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                canvas.width(), canvas.height());
    textureWidth = canvas.width();
    textureHeight = canvas.height();
  }
  if (texture == nullptr) return;
  SDL_UpdateTexture(texture, nullptr, canvas.data(), canvas.stride());
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

void SdlPresenter::present(CImgDlg& window) {
  if (window.presentSerial() != shownSerial_) {
    shownSerial_ = window.presentSerial();
    video_.show(window.presentCanvas());
  }
  presentInfo(window);
  presentMotion(window);
}

void SdlPresenter::presentInfo(CImgDlg& window) {
  DlgInfo& info = window.info();
  if (!info.isShown()) {
    info_.destroy();
    return;
  }
  if (info_.window == nullptr &&
      !info_.open(kInfoTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, DlgInfo::kPixelWidth,
                  DlgInfo::kPixelHeight)) {
    return;
  }
  Canvas canvas(DlgInfo::kPixelWidth, DlgInfo::kPixelHeight);
  info.paint(canvas);
  info_.show(canvas);
}

void SdlPresenter::presentMotion(CImgDlg& window) {
  const CMotionStateDlg* motion = window.motionStateWindow();
  if (motion == nullptr || !motion->isShown()) {
    motion_.destroy();
    return;
  }
  if (motion_.window == nullptr) {
    int x = SDL_WINDOWPOS_UNDEFINED;
    int y = SDL_WINDOWPOS_UNDEFINED;
    if (const auto placement = motion->placement()) {
      SDL_GetWindowPosition(video_.window, &x, &y);
      x += placement->x;
      y += placement->y;
    }
    if (!motion_.open(kMotionTitle, x, y, CMotionStateDlg::kClientWidth,
                      CMotionStateDlg::kClientHeight)) {
      return;
    }
    SDL_RaiseWindow(motion_.window);
    shownMotionSerial_ = ~uint64_t(0);
  }
  if (motion->serial() == shownMotionSerial_) return;
  shownMotionSerial_ = motion->serial();
  motion_.show(motion->canvas());
}

bool SdlPresenter::handleEvents(CImgDlg& window, uint32_t timeoutMs) {
  SDL_Event event;
  if (!SDL_WaitEventTimeout(&event, int(timeoutMs))) return true;
  do {
    if (!handle(window, event)) return false;
  } while (SDL_PollEvent(&event));
  return true;
}

void SdlPresenter::toggleFullScreen(CImgDlg& window) {
  if (window.isFullScreen()) {
    window.OnCommand(CImgDlg::kCommandNormalView);
    SDL_SetWindowFullscreen(video_.window, 0);
    return;
  }
  SDL_DisplayMode desktop;
  if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(video_.window), &desktop) == 0) {
    window.setDesktopSize(desktop.w, desktop.h);
  }
  window.FullScreen();
  SDL_SetWindowFullscreen(video_.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

bool SdlPresenter::handle(CImgDlg& window, const SDL_Event& event) {
  const bool onVideo = event.window.windowID == SDL_GetWindowID(video_.window);
  const bool onMotion =
      motion_.window != nullptr && event.window.windowID == SDL_GetWindowID(motion_.window);
  switch (event.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (onMotion) {
          window.CloseMotionState();
          break;
        }
        if (!onVideo) {
          window.info().hide();  // the statistics window's close button
          break;
        }
        return false;
      }
      if (onVideo && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && !window.isFullScreen()) {
        window.resize(event.window.data1, event.window.data2);
      }
      if (onMotion && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        shownMotionSerial_ = ~uint64_t(0);
      }
      if (onVideo && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        window.paint();
        shownSerial_ = ~uint64_t(0);
      }
      // A minimised or hidden window paints nothing until it is seen again.
      if (onVideo && (event.window.event == SDL_WINDOWEVENT_MINIMIZED ||
                      event.window.event == SDL_WINDOWEVENT_HIDDEN)) {
        window.setHidden(true);
      }
      if (onVideo && (event.window.event == SDL_WINDOWEVENT_RESTORED ||
                      event.window.event == SDL_WINDOWEVENT_SHOWN ||
                      event.window.event == SDL_WINDOWEVENT_MAXIMIZED)) {
        window.setHidden(false);
        shownSerial_ = ~uint64_t(0);
      }
      break;
    case SDL_KEYDOWN:
      if (event.key.keysym.sym == SDLK_F11 || event.key.keysym.sym == SDLK_f) toggleFullScreen(window);
      if (event.key.keysym.sym == SDLK_ESCAPE && window.isFullScreen()) toggleFullScreen(window);
      if (event.key.keysym.sym >= SDLK_a && event.key.keysym.sym <= SDLK_z &&
          event.key.keysym.sym != SDLK_f) {
        keyPressed(char(event.key.keysym.sym));
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID != SDL_GetWindowID(video_.window)) break;
      if (event.button.button == SDL_BUTTON_LEFT && event.button.clicks == 2) {
        const bool wasFullScreen = window.isFullScreen();
        window.OnDoubleClick(event.button.x, event.button.y);
        if (wasFullScreen && !window.isFullScreen()) SDL_SetWindowFullscreen(video_.window, 0);
      } else if (event.button.button == SDL_BUTTON_LEFT) {
        window.onLeftButtonDown(event.button.x, event.button.y);
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT) window.onLeftButtonUp(event.button.x, event.button.y);
      break;
    case SDL_MOUSEMOTION:
      window.onMouseMove(event.motion.x, event.motion.y);
      break;
    case SDL_MOUSEWHEEL:
      window.onMouseWheel(event.wheel.y * kWheelDelta);
      break;
    default:
      break;
  }
  return true;
}

}  // namespace vexa::viewer
