#pragma once

#include <cstdint>

namespace vexa {
class CImgDlg;
}

namespace vexa::viewer {

// Shows the video window's canvas somewhere and feeds user input back to it. Headless hosts have
// none.
class Presenter {
 public:
  virtual ~Presenter() = default;
  // Waits at most timeoutMs for input and hands what came to the window; false once the user
  // closed the window.
  virtual bool handleEvents(CImgDlg& window, uint32_t timeoutMs) = 0;
  // Shows what the window drew, if anything changed.
  virtual void present(CImgDlg& window) = 0;
};

}  // namespace vexa::viewer
