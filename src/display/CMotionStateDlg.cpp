#include "display/CMotionStateDlg.h"

#include <cairo.h>

#include "display/MotionState.h"

namespace vexa {
namespace {

// Text origins, from the client's left edge and its vertical middle.
constexpr Canvas::Point kUpdatingTextOffset{25, -15};
constexpr Canvas::Point kWaitTextOffset{83, 15};
constexpr Canvas::Point kNotActiveTextOffset{2, 0};
constexpr int kPercent = 100;

}  // namespace

CMotionStateDlg::CMotionStateDlg() : canvas_(kClientWidth, kClientHeight) {
  canvas_.fillRect({0, 0, kClientWidth, kClientHeight}, kBackgroundColour);
}

CMotionStateDlg::~CMotionStateDlg() = default;

void CMotionStateDlg::restartPolling(std::string_view url, uint16_t port) {
  poller_.reset();  // its thread ends before the next one starts
  historyCleared_ = false;
  poller_ = std::make_unique<MotionState>(url, port);
  poller_->start();
  clearHistory();
  threshold_ = kDefaultThreshold;
}

void CMotionStateDlg::show() {
  shown_ = true;
  ++serial_;
}

void CMotionStateDlg::refresh() {
  paint(poller_ ? poller_->take() : MotionValues::Taken{});
}

void CMotionStateDlg::paint(const MotionValues::Taken& values) {
  const Rect client{0, 0, canvas_.width(), canvas_.height()};
  canvas_.fillRect(client, kBackgroundColour);
  if (values.active) {
    takeLevels(values);
    drawGraph(client);
  } else {
    if (!historyCleared_) {
      clearHistory();
      historyCleared_ = true;
    }
    drawNotActive(client);
  }
  ++serial_;
}

void CMotionStateDlg::takeLevels(const MotionValues::Taken& values) {
  historyCleared_ = false;
  for (const int8_t level : values.levels) {
    ring_[size_t(head_)] = level;
    head_ = (head_ + 1) % kHistoryLength;
  }
  threshold_ = values.threshold;
}

void CMotionStateDlg::clearHistory() {
  ring_.fill(0);
  head_ = 0;
}

void CMotionStateDlg::drawGraph(const Rect& client) {
  const int left = client.x;
  const int bottom = client.bottom();
  const int step = client.width / kHistoryLength + 1;
  std::vector<Canvas::Point> points;
  points.reserve(kHistoryLength);
  for (int i = 0; i < kHistoryLength; ++i) {
    const int level = ring_[size_t((head_ + i) % kHistoryLength)];
    points.push_back({left + i * step, bottom - level * bottom / kPercent});
  }
  // A wide pen ends round, so the newest level's own point is drawn as well.
  cairo_t* cairo = canvas_.context();
  cairo_set_line_cap(cairo, CAIRO_LINE_CAP_ROUND);
  canvas_.drawPolyline(points, kLevelPenWidth, kLevelColour);
  cairo_set_line_cap(cairo, CAIRO_LINE_CAP_BUTT);
  // Counted from the top, unlike the levels; users of these cameras read the line there.
  const int thresholdRow = bottom * threshold_ / kPercent;
  canvas_.drawLine(left, thresholdRow, client.right(), thresholdRow, kThresholdPenWidth,
                   kThresholdColour);
}

void CMotionStateDlg::drawNotActive(const Rect& client) {
  const int middle = client.bottom() / 2;
  const auto text = [&](Canvas::Point offset, const char* words) {
    canvas_.drawText(client.x + offset.x, middle + offset.y, words, kTextColour);
  };
  if (updatingBrand_) {
    text(kUpdatingTextOffset, kUpdatingText);
    text(kWaitTextOffset, kWaitText);
  } else {
    text(kNotActiveTextOffset, kNotActiveText);
  }
}

std::vector<int8_t> CMotionStateDlg::history() const {
  std::vector<int8_t> levels;
  levels.reserve(kHistoryLength);
  for (int i = 0; i < kHistoryLength; ++i)
    levels.push_back(ring_[size_t((head_ + i) % kHistoryLength)]);
  return levels;
}

}  // namespace vexa
