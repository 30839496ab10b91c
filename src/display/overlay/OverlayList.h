#pragma once

#include <cstddef>
#include <list>
#include <optional>
#include <string>

#include "display/Canvas.h"
#include "display/overlay/OverlayElement.h"
#include "display/overlay/OverlayGeometry.h"
#include "display/overlay/OverlayProfile.h"

namespace vexa {

// A video window's motion windows, privacy masks and regions of interest, newest (or last
// clicked) first, with the grid they share. The grid follows the camera description, the kind of
// the last add, the rotation and the picture size; every change of these re-places all elements.
class OverlayList {
 public:
  static constexpr std::size_t kMaxElements = 256;
  static constexpr std::size_t kMaxNameBytes = 256;

  // Adds answer false when a cap refuses them; nothing changes then.
  bool addMask(const std::string& name, int x, int y, int width, int height);
  bool addMotionByName(const std::string& name, int x1, int y1, int x2, int y2);
  // Unnamed; with grid type 0 the values are client pixels left, top, right, bottom.
  bool addMotion(int x1, int y1, int x2, int y2);
  bool addRoi(const std::string& name, int x, int y, int width, int height, int aspectX,
              int aspectY, int minWidth, int minHeight);
  // The first element from the front with that name; false when there is none.
  bool removeByName(const std::string& name);
  bool removeFront();

  // Script coordinates of the element at index from the front, or of the first one with the
  // name; which is read by the current kind: motion 0..3 = left, top, right, bottom (the window
  // rectangle with grid type 0), others x, y, width, height. -1 for anything unknown; values
  // beyond 32 bits saturate.
  int motionPoint(int index, int which) const;
  int pointByName(const std::string& name, int which) const;

  // Every element entirely into the space, then re-placed. Needs a geometry.
  void adjustMotion();
  void setDescription(const std::string& model, const std::string& sensor,
                      const std::string& resolution, const std::string& webVersion);
  // 0..5; other values are ignored.
  void setRotation(int rotation);
  // A picture was drawn into videoRect: the grid follows its size, the elements the rectangle.
  void updateGeometry(int pictureWidth, int pictureHeight, const Rect& videoRect);

  const std::list<OverlayElement>& elements() const { return elements_; }
  // Mouse editing works on the front element; a clicked one becomes the front.
  OverlayElement* front() { return elements_.empty() ? nullptr : &elements_.front(); }
  void raise(std::list<OverlayElement>::const_iterator element) {
    elements_.splice(elements_.begin(), elements_, element);
  }
  int kind() const { return kind_; }
  int gridType() const { return gridType_; }
  int originX() const { return originX_; }
  int originY() const { return originY_; }
  int rotation() const { return rotation_; }
  // None before the first picture.
  const std::optional<OverlayGeometry>& geometry() const { return geometry_; }
  OverlayArea area() const;
  // The elements' window rectangles are current: there is a grid and an area to draw or edit in.
  bool placed() const { return geometry_ && geometry_->usable() && !area().empty(); }

 private:
  bool admits(const std::string& name) const;
  // Kind and grid type of an add, before its element is made in that grid.
  void beginAdd(int kind);
  void add(OverlayElement element);
  // Corners x1, y1 .. x2, y2 in script coordinates.
  OverlayElement motionElement(const std::string& name, int x1, int y1, int x2, int y2) const;
  void applyProfile();
  // Script coordinates stay: elements move by old - new origin.
  void setOrigin(int x, int y);
  // Recomputes the geometry when what it depends on changed, then re-places every element.
  void refresh();
  int point(const OverlayElement& element, int which) const;

  std::list<OverlayElement> elements_;
  OverlayProfile profile_;
  int kind_ = kOverlayMask;
  int gridType_ = 0;
  int originX_ = 0;
  int originY_ = 0;
  int rotation_ = 0;
  bool havePicture_ = false;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
  Rect video_;
  std::optional<OverlayGeometry> geometry_;
};

}  // namespace vexa
