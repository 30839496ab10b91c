// The fisheye views against the simulated fisheye camera: the room's straight walls dewarp
// straight, the camera's circle is found, and a streamed picture dewarps as the camera's own
// frame does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "camera/FisheyeLens.h"
#include "camera/FisheyeScene.h"
#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "camera/RtspServer.h"
#include "display/fisheye/FisheyeCalibration.h"
#include "display/fisheye/FisheyeEngine.h"
#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "platform/Clock.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"
#include "support/Picture.h"
#include "support/SitePictures.h"

namespace vexa {
namespace {

using camera::FisheyeLensKind;

struct BottomUp {
  BITMAPINFOHEADER header;
  std::vector<uint8_t> bits;
};

BottomUp bottomUp(const camera::BgrPicture& picture) {
  return {makeBgrPictureHeader(picture.width, picture.height),
          test::flipRows(picture.pixels.data(), picture.width, picture.height)};
}

// The engine in a mode, set up as the camera tells the viewer for its circle and picture size.
FisheyeEngine engineFor(const char* mode, const camera::FisheyeCircle& circle, int width,
                        int height, const Rect& video) {
  const camera::ViewerFisheyeSettings viewer = camera::viewerSettingsFor(circle, width, height);
  FisheyeEngine engine;
  engine.setSensorClass(viewer.sensorClass);
  engine.setCentreX(int32_t(viewer.centreX));
  engine.setCentreY(int32_t(viewer.centreYFromTop));
  engine.setDiameter(int32_t(viewer.diameter));
  engine.setModeFromText(mode);
  engine.setWindowVideoRect(video);
  return engine;
}

std::vector<uint8_t> dewarp(FisheyeEngine& engine, const BottomUp& picture) {
  std::vector<uint8_t> out(kDisplayPictureBytes);
  BITMAPINFOHEADER header{};
  if (!engine.dewarp(picture.header, picture.bits.data(), out.data(), out.size(), header)) {
    return {};
  }
  out.resize(size_t(header.biWidth) * size_t(header.biHeight) * 3);
  return out;
}

// ---- straight lines ----

// A point on one of the room's walls: which wall, how far along it and how far below the ceiling.
struct WallPoint {
  int wall = 0;
  double along = 0;
  double rise = 0;
};

std::optional<WallPoint> wallSeen(const camera::FisheyeScene::Room& room, const camera::Ray& ray) {
  struct Plane {
    double distance;
    double component;
    double along;
  };
  const Plane planes[] = {{room.halfDepth, -ray.y, ray.x},
                          {room.halfWidth, ray.x, ray.y},
                          {room.halfDepth, ray.y, ray.x},
                          {room.halfWidth, -ray.x, ray.y}};
  double nearest = ray.z > 0 ? room.height / ray.z : std::numeric_limits<double>::infinity();
  std::optional<WallPoint> seen;
  for (int wall = 0; wall < 4; ++wall) {
    const Plane& plane = planes[wall];
    if (plane.component <= 0) continue;
    const double t = plane.distance / plane.component;
    if (t >= nearest) continue;
    nearest = t;
    seen = WallPoint{wall, plane.along * t, ray.z * t};
  }
  return seen;
}

// Sub-pixel crossings of one wall line in the view, as (scan position, crossing) pairs.
using Crossings = std::vector<std::pair<double, double>>;

// Largest distance of the points from their least-squares line.
double straightnessError(const Crossings& points) {
  double sumS = 0, sumT = 0, sumSS = 0, sumST = 0;
  for (const auto& [s, t] : points) sumS += s, sumT += t, sumSS += s * s, sumST += s * t;
  const double n = double(points.size());
  const double slope = (n * sumST - sumS * sumT) / (n * sumSS - sumS * sumS);
  const double offset = (sumT - slope * sumS) / n;
  double worst = 0;
  for (const auto& [s, t] : points) {
    worst = std::max(worst, std::abs(t - offset - slope * s) / std::hypot(1.0, slope));
  }
  return worst;
}

struct LineKey {
  int wall;
  bool level;  // a line along the wall, not up it
  int index;
  auto operator<=>(const LineKey&) const = default;
};

// Every grid line of the walls as the dewarped view shows it: where each output column crosses
// a level line and each output row crosses an upright one, between two pixels on the same wall.
std::map<LineKey, Crossings> gridLinesInView(const FisheyeEngine& engine,
                                             const camera::FisheyeLens& lens,
                                             const camera::FisheyeScene::Room& room, int width,
                                             int height) {
  const int outWidth = engine.outputWidth(), outHeight = engine.outputHeight();
  std::vector<std::optional<WallPoint>> seen(size_t(outWidth) * size_t(outHeight));
  for (int y = 0; y < outHeight; ++y) {
    for (int x = 0; x < outWidth; ++x) {
      const int32_t entry = engine.mapEntry(x, y);
      if (entry < 0) continue;
      const int px = entry / 3 % width, storedRow = entry / 3 / width;
      const auto ray = lens.rayAt({px + 0.5, height - storedRow - 0.5});
      if (ray) seen[size_t(y) * size_t(outWidth) + size_t(x)] = wallSeen(room, *ray);
    }
  }
  std::map<LineKey, Crossings> lines;
  // Level lines are found down each column, upright ones along each row.
  const auto cross = [&](const std::optional<WallPoint>& a, const std::optional<WallPoint>& b,
                         bool level, double scan, double position) {
    if (!a || !b || a->wall != b->wall) return;
    const double from = level ? a->rise : a->along, to = level ? b->rise : b->along;
    const double step = level ? room.gridRise : room.gridStep;
    const int index = int(std::floor(std::max(from, to) / step));
    const double line = index * step;
    if (index == 0 && level) return;  // the ceiling's edge lies on the horizon
    if ((from < line) == (to < line) || from == to) return;
    lines[{a->wall, level, index}].push_back({scan, position + (line - from) / (to - from)});
  };
  for (int y = 0; y + 1 < outHeight; ++y) {
    for (int x = 0; x + 1 < outWidth; ++x) {
      const auto& here = seen[size_t(y) * size_t(outWidth) + size_t(x)];
      cross(here, seen[size_t(y + 1) * size_t(outWidth) + size_t(x)], true, x, y);
      cross(here, seen[size_t(y) * size_t(outWidth) + size_t(x + 1)], false, y, x);
    }
  }
  std::erase_if(lines, [](const auto& line) { return line.second.size() < 150; });
  return lines;
}

// How far a line's middle strays from the chord through its ends in the fisheye picture.
double bowInFisheye(const camera::FisheyeLens& lens, const camera::FisheyeScene::Room& room,
                    const LineKey& key, double from, double to) {
  const auto pictureOf = [&](double along) {
    const double fixed = key.level ? key.index * room.gridRise : key.index * room.gridStep;
    const double a = key.level ? along : fixed, rise = key.level ? fixed : along;
    const double distance = key.wall % 2 == 0 ? room.halfDepth : room.halfWidth;
    const double sign = key.wall == 0 || key.wall == 3 ? -1 : 1;
    return key.wall % 2 == 0 ? lens.pictureOf({a, sign * distance, rise})
                             : lens.pictureOf({sign * distance, a, rise});
  };
  const camera::PicturePoint first = pictureOf(from), last = pictureOf(to),
                             middle = pictureOf((from + to) / 2);
  return std::abs((last.x - first.x) * (middle.y - first.y) -
                  (last.y - first.y) * (middle.x - first.x)) /
         std::hypot(last.x - first.x, last.y - first.y);
}

// The lens the viewer assumes shows the walls' lines straight in every direction; the usual real
// lens, dewarped as if it were that one, bends them. A picture of the whole sensor has pixels
// smaller than the view's, so the geometry is measured rather than the nearest-pixel sampling.
TEST(FisheyeRoom, WallLinesDewarpStraightThroughTheLensTheViewerAssumes) {
  constexpr int kWidth = kSensorWidth, kHeight = kSensorHeight, kZoomIndex = 4;
  const camera::FisheyeCircle circle{kWidth / 2, kHeight / 2, kHeight};
  const camera::FisheyeScene::Room room = camera::FisheyeScene::roomFor(kWidth, kHeight);
  const BottomUp black = bottomUp({kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight * 3)});
  for (const FisheyeLensKind kind : {FisheyeLensKind::Stereographic, FisheyeLensKind::Equidistant}) {
    const camera::FisheyeLens lens(kind, circle, camera::sensorMappingForPicture(kWidth, kHeight));
    double worst = 0;
    int checked = 0;
    for (const int pan : {0, 90, 225}) {
      SCOPED_TRACE(testing::Message() << "lens " << int(kind) << " pan " << pan);
      FisheyeEngine engine = engineFor("PTZ", circle, kWidth, kHeight, {0, 0, 960, 540});
      engine.view(0) = {pan, 60, kZoomIndex};
      ASSERT_FALSE(dewarp(engine, black).empty());
      for (const auto& [key, crossings] :
           gridLinesInView(engine, lens, room, kWidth, kHeight)) {
        const double error = straightnessError(crossings);
        worst = std::max(worst, error);
        ++checked;
        if (kind != FisheyeLensKind::Stereographic) continue;
        EXPECT_LE(error, 1.5) << "wall " << key.wall << " line " << key.index;
        if (key.level && crossings.size() > 400) {
          const double end = (key.wall % 2 == 0 ? room.halfWidth : room.halfDepth) * 0.8;
          EXPECT_GT(bowInFisheye(lens, room, key, -end, end), 10) << "wall " << key.wall;
        }
      }
    }
    EXPECT_GE(checked, 12) << "lines seen";
    if (kind == FisheyeLensKind::Equidistant) EXPECT_GT(worst, 2) << "a lens unlike the viewer's";
  }
}

TEST(FisheyeRoom, CalibrationFindsTheCircleTheCameraDrew) {
  struct Case {
    FisheyeLensKind lens;
    int width, height;
    std::optional<camera::FisheyeCircle> circle;
  };
  const Case cases[] = {
      {FisheyeLensKind::Stereographic, 1024, 768, std::nullopt},
      {FisheyeLensKind::Equidistant, 1024, 768, std::nullopt},
      {FisheyeLensKind::Equidistant, 1280, 720, camera::FisheyeCircle{600, 380, 640}},
  };
  for (const Case& c : cases) {
    const camera::FisheyeSettings settings{c.lens, c.circle, c.width, c.height};
    const camera::FisheyeCircle drawn = settings.circleFor(c.width, c.height);
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " lens " << int(c.lens));
    camera::PictureGenerator generator(c.width, c.height, settings);
    camera::BgrPicture picture;
    generator.renderShown(3, std::nullopt, picture);
    const BottomUp bits = bottomUp(picture);
    const FisheyeCircle found = detectFisheyeCircle(bits.header, bits.bits.data());
    EXPECT_LE(std::abs(found.centreX - drawn.x), 1);
    EXPECT_LE(std::abs(found.centreY - drawn.y), 1);
    EXPECT_LE(std::abs(found.diameter - drawn.diameter), 2);
  }
}

