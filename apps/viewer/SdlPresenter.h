#pragma once

#include <array>
#include <SDL2/SDL_rect.h>

#include <cstdint>
#include <memory>
#include <string>

#include "display/ContextMenu.h"
#include "viewer/Presenter.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Cursor;
union SDL_Event;

namespace vexa {
class Canvas;
}

namespace vexa::viewer {

// The desktop presenter: an SDL2 window showing the video window's canvas, and small ones for the
// statistics window and the motion-state window while they are shown.
class SdlPresenter final : public Presenter {
 public:
  // Null when there is no display to open a window on.
  static std::unique_ptr<SdlPresenter> open(int width, int height);
  ~SdlPresenter() override;

  bool handleEvents(CImgDlg& window, uint32_t timeoutMs) override;
  void present(CImgDlg& window) override;

 private:
  struct Surface {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    SDL_Texture* overlay = nullptr;  // the menu, drawn over the picture while open
    // A window of the given size at (x, y), which may be SDL_WINDOWPOS_*; false when it failed.
    bool open(const char* title, int x, int y, int width, int height);
    void show(const Canvas& canvas);
    SDL_Rect overlayPlace{};
    void setOverlay(const Canvas* canvas, int x = 0, int y = 0);
    void destroy();
  };
  // The window's context menu while it is open: a list drawn at the cursor.
  struct OpenMenu {
    ContextMenu menu;
    int x = 0;
    int y = 0;
    int highlighted = -1;
  };

  SdlPresenter() = default;
  bool handle(CImgDlg& window, const SDL_Event& event);
  void toggleFullScreen(CImgDlg& window);
  void presentInfo(CImgDlg& window);
  void openMenu(CImgDlg& window, int x, int y);
  // True when the menu took the event.
  bool handleMenu(CImgDlg& window, const SDL_Event& event);
  int menuItemAt(int x, int y) const;
  void drawMenu();
  void runCommand(CImgDlg& window, int id);
  void applyCursor(const CursorState& state);
  SDL_Cursor* cursorOf(CursorShape shape);
  void presentMotion(CImgDlg& window);

  Surface video_;
  std::unique_ptr<OpenMenu> menu_;
  // The system cursors by shape, made on first use; the arrow is the default cursor.
  std::array<SDL_Cursor*, 6> cursors_{};
  CursorState cursor_;
  Surface info_;
  Surface motion_;
  uint64_t shownSerial_ = ~uint64_t(0);
  uint64_t shownMotionSerial_ = ~uint64_t(0);
};

// A message box of its own on the desktop, for a viewer started from a menu with no terminal to
// print to; false when none could be shown.
bool showDesktopMessage(const std::string& title, const std::string& text);

}  // namespace vexa::viewer
