// The engine's pan/tilt/zoom view beside an independent dewarper, the ffmpeg command's v360
// filter, on the simulated camera's stereographic picture of a room: the same view must look
// alike, and the view turned the other way must not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "camera/PictureGenerator.h"
#include "display/fisheye/FisheyePictures.h"

namespace vexa {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;  // the unscaled 1920x1080 window of the sensor
constexpr int kHeight = 1080;
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 720;
constexpr int kZoomIndex = 2;
constexpr double kToDegrees = 180.0 / 3.14159265358979323846;

// The simulated camera's room in a 180 degree stereographic circle of radius 2f, f the lens
// constant of the engine; bottom-up, as the engine takes it.
test::FisheyePicture fisheyePicture() {
  camera::PictureGenerator generator(
      kWidth, kHeight,
      camera::FisheyeSettings{camera::FisheyeLensKind::Stereographic,
                              camera::FisheyeCircle{kWidth / 2, kHeight / 2, int(4 * kLensFocal)},
                              kWidth, kHeight});
  camera::BgrPicture topDown;
  generator.renderShown(7, std::nullopt, topDown);
  test::FisheyePicture picture(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    std::copy_n(topDown.row(y), kWidth * 3, picture.pixel(0, kHeight - 1 - y));
  }
  return picture;
}

class FisheyeV360 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q ' v360 '") != 0) {
      GTEST_SKIP() << "ffmpeg with the v360 filter is not installed";
    }
    folder_ = fs::temp_directory_path() / ("vexa_v360_" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "in.bgr", std::ios::binary)
        .write(reinterpret_cast<const char*>(picture_.bits.data()),
               std::streamsize(picture_.bits.size()));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::vector<uint8_t> engineView(int pan, int tilt) {
    FisheyeEngine engine = test::engineIn("PTZ", {0, 0, kViewWidth, kViewHeight});
    engine.view(0) = {pan, tilt, kZoomIndex, 0};
    return test::dewarp(engine, picture_).bits;
  }

  // Raw bottom-up BGR in and out, flipped round the filter.
  std::vector<uint8_t> v360View(int roll, int pitch) {
    const double focal = kLensFocal, zoom = fisheyeZoomFactor(kZoomIndex);  // picture scale 1
    char filter[512];
    std::snprintf(filter, sizeof filter,
                  "vflip,v360=input=sg:output=flat:ih_fov=%f:iv_fov=%f:h_fov=%f:v_fov=%f:roll=%d:"
                  "pitch=%d:rorder=rpy:w=%d:h=%d:interp=near,vflip",
                  4 * std::atan(kWidth / (4 * focal)) * kToDegrees,
                  4 * std::atan(kHeight / (4 * focal)) * kToDegrees,
                  2 * std::atan(kViewWidth / 2 / (zoom * focal)) * kToDegrees,
                  2 * std::atan(kViewHeight / 2 / (zoom * focal)) * kToDegrees, roll, pitch,
                  kViewWidth, kViewHeight);
    const fs::path out = folder_ / "out.bgr";
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " +
        std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -i '" +
        (folder_ / "in.bgr").string() + "' -vf '" + filter +
        "' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(out, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path folder_;
  const test::FisheyePicture picture_ = fisheyePicture();
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
    const double db = test::psnr(engineView(c.pan, c.tilt), v360View(c.roll, c.pitch));
    SCOPED_TRACE(testing::Message() << "pan " << c.pan << " tilt " << c.tilt << " against roll "
                                    << c.roll << " pitch " << c.pitch << ": " << db << " dB");
    if (c.alike) {
      EXPECT_GE(db, 22.0);
    } else {
      EXPECT_LT(db, 10.0);
    }
  }
}

}  // namespace
}  // namespace vexa
