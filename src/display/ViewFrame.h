#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "display/Canvas.h"

namespace vexa {

// Where a drawing window puts the picture inside its client area, and the back buffer it draws
// into.
class ViewFrame {
 public:
  enum LayoutMode : int {
    kStretch = 0,   // the inner area, aspect ratio not kept
    kRealSize = 1,  // unscaled and centred when it fits, else scaled down keeping the ratio
    kWholeClient = 2,
    kFit = 3,  // full screen and fisheye views: fit keeping the ratio, no border
  };
  static constexpr int kBorder = 2;
  static constexpr uint32_t kTextColour = 0x64FF64;
  static constexpr uint32_t kBarColour = 0x000000;

  ViewFrame(int clientWidth, int clientHeight);
  virtual ~ViewFrame() = default;

  // Recomputes the layout when the mode or the picture size changed (mode 0 ignores the picture
  // size). True when the video rectangle was recomputed.
  bool update(int mode, int pictureWidth, int pictureHeight);
  // A new client size: a new back buffer (black) and a new layout.
  void resize(int clientWidth, int clientHeight);

  // Draws the four black bars around the video rectangle, each as a line along a client edge
  // whose inner half covers the bar.
  void paintBars();
  void drawText(int x, int y, const std::string& text);

  const Rect& clientRect() const { return client_; }
  const Rect& videoRect() const { return video_; }
  int mode() const { return mode_; }
  Canvas& canvas() { return *canvas_; }
  const Canvas& canvas() const { return *canvas_; }
  // Pen widths of the bars: left, right, top, bottom.
  int barPenWidth(int edge) const { return barPens_[edge]; }

  static Rect layout(int mode, const Rect& client, int pictureWidth, int pictureHeight);

 private:
  void relayout();

  std::unique_ptr<Canvas> canvas_;
  Rect client_;
  Rect video_;
  int mode_ = kStretch;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
  int barPens_[4] = {};
};

}  // namespace vexa
