#include "media/MjpegDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "support/Codecs.h"

namespace vexa {
namespace {

using test::bgrAt;
using test::encodeJpeg;
using test::grey;
using test::makeYuv;
using test::near;
using test::Rgb;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kWhite{255, 255, 255};
// JPEG loss on flat areas of saturated colour.
constexpr int kColourTolerance = 12;
constexpr uint8_t kSentinel = 0xA5;

class MjpegDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(decoder.Open()); }

  int decode(const std::vector<uint8_t>& jpeg) {
    return decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info);
  }
  bool untouchedFrom(size_t offset) const {
    return std::all_of(image.begin() + std::ptrdiff_t(offset), image.end(),
                       [](uint8_t byte) { return byte == kSentinel; });
  }

  MjpegDecoder decoder;
  // The display's picture buffer, plus a guard band that must stay untouched.
  std::vector<uint8_t> image = std::vector<uint8_t>(kDisplayPictureBytes + 256, kSentinel);
  BITMAPINFOHEADER info{};
};

std::vector<uint8_t> redOverBlue(int width, int height) {
  return encodeJpeg(
      makeYuv(width, height, [&](int, int y) { return y < height / 2 ? kRed : kBlue; }));
}

TEST_F(MjpegDecoderTest, DecodesBottomRowFirstInBgrOrderWithoutRowPadding) {
  // 101 x 3 = 303 bytes a row: any padding would shift every following row.
  constexpr int kWidth = 101, kHeight = 75;
  auto quadrant = [](int x, int y) {
    if (y < 38) return x < 50 ? kRed : kGreen;
    return x < 50 ? kBlue : kWhite;
  };
  ASSERT_EQ(decode(encodeJpeg(makeYuv(kWidth, kHeight, quadrant))), 0);
  const BITMAPINFOHEADER expected = makeBgrPictureHeader(kWidth, kHeight);
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);

  // Stored row 0 is the picture's bottom row (blue at the left): bytes 255, 0, 0.
  EXPECT_NEAR(image[0], 255, kColourTolerance);
  EXPECT_NEAR(image[1], 0, kColourTolerance);
  EXPECT_NEAR(image[2], 0, kColourTolerance);
  auto at = [&](int x, int pictureRow) {
    return bgrAt(image.data(), kWidth, kHeight - 1 - pictureRow, x);
  };
  EXPECT_TRUE(near(at(12, 10), kRed, kColourTolerance)) << at(12, 10);
  EXPECT_TRUE(near(at(88, 10), kGreen, kColourTolerance)) << at(88, 10);
  EXPECT_TRUE(near(at(12, 65), kBlue, kColourTolerance)) << at(12, 65);
  EXPECT_TRUE(near(at(100, 74), kWhite, kColourTolerance)) << at(100, 74);
  EXPECT_TRUE(untouchedFrom(size_t(kWidth) * kHeight * 3));
}

TEST_F(MjpegDecoderTest, KeepsGreyLevelsOfFullRangePictures) {
  // JPEG samples span 0-255; reading them as 16-235 would turn 16 into 0 and 235 into 255.
  const int levels[] = {0, 16, 40, 128, 215, 235, 255};
  constexpr int kStripe = 32, kHeight = 32;
  const int width = kStripe * int(std::size(levels));
  ASSERT_EQ(decode(encodeJpeg(
                makeYuv(width, kHeight, [&](int x, int) { return grey(levels[x / kStripe]); }))),
            0);
  for (size_t i = 0; i < std::size(levels); ++i) {
    const Rgb pixel = bgrAt(image.data(), width, kHeight / 2, int(i) * kStripe + kStripe / 2);
    EXPECT_TRUE(near(pixel, grey(levels[i]), 3))
        << "level " << levels[i] << " came out as " << pixel;
  }
}

TEST_F(MjpegDecoderTest, RefusesPicturesLargerThanThePictureBuffer) {
  auto flat = [](int, int) { return grey(90); };
  ASSERT_EQ(decode(encodeJpeg(makeYuv(kMaxDisplayWidth, kMaxDisplayHeight, flat))), 0);
  EXPECT_EQ(info.biSizeImage, kDisplayPictureBytes);
  const BITMAPINFOHEADER before = info;
  EXPECT_EQ(decode(encodeJpeg(makeYuv(kMaxDisplayWidth, kMaxDisplayHeight + 2, flat))), -1);
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  EXPECT_TRUE(untouchedFrom(kDisplayPictureBytes));
}

