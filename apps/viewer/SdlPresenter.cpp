#include "viewer/SdlPresenter.h"

#include <SDL2/SDL.h>

#include <algorithm>
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
constexpr int kMenuItemHeight = 22;
constexpr int kMenuWidth = 220;
constexpr int kMenuTextInset = 8;
constexpr uint32_t kMenuBackground = 0xF0F0F0;  // colour values, 0x00BBGGRR
constexpr uint32_t kMenuHighlight = 0xD77800;
constexpr uint32_t kMenuText = 0x000000;
constexpr uint32_t kMenuHighlightText = 0xFFFFFF;
}  // namespace

std::unique_ptr<SdlPresenter> SdlPresenter::open(int width, int height) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
  std::unique_ptr<SdlPresenter> presenter(new SdlPresenter);
  presenter->video_.window =
      SDL_CreateWindow(kTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                       SDL_WINDOW_RESIZABLE);
  if (presenter->video_.window == nullptr) return nullptr;
  presenter->video_.renderer = SDL_CreateRenderer(presenter->video_.window, -1, 0);
  if (presenter->video_.renderer == nullptr) return nullptr;
  return presenter;
}

SdlPresenter::~SdlPresenter() {
  motion_.destroy();
  info_.destroy();
  video_.destroy();
  for (SDL_Cursor* cursor : cursors_) {
    if (cursor != nullptr) SDL_FreeCursor(cursor);
  }
  SDL_Quit();
}

void SdlPresenter::Surface::destroy() {
  setOverlay(nullptr);
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
  if (overlay != nullptr) SDL_RenderCopy(renderer, overlay, nullptr, &overlayPlace);
  SDL_RenderPresent(renderer);
}

void SdlPresenter::Surface::setOverlay(const Canvas* canvas, int x, int y) {
  if (overlay != nullptr) SDL_DestroyTexture(overlay);
  overlay = nullptr;
  if (canvas == nullptr) return;
  overlay = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STATIC,
                              canvas->width(), canvas->height());
  if (overlay != nullptr) SDL_UpdateTexture(overlay, nullptr, canvas->data(), canvas->stride());
  overlayPlace = {x, y, canvas->width(), canvas->height()};
}

void SdlPresenter::present(CImgDlg& window) {
  if (window.presentSerial() != shownSerial_) {
    shownSerial_ = window.presentSerial();
    video_.show(window.presentCanvas());
  }
  applyCursor(window.cursorState());
  presentInfo(window);
  presentMotion(window);
}

SDL_Cursor* SdlPresenter::cursorOf(CursorShape shape) {
  constexpr SDL_SystemCursor kSystemCursors[] = {
      SDL_SYSTEM_CURSOR_ARROW,  SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_SIZENS,
      SDL_SYSTEM_CURSOR_SIZEWE, SDL_SYSTEM_CURSOR_SIZENESW,  SDL_SYSTEM_CURSOR_SIZENWSE};
  if (shape == CursorShape::kArrow) return SDL_GetDefaultCursor();
  SDL_Cursor*& cursor = cursors_[size_t(shape)];
  if (cursor == nullptr) cursor = SDL_CreateSystemCursor(kSystemCursors[size_t(shape)]);
  return cursor != nullptr ? cursor : SDL_GetDefaultCursor();
}

void SdlPresenter::applyCursor(const CursorState& state) {
  // The cursor shows while a menu is open, whatever the window wants.
  const CursorState wanted = menu_ ? CursorState{} : state;
  if (wanted == cursor_) return;
  cursor_ = wanted;
  SDL_ShowCursor(wanted.hidden ? SDL_DISABLE : SDL_ENABLE);
  SDL_SetCursor(cursorOf(wanted.shape));
  SDL_CaptureMouse(wanted.captured ? SDL_TRUE : SDL_FALSE);
}

void SdlPresenter::openMenu(CImgDlg& window, int x, int y) {
  ContextMenu menu = window.takeContextMenu();
  if (menu.empty()) return;
  // Kept inside the window, as a desktop menu would be.
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(video_.window, &width, &height);
  const int menuHeight = int(menu.items.size()) * kMenuItemHeight;
  menu_ = std::make_unique<OpenMenu>(OpenMenu{std::move(menu),
                                              std::max(0, std::min(x, width - kMenuWidth)),
                                              std::max(0, std::min(y, height - menuHeight))});
  drawMenu();
}

