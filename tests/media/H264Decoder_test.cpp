#include "media/H264Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/Codecs.h"

namespace vexa {
namespace {

using test::bgrAt;
using test::grey;
using test::makeH264Encoder;
using test::makeYuv;
using test::near;
using test::Rgb;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr int kColourTolerance = 16;
constexpr int kSmallWidth = 320, kSmallHeight = 240;
constexpr int kLargeWidth = 640, kLargeHeight = 480;
constexpr size_t kSmallBytes = size_t(kSmallWidth) * kSmallHeight * 3;

using Unit = std::vector<uint8_t>;

std::vector<Unit> encodeSequence(int width, int height, const std::vector<Rgb>& colours) {
  auto encoder = makeH264Encoder(width, height);
  std::vector<Unit> units;
  for (const Rgb& colour : colours)
    units.push_back(encoder->encode(makeYuv(
        width, height, [&](int, int) { return colour; }, false)));
  return units;
}

// The bytes of an Annex B access unit before its first picture slice: parameter sets and SEI.
Unit headerNalUnits(const Unit& unit) {
  for (size_t i = 0; i + 3 < unit.size(); ++i) {
    const int type = unit[i + 3] & 0x1F;
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 && (type == 1 || type == 5))
      return {unit.begin(), unit.begin() + std::ptrdiff_t(i > 0 && unit[i - 1] == 0 ? i - 1 : i)};
  }
  return {};
}

class H264DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::h264Encoder() == nullptr) GTEST_SKIP() << "no H.264 encoder in this FFmpeg";
    ASSERT_TRUE(decoder.Open());
  }

  int decode(const Unit& unit) {
    return decoder.Decode(int(unit.size()), unit.data(), nullptr, &info);
  }

  // Decode and, on success, flip the selector as the decode thread does.
  int decodeAndFlip(const Unit& unit) {
    const int result = decode(unit);
    if (result > 0) decoder.flipOutputSelector();
    return result;
  }

  // The completed picture, bottom-up, in a buffer of exactly its size.
  std::vector<uint8_t> copyOut() {
    std::vector<uint8_t> out(size_t(decoder.width()) * decoder.height() * 3);
    BITMAPINFOHEADER header{};
    const int copied = decoder.CopyFromAVFrame(out.data(), out.size(), &header);
    out.resize(copied > 0 ? size_t(copied) : 0);
    return out;
  }
  Rgb copiedPixel(int width, int row, int x) { return bgrAt(copyOut().data(), width, row, x); }

  H264Decoder decoder;
  BITMAPINFOHEADER info{};
};

TEST_F(H264DecoderTest, ConvertsIntoTheSelectedPictureAndHandsOutTheOtherAtItsOwnSize) {
  const auto small = encodeSequence(kSmallWidth, kSmallHeight, {kRed});
  const auto large = encodeSequence(kLargeWidth, kLargeHeight, {kBlue});
  EXPECT_TRUE(copyOut().empty()) << "nothing is completed before the first picture";
  ASSERT_EQ(decode(small[0]), int(small[0].size()));
  EXPECT_EQ(info.biWidth, kSmallWidth);
  EXPECT_EQ(info.biHeight, kSmallHeight);
  decoder.flipOutputSelector();
  EXPECT_EQ(decoder.outputSelector(), 1);
  EXPECT_TRUE(near(copiedPixel(kSmallWidth, 0, 0), kRed, kColourTolerance));

  // A larger picture goes into the other buffer: until the flip, the small red one is handed
  // out, at its own size.
  ASSERT_GT(decode(large[0]), 0);
  EXPECT_EQ(decoder.width(), kLargeWidth);
  EXPECT_EQ(info.biHeight, kLargeHeight);
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> out(size_t(kLargeWidth) * kLargeHeight * 3);
  ASSERT_EQ(decoder.CopyFromAVFrame(out.data(), out.size(), &header), int(kSmallBytes));
  EXPECT_EQ(header.biWidth, kSmallWidth);
  EXPECT_TRUE(near(bgrAt(out.data(), kSmallWidth, kSmallHeight - 1, kSmallWidth - 1), kRed,
                   kColourTolerance));
  decoder.flipOutputSelector();
  EXPECT_EQ(decoder.outputSelector(), 0);
  ASSERT_EQ(decoder.CopyFromAVFrame(out.data(), out.size(), &header), int(out.size()));
  EXPECT_EQ(header.biWidth, kLargeWidth);
  EXPECT_TRUE(near(bgrAt(out.data(), kLargeWidth, kLargeHeight - 1, kLargeWidth - 1), kBlue,
                   kColourTolerance));
  // And back to the small size.
  ASSERT_GT(decodeAndFlip(encodeSequence(kSmallWidth, kSmallHeight, {kGreen})[0]), 0);
  EXPECT_EQ(copyOut().size(), kSmallBytes);
  EXPECT_TRUE(near(copiedPixel(kSmallWidth, 5, 5), kGreen, kColourTolerance));
}

