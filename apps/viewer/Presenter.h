#pragma once

#include <cstdint>
#include <functional>

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
  // Letter keys the window does not use itself go to onKey, lower case; + and - too.
  using KeyHandler = std::function<void(char key)>;
  void setKeyHandler(KeyHandler onKey) { onKey_ = std::move(onKey); }

 protected:
  void keyPressed(char key) const {
    if (onKey_) onKey_(key);
  }

 private:
  KeyHandler onKey_;
};

}  // namespace vexa::viewer