// Offset of the first start-of-scan marker.
size_t startOfScan(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i;
  }
  return jpeg.size();
}

TEST_F(MjpegDecoderTest, RejectsGarbageAndTruncatedInputAndRecovers) {
  const std::vector<uint8_t> jpeg = redOverBlue(128, 96);
  EXPECT_EQ(decoder.Decode(0, jpeg.data(), image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(-5, jpeg.data(), image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(int(jpeg.size()), nullptr, image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(int(jpeg.size()), jpeg.data(), nullptr, &info), -1);

  std::mt19937 random(7);
  std::vector<uint8_t> garbage(4000);
  for (auto& byte : garbage) byte = uint8_t(random());
  EXPECT_EQ(decode(garbage), -1);
  // Headers without any scan data carry no picture.
  EXPECT_EQ(decode({jpeg.begin(), jpeg.begin() + std::ptrdiff_t(startOfScan(jpeg))}), -1);

  // Cut inside the scan, or with the scan damaged: a partial picture or a refusal, never more.
  const int cutResult = decode({jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() * 2 / 3)});
  EXPECT_TRUE(cutResult == 0 || cutResult == -1);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> damaged = jpeg;
    for (size_t i = startOfScan(jpeg) + 20; i < damaged.size(); i += 37)
      damaged[i] = uint8_t(random());
    const int result = decode(damaged);
    EXPECT_TRUE(result == 0 || result == -1);
  }
  EXPECT_TRUE(untouchedFrom(size_t(128) * 96 * 3));
  ASSERT_EQ(decode(jpeg), 0);
  EXPECT_TRUE(near(bgrAt(image.data(), 128, 0, 64), kBlue, kColourTolerance));
}

TEST_F(MjpegDecoderTest, TakesThePictureAfterATablesOnlyImage) {
  // A tables-only image (start, quantisation tables, end) yields no picture; the picture that
  // follows it in the same buffer does.
  const std::vector<uint8_t> jpeg = redOverBlue(64, 48);
  std::vector<uint8_t> buffer = {0xFF, 0xD8};
  for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA;) {
    const size_t segment = 2 + ((size_t(jpeg[i + 2]) << 8) | jpeg[i + 3]);
    if (jpeg[i + 1] == 0xDB)
      buffer.insert(buffer.end(), jpeg.begin() + i, jpeg.begin() + i + segment);
    i += segment;
  }
  ASSERT_GT(buffer.size(), 2u) << "no quantisation table found";
  buffer.insert(buffer.end(), {0xFF, 0xD9});
  buffer.insert(buffer.end(), jpeg.begin(), jpeg.end());
  ASSERT_EQ(decode(buffer), 0);
  EXPECT_EQ(info.biWidth, 64);
  EXPECT_TRUE(near(bgrAt(image.data(), 64, 0, 10), kBlue, kColourTolerance));
}

TEST(MjpegDecoderLifetime, DecodesOnlyWhileOpenAndReopenAlwaysOpens) {
  MjpegDecoder decoder;
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  const std::vector<uint8_t> jpeg = redOverBlue(64, 48);
  auto decode = [&](const std::vector<uint8_t>& bytes) {
    return decoder.Decode(int(bytes.size()), bytes.data(), image.data(), &info);
  };
  ASSERT_TRUE(decoder.Reopen());  // never opened before
  EXPECT_EQ(decode(jpeg), 0);
  EXPECT_TRUE(decoder.Close());
  EXPECT_FALSE(decoder.isOpen());
  EXPECT_FALSE(decoder.Close());
  EXPECT_EQ(decode(jpeg), -1);
  ASSERT_TRUE(decoder.Reopen());
  EXPECT_EQ(decode(redOverBlue(96, 64)), 0);
  EXPECT_EQ(info.biWidth, 96);
}

}  // namespace
}  // namespace vexa