TEST_F(H264DecoderTest, CopiesBottomRowFirstInBgrOrderWithinCapacity) {
  ASSERT_GT(decodeAndFlip(
                makeH264Encoder(kSmallWidth, kSmallHeight)
                    ->encode(makeYuv(
                        kSmallWidth, kSmallHeight,
                        [](int, int y) { return y < kSmallHeight / 2 ? kRed : kBlue; }, false))),
            0);
  std::vector<uint8_t> small(kSmallBytes - 1, 0x11);
  BITMAPINFOHEADER header{};
  EXPECT_EQ(decoder.CopyFromAVFrame(small.data(), small.size(), &header), -1);
  EXPECT_EQ(header.biSize, 0u);
  EXPECT_EQ(std::count(small.begin(), small.end(), 0x11), std::ptrdiff_t(small.size()));

  std::vector<uint8_t> out(kSmallBytes + 16, 0x11);
  ASSERT_EQ(decoder.CopyFromAVFrame(out.data(), out.size(), &header), int(kSmallBytes));
  EXPECT_EQ(header.biWidth, kSmallWidth);
  EXPECT_EQ(header.biHeight, kSmallHeight);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biSizeImage, uint32_t(kSmallBytes));
  // Bottom row (blue) first, as bytes blue, green, red.
  EXPECT_NEAR(out[0], 255, kColourTolerance);
  EXPECT_NEAR(out[1], 0, kColourTolerance);
  EXPECT_NEAR(out[2], 0, kColourTolerance);
  EXPECT_TRUE(near(bgrAt(out.data(), kSmallWidth, kSmallHeight - 1, kSmallWidth - 1), kRed,
                   kColourTolerance));
  EXPECT_EQ(out[kSmallBytes], 0x11);
}

TEST_F(H264DecoderTest, ParameterSetsAloneYieldNoPictureAndTouchNothing) {
  const auto units = encodeSequence(kSmallWidth, kSmallHeight, {kGreen});
  ASSERT_GT(decodeAndFlip(units[0]), 0);
  const std::vector<uint8_t> before = copyOut();
  const Unit parameterSets = headerNalUnits(units[0]);
  ASSERT_FALSE(parameterSets.empty());
  info = {};
  EXPECT_EQ(decode(parameterSets), -1);
  EXPECT_EQ(info.biSize, 0u);
  EXPECT_EQ(copyOut(), before);
  // Flipping back shows the picture that would have been converted into: still none.
  decoder.flipOutputSelector();
  EXPECT_TRUE(copyOut().empty());
}

TEST_F(H264DecoderTest, RefusesPicturesLargerThanItsBuffers) {
  H264Decoder bounded(kSmallBytes);
  ASSERT_TRUE(bounded.Open());
  const auto large = encodeSequence(kLargeWidth, kLargeHeight, {kBlue});
  const auto small = encodeSequence(kSmallWidth, kSmallHeight, {kRed});
  EXPECT_EQ(bounded.Decode(int(large[0].size()), large[0].data(), nullptr, &info), -1);
  EXPECT_EQ(bounded.width(), 0);
  EXPECT_GT(bounded.Decode(int(small[0].size()), small[0].data(), nullptr, &info), 0);
  EXPECT_EQ(bounded.width(), kSmallWidth);
}

TEST_F(H264DecoderTest, ExpandsLimitedRangeAndKeepsFullRange) {
  // Near black and near white tell the ranges apart: 16 read as limited becomes 0.
  const int levels[] = {16, 128, 235};
  for (bool fullRange : {false, true}) {
    H264Decoder rangeDecoder;
    ASSERT_TRUE(rangeDecoder.Open());
    const auto unit = makeH264Encoder(96, 32, fullRange, /*lossless=*/true)
                          ->encode(makeYuv(
                              96, 32, [&](int x, int) { return grey(levels[x / 32]); }, fullRange));
    ASSERT_GT(rangeDecoder.Decode(int(unit.size()), unit.data(), nullptr, &info), 0);
    rangeDecoder.flipOutputSelector();
    std::vector<uint8_t> out(96 * 32 * 3);
    ASSERT_GT(rangeDecoder.CopyFromAVFrame(out.data(), out.size(), &info), 0);
    for (int i = 0; i < 3; ++i) {
      const Rgb pixel = bgrAt(out.data(), 96, 16, i * 32 + 16);
      EXPECT_TRUE(near(pixel, grey(levels[i]), 2))
          << (fullRange ? "full" : "limited") << " range, level " << levels[i] << " came out as "
          << pixel;
    }
  }
}

TEST_F(H264DecoderTest, RejectsBrokenInputAndKeepsDecodingAfterReinit) {
  const auto units = encodeSequence(kSmallWidth, kSmallHeight, {kRed, kGreen});
  EXPECT_EQ(decode(Unit(500, 0x5A)), -1);
  EXPECT_EQ(decoder.Decode(0, units[0].data(), nullptr, &info), -1);
  EXPECT_EQ(decoder.Decode(-1, units[0].data(), nullptr, &info), -1);
  EXPECT_EQ(decoder.Decode(10, nullptr, nullptr, &info), -1);
  const int cut = decodeAndFlip(Unit(units[0].begin(), units[0].begin() + units[0].size() / 3));
  EXPECT_TRUE(cut == -1 || cut > 0);

  ASSERT_GT(decodeAndFlip(units[0]), 0);
  const std::vector<uint8_t> red = copyOut();
  // A fresh context has forgotten the parameter sets: a picture that depends on them is
  // refused, the completed picture stays, and the next key picture decodes.
  ASSERT_TRUE(decoder.reinitFfmpeg());
  EXPECT_EQ(decode(units[1]), -1);
  EXPECT_EQ(copyOut(), red);
  EXPECT_GT(decodeAndFlip(units[0]), 0);
}

TEST(H264DecoderLifetime, DecodesNothingUntilOpened) {
  H264Decoder decoder;
  const Unit unit(100, 0);
  BITMAPINFOHEADER info{};
  EXPECT_EQ(decoder.Decode(int(unit.size()), unit.data(), nullptr, &info), -1);
  EXPECT_FALSE(decoder.reinitFfmpeg());
  EXPECT_FALSE(decoder.Close());
}

}  // namespace
}  // namespace vexa
