#include "display/ViewFrame.h"

#include <algorithm>

namespace vexa {
namespace {

enum Edge { kLeft = 0, kRight = 1, kTop = 2, kBottom = 3 };

// Fits a picture of W x H into an area keeping the aspect ratio, centred along the other axis.
Rect fitKeepingRatio(const Rect& area, int pictureWidth, int pictureHeight) {
  const double pictureRatio = double(pictureWidth) / pictureHeight;
  const double areaRatio = double(area.width) / area.height;
  if (pictureRatio >= areaRatio) {
    const int height = int(int64_t(area.width) * pictureHeight / pictureWidth);
    return {area.x, area.y + (area.height - height) / 2, area.width, height};
  }
  const int width = int(int64_t(area.height) * pictureWidth / pictureHeight);
  return {area.x + (area.width - width) / 2, area.y, width, area.height};
}

}  // namespace

ViewFrame::ViewFrame(int clientWidth, int clientHeight)
    : canvas_(std::make_unique<Canvas>(clientWidth, clientHeight)),
      client_{0, 0, canvas_->width(), canvas_->height()} {
  relayout();
}

Rect ViewFrame::layout(int mode, const Rect& client, int pictureWidth, int pictureHeight) {
  const Rect inner{client.x + kBorder, client.y + kBorder, client.width - 2 * kBorder,
                   client.height - 2 * kBorder};
  // Before the first picture there is no size to keep: the area the picture will live in.
  const bool noPicture = pictureWidth <= 0 || pictureHeight <= 0;
  switch (mode) {
    case kStretch:
      return inner;
    case kRealSize:
      if (noPicture || inner.empty()) return inner;
      if (pictureWidth <= inner.width && pictureHeight <= inner.height) {
        return {inner.x + (inner.width - pictureWidth) / 2,
                inner.y + (inner.height - pictureHeight) / 2, pictureWidth, pictureHeight};
      }
      return fitKeepingRatio(inner, pictureWidth, pictureHeight);
    case kWholeClient:
      return client;
    case kFit:
    default:
      if (noPicture || client.empty()) return client;
      return fitKeepingRatio(client, pictureWidth, pictureHeight);
  }
}

bool ViewFrame::update(int mode, int pictureWidth, int pictureHeight) {
  const bool sizeChanged = pictureWidth != pictureWidth_ || pictureHeight != pictureHeight_;
  const bool needed = mode != mode_ || (mode != kStretch && sizeChanged);
  mode_ = mode;
  pictureWidth_ = pictureWidth;
  pictureHeight_ = pictureHeight;
  if (!needed) return false;
  relayout();
  return true;
}

void ViewFrame::resize(int clientWidth, int clientHeight) {
  canvas_ = std::make_unique<Canvas>(clientWidth, clientHeight);
  client_ = {0, 0, canvas_->width(), canvas_->height()};
  relayout();
}

void ViewFrame::relayout() {
  video_ = layout(mode_, client_, pictureWidth_, pictureHeight_);
  barPens_[kLeft] = 2 * std::max(video_.x - client_.x, 0);
  barPens_[kRight] = 2 * std::max(client_.right() - video_.right(), 0);
  barPens_[kTop] = 2 * std::max(video_.y - client_.y, 0);
  barPens_[kBottom] = 2 * std::max(client_.bottom() - video_.bottom(), 0);
}

void ViewFrame::paintBars() {
  Canvas& canvas = *canvas_;
  const Rect& c = client_;
  canvas.drawLine(c.x, c.y, c.right(), c.y, barPens_[kTop], kBarColour);
  canvas.drawLine(c.right(), c.y, c.right(), c.bottom(), barPens_[kRight], kBarColour);
  canvas.drawLine(c.x, c.bottom(), c.right(), c.bottom(), barPens_[kBottom], kBarColour);
  canvas.drawLine(c.x, c.y, c.x, c.bottom(), barPens_[kLeft], kBarColour);
}

void ViewFrame::drawText(int x, int y, const std::string& text) {
  canvas_->drawText(x, y, text, kTextColour);
}

}  // namespace vexa