// ---- streamed ----

// 4:2:0 sampling costs the scene's sharp edges less at this size than at 640 x 480.
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kFps = 10;
constexpr uint32_t kUdpSlot = 43;

struct FisheyeCamera : ::testing::Test {
  void SetUp() override {
    const auto [rtsp, mjpeg] = test::serverOptions({kWidth, kHeight, kFps, 90, settings});
    rtspServer = std::make_unique<camera::RtspServer>(rtsp);
    mjpegServer = std::make_unique<camera::MjpegServer>(mjpeg);
    ASSERT_TRUE(rtspServer->start()) << rtspServer->lastError();
    ASSERT_TRUE(mjpegServer->start()) << mjpegServer->lastError();
  }

  // The newest picture of a stream as the window takes it; empty when none came.
  BottomUp receive(uint32_t model, const char* path) {
    StreamConfig config;
    config.model = model;
    config.host = "127.0.0.1";
    config.path = path;
    config.rtspPort = rtspServer->port();
    config.httpPort = mjpegServer->port();
    IPCameraSite site(config, kUdpSlot);
    site.setH264Decoder(h264.get());
    if (!site.Play() || !test::eventually([&] { return site.GetFrameNumber() >= 3; })) return {};
    BottomUp picture{makeBgrPictureHeader(kWidth, kHeight), test::takePicture(site, kWidth, kHeight)};
    site.Stop();
    return picture;
  }

