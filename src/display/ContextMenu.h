#pragma once

#include <string>
#include <vector>

namespace vexa {

// Command ids of the windows' menu items.
inline constexpr int kCommandPanTiltControl = 32769;  // shown, but does nothing
inline constexpr int kCommandNormalView = 32772;
inline constexpr int kCommandFullScreen = 32776;
inline constexpr int kCommandCentreMode = 32785;
inline constexpr int kCommandJoystickMode = 32787;

struct MenuItem {
  int id = 0;
  std::string text;
  bool operator==(const MenuItem&) const = default;
};

// A context menu for the presenter to show at the cursor and to answer with the chosen item's
// command; a menu without items is not shown.
struct ContextMenu {
  int id = 0;
  std::vector<MenuItem> items;
  bool empty() const { return items.empty(); }
  bool operator==(const ContextMenu&) const = default;
};

// The system cursors the window asks for: an arrow, a cross for aiming, and the sizing arrows
// over an overlay's edges and corners.
enum class CursorShape { kArrow, kCross, kSizeNS, kSizeWE, kSizeNESW, kSizeNWSE };

// What the presenter does with the mouse cursor over the window.
struct CursorState {
  bool hidden = false;
  CursorShape shape = CursorShape::kArrow;
  bool captured = false;
  bool operator==(const CursorState&) const = default;
};

}  // namespace vexa