void SdlPresenter::drawMenu() {
  if (!menu_) {
    video_.setOverlay(nullptr);
  } else {
    Canvas canvas(kMenuWidth, int(menu_->menu.items.size()) * kMenuItemHeight);
    for (int i = 0; i < int(menu_->menu.items.size()); ++i) {
      const bool lit = i == menu_->highlighted;
      canvas.fillRect({0, i * kMenuItemHeight, kMenuWidth, kMenuItemHeight},
                      lit ? kMenuHighlight : kMenuBackground);
      canvas.drawText(kMenuTextInset, i * kMenuItemHeight + (kMenuItemHeight - 12) / 2,
                      menu_->menu.items[size_t(i)].text, lit ? kMenuHighlightText : kMenuText);
    }
    video_.setOverlay(&canvas, menu_->x, menu_->y);
  }
  shownSerial_ = ~uint64_t(0);
}

int SdlPresenter::menuItemAt(int x, int y) const {
  if (x < menu_->x || x >= menu_->x + kMenuWidth || y < menu_->y) return -1;
  const int index = (y - menu_->y) / kMenuItemHeight;
  return index < int(menu_->menu.items.size()) ? index : -1;
}

bool SdlPresenter::handleMenu(CImgDlg& window, const SDL_Event& event) {
  if (!menu_) return false;
  switch (event.type) {
    case SDL_MOUSEMOTION: {
      const int item = menuItemAt(event.motion.x, event.motion.y);
      if (item != menu_->highlighted) {
        menu_->highlighted = item;
        drawMenu();
      }
      return true;
    }
    case SDL_MOUSEBUTTONDOWN:
      return true;
    case SDL_MOUSEBUTTONUP: {
      // The right button's release that opened the menu chooses nothing.
      if (event.button.button != SDL_BUTTON_LEFT) return true;
      const int item = menuItemAt(event.button.x, event.button.y);
      const int id = item >= 0 ? menu_->menu.items[size_t(item)].id : 0;
      menu_.reset();
      drawMenu();
      if (id != 0) runCommand(window, id);
      return true;
    }
    case SDL_KEYDOWN:
      if (event.key.keysym.sym != SDLK_ESCAPE) return false;
      menu_.reset();
      drawMenu();
      return true;
    default:
      return false;
  }
}

void SdlPresenter::runCommand(CImgDlg& window, int id) {
  const bool wasFullScreen = window.isFullScreen();
  if (id == kCommandFullScreen && !wasFullScreen) return toggleFullScreen(window);
  if (id == kCommandNormalView && wasFullScreen) return toggleFullScreen(window);
  window.OnCommand(id);
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
  if (handleMenu(window, event)) return true;
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
      if (onVideo && (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED ||
                      event.window.event == SDL_WINDOWEVENT_FOCUS_LOST)) {
        window.setFocused(event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
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
      if (event.key.keysym.sym == SDLK_F11 || event.key.keysym.sym == SDLK_f)
        toggleFullScreen(window);
      if (event.key.keysym.sym == SDLK_ESCAPE && window.isFullScreen()) toggleFullScreen(window);
      if (event.key.keysym.sym >= SDLK_a && event.key.keysym.sym <= SDLK_z &&
          event.key.keysym.sym != SDLK_f) {
        keyPressed(char(event.key.keysym.sym));
      }
      break;
    case SDL_TEXTINPUT:
      // Plus and minus wherever the keyboard layout has them.
      if (event.text.text[0] == '+' || event.text.text[0] == '-') keyPressed(event.text.text[0]);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID != SDL_GetWindowID(video_.window)) break;
      if (event.button.button == SDL_BUTTON_LEFT && event.button.clicks == 2) {
        const bool wasFullScreen = window.isFullScreen();
        window.OnDoubleClick(event.button.x, event.button.y);
        if (wasFullScreen && !window.isFullScreen()) SDL_SetWindowFullscreen(video_.window, 0);
      } else if (event.button.button == SDL_BUTTON_LEFT) {
        window.onLeftButtonDown(event.button.x, event.button.y);
      } else if (event.button.button == SDL_BUTTON_RIGHT) {
        window.onRightButtonDown(event.button.x, event.button.y);
        openMenu(window, event.button.x, event.button.y);
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT)
        window.onLeftButtonUp(event.button.x, event.button.y);
      if (event.button.button == SDL_BUTTON_RIGHT) {
        window.onRightButtonUp(event.button.x, event.button.y);
        openMenu(window, event.button.x, event.button.y);
      }
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

bool showDesktopMessage(const std::string& title, const std::string& text) {
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title.c_str(), text.c_str(),
                                  nullptr) == 0;
}

}  // namespace vexa::viewer