  // The camera's own frame closest to a received picture.
  BottomUp exactFrameOf(const BottomUp& received) {
    camera::PictureGenerator generator(kWidth, kHeight, settings);
    const std::vector<uint8_t> topDown = test::flipRows(received.bits.data(), kWidth, kHeight);
    camera::BgrPicture frame, best;
    double bestError = std::numeric_limits<double>::max();
    // The camera's frame index runs with time since it started.
    const uint32_t candidates = (platform::tickCount() - started) * kFps / 1000 + kFps;
    for (uint32_t index = 0; index < candidates; ++index) {
      generator.renderShown(index, std::nullopt, frame);
      const double error = test::meanAbsoluteError(topDown, frame.pixels);
      if (error < bestError) bestError = error, best = frame;
    }
    return bottomUp(best);
  }

  const uint32_t started = platform::tickCount();
  const camera::FisheyeSettings settings{FisheyeLensKind::Stereographic, std::nullopt, kWidth,
                                         kHeight};
  std::unique_ptr<camera::RtspServer> rtspServer;
  std::unique_ptr<camera::MjpegServer> mjpegServer;
  std::unique_ptr<H264Decoder> h264 = VideoDecoderSet::openH264();
};

TEST_F(FisheyeCamera, StreamedPicturesDewarpAsTheCamerasOwnFramesAndShowItsCircle) {
  ASSERT_NE(h264, nullptr);
  const camera::FisheyeCircle circle = settings.circleFor(kWidth, kHeight);
  const struct {
    uint32_t model;
    const char* path;
  } roads[] = {{IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, "/h264"},
               {IPCAMERA_VIDEO_MODEL_HTTP_MJPEG, "/"}};
  for (const auto& road : roads) {
    SCOPED_TRACE("model " + std::to_string(road.model));
    const BottomUp received = receive(road.model, road.path);
    ASSERT_FALSE(received.bits.empty());
    const BottomUp exact = exactFrameOf(received);

    const FisheyeCircle found = detectFisheyeCircle(received.header, received.bits.data());
    EXPECT_LE(std::abs(found.centreX - circle.x), 2);
    EXPECT_LE(std::abs(found.centreY - circle.y), 2);
    EXPECT_LE(std::abs(found.diameter - circle.diameter), 3);

    for (const char* mode : {"PTZ", "4PTZ"}) {
      FisheyeEngine engine = engineFor(mode, circle, kWidth, kHeight, {0, 0, kWidth, kHeight});
      for (int view = 0; view < perspectiveViewCount(engine.mode()); ++view) {
        engine.view(view) = {90 * view + 30, 45, FisheyeViewState::kDefaultZoomIndex};
      }
      const std::vector<uint8_t> fromStream = dewarp(engine, received);
      const std::vector<uint8_t> fromCamera = dewarp(engine, exact);
      ASSERT_FALSE(fromStream.empty());
      EXPECT_GE(test::psnr(fromStream, fromCamera), 30) << mode;
    }
  }
}

}  // namespace
}  // namespace vexa
