#include "media/Deinterlace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "media/H264Decoder.h"
#include "media/MediaTestPictures.h"
#include "media/MjpegDecoder.h"

namespace vexa {
namespace {

using test::grey;
using test::makeYuv;

// The switch is process-wide: every test leaves it off again.
class DeinterlaceSwitch {
 public:
  explicit DeinterlaceSwitch(bool on) { SetDeinterlace(on); }
  ~DeinterlaceSwitch() { SetDeinterlace(false); }
};

TEST(Deinterlace, BlendsEachLineWithItsNeighbours) {
  // Two rows of 3 samples inside a stride of 5; edges repeat their own row.
  const uint8_t source[] = {
      0,   10,  20,  99, 99,  // row 0
      200, 210, 220, 99, 99,  // row 1
      0,   10,  20,  99, 99,  // row 2
      100, 100, 100, 99, 99,  // row 3
  };
  uint8_t out[4 * 3] = {};
  blendPlane(source, 5, out, 3, 3, 4);
  const uint8_t expected[] = {
      50,  60,  70,   // (0 + 2x0 + 200) / 4, rounded
      100, 110, 120,  // (0 + 2x200 + 0) / 4
      75,  83,  90,   // (200 + 2x0 + 100) / 4
      75,  78,  80,   // (0 + 2x100 + 100) / 4
  };
  for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

// Alternate lines of two greys, the look of a moving edge in an interlaced picture.
constexpr int kWidth = 64, kHeight = 48;
constexpr int kDark = 30, kLight = 220;
test::YuvPicture combed(bool fullRange) {
  return makeYuv(
      kWidth, kHeight, [](int, int y) { return grey(y % 2 ? kLight : kDark); }, fullRange);
}

// Mean absolute difference of the green samples of neighbouring stored rows.
double lineContrast(const uint8_t* picture) {
  double sum = 0;
  for (int row = 0; row + 1 < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      sum +=
          std::abs(picture[(row * kWidth + x) * 3 + 1] - picture[((row + 1) * kWidth + x) * 3 + 1]);
    }
  }
  return sum / ((kHeight - 1) * kWidth);
}

double h264LineContrast(bool deinterlace) {
  DeinterlaceSwitch flag(deinterlace);
  auto encoder = test::makeH264Encoder(kWidth, kHeight, false, /*lossless=*/true);
  const auto unit = encoder->encode(combed(false));
  H264Decoder decoder;
  BITMAPINFOHEADER info{};
  if (!decoder.Open() || decoder.Decode(int(unit.size()), unit.data(), nullptr, &info) <= 0)
    return -1;
  decoder.flipOutputSelector();
  std::vector<uint8_t> out(kWidth * kHeight * 3);
  if (decoder.CopyFromAVFrame(out.data(), out.size(), &info) <= 0) return -1;
  return lineContrast(out.data());
}

TEST(Deinterlace, SmoothsCombingInH264Pictures) {
  if (test::h264Encoder() == nullptr) GTEST_SKIP() << "no H.264 encoder in this FFmpeg";
  const double combedContrast = h264LineContrast(false);
  const double blendedContrast = h264LineContrast(true);
  EXPECT_GT(combedContrast, 150);
  EXPECT_GE(blendedContrast, 0);
  EXPECT_LT(blendedContrast, 10);
}

TEST(Deinterlace, NeverTouchesJpegPictures) {
  DeinterlaceSwitch on(true);
  const auto jpeg = test::encodeJpeg(combed(true));
  MjpegDecoder decoder;
  ASSERT_TRUE(decoder.Open());
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  ASSERT_EQ(decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info), 0);
  EXPECT_GT(lineContrast(image.data()), 150);
}

}  // namespace
}  // namespace vexa
