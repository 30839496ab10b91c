// The engine's pan/tilt/zoom view beside an independent dewarper, the ffmpeg command's v360
// filter, on the simulated camera's stereographic picture of a room: the same view must look
// alike, and the view turned the other way must not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "camera/FisheyeScene.h"
#include "display/fisheye/FisheyeEngine.h"

namespace vexa {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;  // the unscaled 1920x1080 window of the sensor
constexpr int kHeight = 1080;
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 720;
constexpr int kZoomIndex = 2;
constexpr double kToDegrees = 180.0 / 3.14159265358979323846;
constexpr double kMinAlike = 22.0;   // dB
constexpr double kMaxUnlike = 10.0;  // dB

// Large coloured regions, so that a view turned the wrong way shares little with the right one.
camera::BgrPicture floorPicture() {
  constexpr int kSide = 800;
  camera::BgrPicture floor{kSide, kSide, std::vector<uint8_t>(size_t(kSide) * kSide * 3)};
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      uint8_t* p = floor.row(y) + size_t(x) * 3;
      p[0] = uint8_t(128 + 110 * std::sin(x / 70.0));
      p[1] = uint8_t(255 * y / kSide);
      p[2] = uint8_t(128 + 110 * std::cos((x + 2 * y) / 90.0));
    }
  }
  return floor;
}

camera::BgrPicture fisheyePicture() {
  // A 180 degree stereographic circle of radius 2f, f the lens constant of the engine.
  const int diameter = int(4 * kLensFocal);
  camera::FisheyeScene scene(kWidth, kHeight, camera::FisheyeLensKind::Stereographic,
                             {kWidth / 2, kHeight / 2, diameter});
  camera::BgrPicture picture;
  scene.render(floorPicture(), picture);
  return picture;
}

// P6 files: RGB, top row first.
void writePpm(const fs::path& path, const camera::BgrPicture& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
  for (size_t i = 0; i < picture.pixels.size(); i += 3) {
    const char rgb[3] = {char(picture.pixels[i + 2]), char(picture.pixels[i + 1]),
                         char(picture.pixels[i])};
    out.write(rgb, 3);
  }
}

camera::BgrPicture readPpm(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  in >> magic >> width >> height >> maximum;
  in.get();
  camera::BgrPicture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  if (magic != "P6" || maximum != 255) return {};
  for (size_t i = 0; i < picture.pixels.size(); i += 3) {
    char rgb[3];
    if (!in.read(rgb, 3)) return {};
    picture.pixels[i] = uint8_t(rgb[2]);
    picture.pixels[i + 1] = uint8_t(rgb[1]);
    picture.pixels[i + 2] = uint8_t(rgb[0]);
  }
  return picture;
}

// The engine's view of the picture, top row first.
camera::BgrPicture engineView(const camera::BgrPicture& picture, int pan, int tilt) {
  std::vector<uint8_t> bottomUp(picture.pixels.size());
  const size_t rowBytes = size_t(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    std::copy_n(picture.row(y), rowBytes, &bottomUp[size_t(picture.height - 1 - y) * rowBytes]);
  }
  FisheyeEngine engine;
  engine.setModeFromText("PTZ");
  engine.setWindowVideoRect({0, 0, kViewWidth, kViewHeight});
  engine.view(0) = {pan, tilt, kZoomIndex, 0};
  std::vector<uint8_t> output(kDisplayPictureBytes);
  BITMAPINFOHEADER header{};
  camera::BgrPicture view;
  if (!engine.dewarp(makeBgrPictureHeader(picture.width, picture.height), bottomUp.data(),
                     output.data(), output.size(), header)) {
    return view;
  }
  view = {header.biWidth, header.biHeight,
          std::vector<uint8_t>(size_t(header.biWidth) * header.biHeight * 3)};
  const size_t viewRowBytes = size_t(view.width) * 3;
  for (int y = 0; y < view.height; ++y) {
    std::copy_n(&output[size_t(view.height - 1 - y) * viewRowBytes], viewRowBytes, view.row(y));
  }
  return view;
}

std::string v360Filter(int roll, int pitch) {
  const double focal = kLensFocal;  // the picture's scale is 1
  const double zoom = fisheyeZoomFactor(kZoomIndex);
  char text[512];
  std::snprintf(text, sizeof text,
                "v360=input=sg:output=flat:ih_fov=%f:iv_fov=%f:h_fov=%f:v_fov=%f:roll=%d:"
                "pitch=%d:rorder=rpy:w=%d:h=%d:interp=near",
                4 * std::atan(kWidth / (4 * focal)) * kToDegrees,
                4 * std::atan(kHeight / (4 * focal)) * kToDegrees,
                2 * std::atan(kViewWidth / 2 / (zoom * focal)) * kToDegrees,
                2 * std::atan(kViewHeight / 2 / (zoom * focal)) * kToDegrees, roll, pitch,
                kViewWidth, kViewHeight);
  return text;
}

double psnr(const camera::BgrPicture& a, const camera::BgrPicture& b) {
  if (a.pixels.empty() || a.pixels.size() != b.pixels.size()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const double d = double(a.pixels[i]) - double(b.pixels[i]);
    sum += d * d;
  }
  const double mse = sum / double(a.pixels.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

class FisheyeV360 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q ' v360 '") != 0) {
      GTEST_SKIP() << "ffmpeg with the v360 filter is not installed";
    }
    folder_ = fs::temp_directory_path() / ("vexa_v360_" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    picture_ = fisheyePicture();
    writePpm(folder_ / "fisheye.ppm", picture_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  camera::BgrPicture v360View(int roll, int pitch) {
    const fs::path out =
        folder_ / ("view_" + std::to_string(roll) + "_" + std::to_string(pitch) + ".ppm");
    const std::string command = "ffmpeg -hide_banner -loglevel error -y -i '" +
                                (folder_ / "fisheye.ppm").string() + "' -vf '" +
                                v360Filter(roll, pitch) + "' -frames:v 1 '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return readPpm(out);
  }

  fs::path folder_;
  camera::BgrPicture picture_;
};

TEST_F(FisheyeV360, SameViewsAlikeAndMirroredOnesNot) {
  struct Case {
    int pan, tilt;
    int roll, pitch;  // given to v360
    bool alike;
  };
  const Case cases[] = {
      {0, 0, 0, 0, true},
      {40, 30, 40, 30, true},
      {40, 30, -40, 30, false},
      {40, 30, 40, -30, false},
  };
  for (const Case& c : cases) {
    const double db = psnr(engineView(picture_, c.pan, c.tilt), v360View(c.roll, c.pitch));
    SCOPED_TRACE(testing::Message() << "pan " << c.pan << " tilt " << c.tilt << " against roll "
                                    << c.roll << " pitch " << c.pitch << ": " << db << " dB");
    if (c.alike) {
      EXPECT_GE(db, kMinAlike);
    } else {
      EXPECT_LT(db, kMaxUnlike);
    }
  }
}

}  // namespace
}  // namespace vexa
