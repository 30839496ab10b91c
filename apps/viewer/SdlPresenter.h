#pragma once

#include <cstdint>
#include <memory>

#include "viewer/Presenter.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
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
    // A window of the given size at (x, y), which may be SDL_WINDOWPOS_*; false when it failed.
    bool open(const char* title, int x, int y, int width, int height);
    void show(const Canvas& canvas);
    void destroy();
  };

  SdlPresenter() = default;
  bool handle(CImgDlg& window, const SDL_Event& event);
  void toggleFullScreen(CImgDlg& window);
  void presentInfo(CImgDlg& window);
  void presentMotion(CImgDlg& window);

  Surface video_;
  Surface info_;
  Surface motion_;
  uint64_t shownSerial_ = ~uint64_t(0);
  uint64_t shownMotionSerial_ = ~uint64_t(0);
};

}  // namespace vexa::viewer
