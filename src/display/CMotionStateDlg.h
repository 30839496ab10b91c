#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "display/Canvas.h"
#include "display/MotionValues.h"

namespace vexa {

class MotionState;

// The motion-state window: a graph of the camera's last 100 motion levels under its detection
// threshold, fed by its own poller of the camera's motion port.
class CMotionStateDlg {
 public:
  // 399 keeps every point of the graph inside: step 4, the newest at x = 396.
  static constexpr int kClientWidth = 399;
  static constexpr int kClientHeight = 150;
  static constexpr int kHistoryLength = 100;
  static constexpr int32_t kDefaultThreshold = 80;
  // Colours are Windows colour values, 0x00BBGGRR.
  static constexpr uint32_t kBackgroundColour = 0xFFFFFF;
  static constexpr uint32_t kLevelColour = 0xFF3232;
  static constexpr uint32_t kThresholdColour = 0x3232FF;
  static constexpr uint32_t kTextColour = 0x000000;
  static constexpr int kLevelPenWidth = 3;
  static constexpr int kThresholdPenWidth = 2;
  // The brand whose cameras say the detection is being updated rather than off.
  static constexpr std::string_view kUpdatingBrand = "KORVA";
  static constexpr const char* kUpdatingText = "Motion Detection Updating";
  static constexpr const char* kWaitText = "Please Wait";
  static constexpr const char* kNotActiveText = "Motion Detection Is Not Active";
  // That brand's window sits this far below the video window, at its left edge.
  static constexpr int kGapBelowVideo = 35;

  CMotionStateDlg();
  CMotionStateDlg(const CMotionStateDlg&) = delete;
  CMotionStateDlg& operator=(const CMotionStateDlg&) = delete;
  ~CMotionStateDlg();

  // Replaces the poller by a started one for the host of url (the old one is waited for), with an
  // empty history and the default threshold.
  void restartPolling(std::string_view url, uint16_t port);
  void setBrand(std::string_view brand) { updatingBrand_ = brand == kUpdatingBrand; }
  bool hasUpdatingBrand() const { return updatingBrand_; }

  void show();
  void hide() { shown_ = false; }
  bool isShown() const { return shown_; }
  // Where the window goes, relative to the video window's top-left corner; none: anywhere.
  void setPlacement(std::optional<Canvas::Point> placement) { placement_ = placement; }
  std::optional<Canvas::Point> placement() const { return placement_; }

  // Takes what the poller collected and draws it; without a poller, detection counts as off.
  void refresh();
  // Draws the given values: the graph while detection is active, else the waiting texts.
  void paint(const MotionValues::Taken& values);

  const Canvas& canvas() const { return canvas_; }
  // Changes whenever the canvas was drawn into or the window was shown.
  uint64_t serial() const { return serial_; }
  // The levels the graph shows, oldest first.
  std::vector<int8_t> history() const;
  int32_t threshold() const { return threshold_; }
  // Null before the first restartPolling.
  const MotionState* poller() const { return poller_.get(); }

 private:
  void takeLevels(const MotionValues::Taken& values);
  void clearHistory();
  void drawGraph(const Rect& client);
  void drawNotActive(const Rect& client);

  Canvas canvas_;
  std::array<int8_t, kHistoryLength> ring_{};
  int head_ = 0;
  int32_t threshold_ = kDefaultThreshold;
  bool historyCleared_ = false;
  bool updatingBrand_ = false;
  bool shown_ = false;
  std::optional<Canvas::Point> placement_;
  uint64_t serial_ = 0;
  std::unique_ptr<MotionState> poller_;
};

}  // namespace vexa
