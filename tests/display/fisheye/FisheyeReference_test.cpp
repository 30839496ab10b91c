// The engine against a slow, literal evaluation of the lens and view formulas in double
// precision, trigonometry and all, per output pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "display/ViewFrame.h"
#include "display/fisheye/FisheyeEngine.h"
#include "display/fisheye/FisheyePictures.h"

namespace vexa {
namespace {

constexpr double kPi = double(3.1415927f);
constexpr double kF = 477.0;
constexpr double kMinPsnr = 40.0;
constexpr std::array<double, 10> kZooms{0.25, 0.33, 0.5, 0.75, 1.0, 1.25, 1.4, 1.75, 2.0, 2.5};

struct Lens {
  int width, height;
  double cx, cy;  // effective centre
  double scaleX, offsetX, scaleY, offsetY;
  double bias;
  double diameter;
};

int64_t streamOffset(const Lens& l, double sx, double sy) {
  const double px = std::trunc((sx + l.offsetX) * l.scaleX);
  const double py = std::trunc((sy + l.offsetY) * l.scaleY);
  if (!(px >= 0 && px < l.width && py >= 0 && py < l.height)) return -1;
  return (int64_t(py) * l.width + int64_t(px)) * 3;
}

struct Rows {
  double x[3], y[3], z[3];
};
Rows rotation(double a, double b) {
  return {{std::cos(a), std::sin(a) * std::cos(b), std::sin(a) * std::sin(b)},
          {-std::sin(a), std::cos(a) * std::cos(b), std::cos(a) * std::sin(b)},
          {0, -std::sin(b), std::cos(b)}};
}

// Fisheye angle and azimuth of a lens ray.
void lensAngles(const Rows& m, const double r[3], double& alpha, double& psi) {
  const double X = m.x[0] * r[0] + m.x[1] * r[1] + m.x[2] * r[2];
  const double Y = m.y[0] * r[0] + m.y[1] * r[1] + m.y[2] * r[2];
  const double Z = m.z[0] * r[0] + m.z[1] * r[1] + m.z[2] * r[2];
  alpha = std::acos(std::clamp(Z, -1.0, 1.0));
  if (X == 0) {
    psi = Y >= 0 ? kPi / 2 : -kPi / 2;
  } else {
    psi = std::atan(Y / X) + (X / std::sin(alpha) < 0 ? kPi : 0);
  }
}

int64_t perspective(const Lens& l, double pan, double tilt, int zoomIndex, double fieldScale,
                    bool roll, int u, int v) {
  if (tilt < 0) {
    pan += 180;
    tilt = -tilt;
  }
  const double a = -pan * kPi / 180, b = -tilt * kPi / 180;
  Rows m = rotation(a, b);
  if (roll) {
    const double c = -(a + l.bias);
    for (int i = 0; i < 3; ++i) {
      const double x = m.x[i], y = m.y[i];
      m.x[i] = std::cos(c) * x - std::sin(c) * y;
      m.y[i] = std::sin(c) * x + std::cos(c) * y;
    }
  }
  const double z = kZooms[size_t(std::clamp(zoomIndex, 0, 9))] * fieldScale;
  double phi = u == 0 ? (v >= 0 ? kPi / 2 : -kPi / 2) : std::atan(double(v) / u);
  if (u < 0) phi += kPi;
  const double theta = std::fabs(std::atan(std::sqrt(double(u * u + v * v)) / (z * kF)));
  const double r[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                       std::cos(theta)};
  double alpha, psi;
  lensAngles(m, r, alpha, psi);
  const double rho = 2 * kF * std::tan(alpha / 2);
  return streamOffset(l, l.cx + std::trunc(rho * std::cos(psi)) - 1,
                      l.cy - std::trunc(rho * std::sin(psi)) - 1);
}

int64_t panorama(const Lens& l, double tilt, double arc, int x, int y, int ow, int oh) {
  const double xp = (x - ow / 2) * arc, yp = (oh / 2 - y) * arc;
  if (l.diameter <= 0 || std::fabs(xp) > l.diameter || std::fabs(yp) > l.diameter) return -1;
  const double lambda = xp / kF, mu = std::atan(std::sinh(yp / kF));
  const double r[3] = {std::sin(lambda) * std::cos(mu), std::sin(mu),
                       std::cos(lambda) * std::cos(mu)};
  double alpha, psi;
  lensAngles(rotation(0, tilt * kPi / 180), r, alpha, psi);
  psi += l.bias;
  const double rho = 2 * kF * std::tan(alpha / 2);
  return streamOffset(l, std::floor(l.cx + std::floor(rho * std::cos(psi))),
                      std::floor(l.cy - std::floor(rho * std::sin(psi))));
}

bool inside(const Rect& r, int x, int y) {
  return x >= r.x && x < r.right() && y >= r.y && y < r.bottom();
}

// The source offset behind output pixel (x, y) (stored rows) of a w x h output.
int64_t referenceEntry(const Lens& l, int mode, int w, int h, double fieldScale,
                       const FisheyeViewStates& views, int x, int y) {
  auto view = [&](int i, const Rect& r, bool roll) {
    const FisheyeViewState& s = views[size_t(i)];
    return perspective(l, s.pan, s.tilt, s.zoomIndex, fieldScale, roll, (x - r.x) - r.width / 2,
                       r.height / 2 - (y - r.y));
  };
  switch (windowMode(mode)) {
    case kFisheyePtz:
      return view(0, {0, 0, w, h}, false);
    case kFisheyeQuad: {
      const int hw = (w - 1) / 2, hh = (h - 1) / 2;
      const Rect rects[] = {
          {0, h - hh, hw, hh}, {w - hw, h - hh, hw, hh}, {0, 0, hw, hh}, {w - hw, 0, hw, hh}};
      for (int i = 0; i < 4; ++i) {
        if (inside(rects[i], x, y)) return view(i, rects[i], false);
      }
      return -1;
    }
    case kFisheyePanorama: {
      const int bh = h / 2, top = (h - bh) / 2;
      if (y < top || y >= top + bh) return -1;
      return panorama(l, 0, kPi * kF / w, x, y - top, w, bh);
    }
    case kFisheye360: {
      const int part = h / 2 + 1;
      const int shift = int(double(views[0].pan) / 180 * w);
      const int column = ((x + shift + (y / part) * w) % (2 * w) + 2 * w) % (2 * w);
      return panorama(l, -90, 2 * kPi * kF / (2 * w), column, y % part, 2 * w, h);
    }
    case kFisheyePanoPtz: {
      if (y >= h / 2 && y < h / 2 * 2) return panorama(l, 0, kPi * kF / w, x, y - h / 2, w, h / 2);
      for (int i = 0; i < 2; ++i) {
        const Rect r{i == 0 ? 0 : w / 2, 0, w / 2, h / 2};
        if (inside(r, x, y)) return view(i, r, true);
      }
      return -1;
    }
    default:
      return -1;
  }
}

constexpr int kCentreX = 1310, kCentreY = 980;  // y given from the sensor's far edge
constexpr double kStoredCentreY = kSensorHeight - kCentreY;
constexpr int kBiasDegrees = 150;
constexpr double kDiameter = 1800;

// The lens as a picture of the given size and orientation shows it.
Lens lensFor(int orientation, int width, int height) {
  const double cx = kCentreX, cy = kStoredCentreY, sw = kSensorWidth, sh = kSensorHeight;
  const double centres[6][2] = {{cx, cy},           {cx, sh - cy}, {sw - cx, cy},
                                {sw - cx, sh - cy}, {sh - cy, cx}, {cy, sw - cx}};
  const bool quarterTurn = orientation >= kCounterClockwise;
  const SensorRow& row = quarterTurn ? sensorRow(kSensor1920x1080, height, width)
                                     : sensorRow(kSensor1920x1080, width, height);
  Lens lens{width,
            height,
            centres[orientation][0],
            centres[orientation][1],
            row.scaleX,
            double(row.offsetX),
            row.scaleY,
            double(row.offsetY),
            double(3.1415927f * kBiasDegrees / 180.0f),
            kDiameter};
  if (quarterTurn) {
    std::swap(lens.scaleX, lens.scaleY);
    std::swap(lens.offsetX, lens.offsetY);
  }
  return lens;
}

TEST(FisheyeReference, EveryModeAndOrientationMatchesTheFormulas) {
  const test::FisheyePicture landscape = test::smoothPicture(1920, 1080);
  const test::FisheyePicture portrait = test::smoothPicture(480, 640);  // a scaled size
  const Rect video{2, 2, 636, 356};
  const int clientWidth = 1366, clientHeight = 768;
  const FisheyeViewStates views{{{40, 30, 2}, {200, -20, 5}, {300, 70, 0}, {10, 5, 9}}};
  const std::pair<const char*, int> cases[] = {
      {"PTZ", kMirror},      {"360", kMirror},     {"4PTZ", kMirror},
      {"PANORAMA", kMirror}, {"PANOPTZ", kMirror}, {"PTZ", kNormal},
      {"PTZ", kFlip},        {"PTZ", kRotate},     {"4PTZ", kCounterClockwise},
      {"PTZ", kClockwise}};
  for (const auto& [modeText, orientation] : cases) {
    const test::FisheyePicture& picture = orientation >= kCounterClockwise ? portrait : landscape;
    const Lens lens = lensFor(orientation, picture.header.biWidth, picture.header.biHeight);
    for (bool fullScreen : {false, true}) {
      FisheyeEngine engine = test::engineIn(modeText, video);
      engine.setOrientation(orientation);
      engine.setCentreX(kCentreX);
      engine.setCentreY(kCentreY);
      engine.setDiameter(int32_t(kDiameter));
      engine.setRotateBiasDegrees(kBiasDegrees);
      engine.setFullScreenClient(clientWidth, clientHeight);
      for (int i = 0; i < kMaxFisheyeViews; ++i) engine.view(i) = views[size_t(i)];
      engine.setFullScreen(fullScreen);
      const int mode = engine.mode();
      SCOPED_TRACE(testing::Message() << "mode " << mode << " orientation " << orientation);

      const test::Dewarped out = test::dewarp(engine, picture);
      ASSERT_TRUE(out.ok);
      const int w = out.header.biWidth, h = out.header.biHeight;

      int expectedWidth = video.right(), expectedHeight = video.bottom();
      double fieldScale = 1;
      if (mode == kFisheye360Full) {
        expectedWidth = clientWidth, expectedHeight = clientHeight;
      } else if (fullScreen) {
        const Rect fit = ViewFrame::layout(ViewFrame::kFit, {0, 0, clientWidth, clientHeight},
                                           video.width, video.height);
        expectedWidth = fit.width, expectedHeight = fit.height;
        fieldScale = double(fit.width) / video.width;
      } else if (mode == kFisheye360 || mode == kFisheyePanorama) {
        expectedWidth = video.width, expectedHeight = video.height;
      }
      ASSERT_EQ(w, expectedWidth);
      ASSERT_EQ(h, expectedHeight);

      std::vector<uint8_t> expected(out.bits.size(), 0);
      size_t shown = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const int64_t entry = referenceEntry(lens, mode, w, h, fieldScale, views, x, y);
          if (entry < 0) continue;
          ++shown;
          std::copy_n(&picture.bits[size_t(entry)], 3, &expected[(size_t(y) * w + x) * 3]);
        }
      }
      EXPECT_GT(shown, size_t(w) * h / 4);  // the comparison is not of two black pictures
      EXPECT_GE(test::psnr(out.bits, expected), kMinPsnr);
    }
  }
}

}  // namespace
}  // namespace vexa
