#include "media/Deinterlace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "media/H264Decoder.h"
#include "media/MjpegDecoder.h"
#include "support/Codecs.h"

namespace vexa {
namespace {

// The switch is process-wide: every test leaves it off again.
class DeinterlaceSwitch {
 public:
  explicit DeinterlaceSwitch(bool on) { SetDeinterlace(on); }
  ~DeinterlaceSwitch() { SetDeinterlace(false); }
};

TEST(Deinterlace, BlendsEachLineWithItsNeighbours) {
  // Four rows of 3 samples inside a stride of 5; edges repeat their own row.
  const uint8_t source[] = {0, 10, 20, 99, 99, 200, 210, 220, 99, 99,
                            0, 10, 20, 99, 99, 100, 100, 100, 99, 99};
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
test::YuvPicture combed(bool fullRange) {
  return test::makeYuv(
      kWidth, kHeight, [](int, int y) { return test::grey(y % 2 ? 220 : 30); }, fullRange);
}

// Mean absolute difference of the green samples of neighbouring stored rows.
double lineContrast(const uint8_t* picture) {
  double sum = 0;
  for (int i = 0; i < (kHeight - 1) * kWidth; ++i)
    sum += std::abs(picture[i * 3 + 1] - picture[(i + kWidth) * 3 + 1]);
  return sum / ((kHeight - 1) * kWidth);
}

double h264LineContrast(bool deinterlace) {
  DeinterlaceSwitch flag(deinterlace);
  const auto unit =
      test::makeH264Encoder(kWidth, kHeight, false, /*lossless=*/true)->encode(combed(false));
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
  EXPECT_GT(h264LineContrast(false), 150);
  const double blended = h264LineContrast(true);
  EXPECT_GE(blended, 0);
  EXPECT_LT(blended, 10);
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
