#include "media/H264Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "media/Deinterlace.h"
#include "media/H264SequenceParameters.h"
#include "support/Codecs.h"
#include "support/Planes.h"

namespace vexa {
namespace {

using test::bgrAt;
using test::grey;
using test::near;
using test::Rgb;
using Unit = std::vector<uint8_t>;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr int kColourTolerance = 16;
constexpr int kSmallWidth = 320, kSmallHeight = 240;
constexpr int kLargeWidth = 640, kLargeHeight = 480;
constexpr size_t kSmallBytes = size_t(kSmallWidth) * kSmallHeight * 3;

// A key picture: the top half in one colour, the bottom half in another.
Unit keyPicture(int width, int height, Rgb top, Rgb bottom) {
  return test::makeH264Encoder(width, height)
      ->encode(test::makeYuv(
          width, height, [&](int, int y) { return y < height / 2 ? top : bottom; }, false));
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
  // Decode and, on success, publish the picture as the decode thread does.
  int decodeAndPublish(const Unit& unit) {
    const int result = decode(unit);
    if (result > 0) decoder.publishPicture();
    return result;
  }
  // The completed picture, bottom-up, in a buffer of `capacity` bytes (the decoder's size by
  // default), cut to what was copied.
  Unit copyOut(size_t capacity = 0) {
    Unit out(capacity ? capacity : size_t(decoder.width()) * decoder.height() * 3, 0x11);
    const int copied = decoder.CopyFromAVFrame(out.data(), out.size(), &header);
    out.resize(copied > 0 ? size_t(copied) : 0);
    return out;
  }

  H264Decoder decoder;
  BITMAPINFOHEADER info{}, header{};
};

TEST_F(H264DecoderTest, CopiesThePublishedPictureBottomRowFirstAtItsOwnSizeWithinCapacity) {
  const Unit small = keyPicture(kSmallWidth, kSmallHeight, kRed, kBlue);
  EXPECT_TRUE(copyOut().empty()) << "nothing is completed before the first picture";
  ASSERT_EQ(decode(small), int(small.size()));
  EXPECT_EQ(std::pair(info.biWidth, info.biHeight), std::pair(kSmallWidth, kSmallHeight));
  EXPECT_TRUE(copyOut(kSmallBytes).empty()) << "decoded but not yet published";
  decoder.publishPicture();

  Unit out(kSmallBytes - 1, 0x11);
  EXPECT_EQ(decoder.CopyFromAVFrame(out.data(), out.size(), &header), -1);
  EXPECT_EQ(header.biSize, 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0x11), std::ptrdiff_t(out.size()));
  out.assign(kSmallBytes + 16, 0x11);
  ASSERT_EQ(decoder.CopyFromAVFrame(out.data(), out.size(), &header), int(kSmallBytes));
  const BITMAPINFOHEADER expected = makeBgrPictureHeader(kSmallWidth, kSmallHeight);
  EXPECT_EQ(std::memcmp(&header, &expected, sizeof header), 0);
  // Bottom row (blue) first, as bytes blue, green, red.
  EXPECT_TRUE(near(bgrAt(out.data(), kSmallWidth, 0, 0), kBlue, kColourTolerance));
  EXPECT_TRUE(near(bgrAt(out.data(), kSmallWidth, kSmallHeight - 1, 0), kRed, kColourTolerance));
  EXPECT_EQ(out[kSmallBytes], 0x11);

  // A larger picture is converted apart: until it is published, the small one is handed out,
  // at its own size.
  ASSERT_GT(decode(keyPicture(kLargeWidth, kLargeHeight, kBlue, kBlue)), 0);
  EXPECT_EQ(std::pair(info.biWidth, info.biHeight), std::pair(kLargeWidth, kLargeHeight));
  EXPECT_EQ(copyOut(size_t(kLargeWidth) * kLargeHeight * 3).size(), kSmallBytes);
  decoder.publishPicture();
  out = copyOut();
  ASSERT_EQ(out.size(), size_t(kLargeWidth) * kLargeHeight * 3);
  EXPECT_EQ(header.biWidth, kLargeWidth);
  EXPECT_TRUE(near(bgrAt(out.data(), kLargeWidth, 0, 0), kBlue, kColourTolerance));
  // And back to the small size.
  ASSERT_GT(decodeAndPublish(small), 0);
  EXPECT_EQ(copyOut().size(), kSmallBytes);
}

// The decoder keeps its planes; the BGR made from them when first asked for is byte for byte what
// converting each picture at once gave, bottom row first, across a change of size.
TEST_F(H264DecoderTest, LendsItsPlanesAndMakesTheBgrAnEagerConversionMade) {
  ffmpeg::Decoder reference(AV_CODEC_ID_H264, AV_CODEC_FLAG2_FAST, int64_t(1) << 24);
  ASSERT_TRUE(reference.open());
  for (const auto& [width, height] : {std::pair{178, 98}, {96, 64}}) {
    const Unit unit = test::makeH264Encoder(width, height)->encode(test::makeYuv(
        width, height, [](int x, int y) { return Rgb{uint8_t(x * 2), uint8_t(y * 3), uint8_t(x + y)}; },
        false));
    ASSERT_GT(decodeAndPublish(unit), 0);
    ASSERT_EQ(reference.decode(unit.data(), int(unit.size())), ffmpeg::DecodeResult::kPicture);
    const PictureLease lent = decoder.LendPicture();
    ASSERT_NE(lent.frame(), nullptr);
    EXPECT_EQ(std::pair(lent.frame()->width, lent.frame()->height), std::pair(width, height));
    const std::vector<uint8_t> eager = test::eagerBgr(reference.frame(), SWS_BILINEAR);
    ASSERT_EQ(lent.bytes(), eager.size());
    EXPECT_EQ(std::memcmp(lent.bits(), eager.data(), eager.size()), 0);
    EXPECT_EQ(copyOut(), eager);
  }
}

TEST_F(H264DecoderTest, ExpandsLimitedRangeAndKeepsFullRange) {
  // Near black and near white tell the ranges apart: 16 read as limited becomes 0.
  const int levels[] = {16, 128, 235};
  for (bool fullRange : {false, true}) {
    ASSERT_TRUE(decoder.reinitFfmpeg());
    ASSERT_GT(decodeAndPublish(
                  test::makeH264Encoder(96, 32, fullRange, /*lossless=*/true)
                      ->encode(test::makeYuv(
                          96, 32, [&](int x, int) { return grey(levels[x / 32]); }, fullRange))),
              0);
    const Unit out = copyOut();
    for (int i = 0; i < 3; ++i) {
      const Rgb pixel = bgrAt(out.data(), 96, 16, i * 32 + 16);
      EXPECT_TRUE(near(pixel, grey(levels[i]), 2))
          << (fullRange ? "full" : "limited") << " range, level " << levels[i] << ": " << pixel;
    }
  }
}

TEST_F(H264DecoderTest, RejectsBrokenAndOversizedInputAndPicturesWithoutTheirParameterSets) {
  const auto encoder = test::makeH264Encoder(kSmallWidth, kSmallHeight);
  const Unit key =
      encoder->encode(test::makeYuv(kSmallWidth, kSmallHeight, [](int, int) { return kRed; }));
  const Unit next =
      encoder->encode(test::makeYuv(kSmallWidth, kSmallHeight, [](int, int) { return kBlue; }));
  EXPECT_EQ(decode(Unit(500, 0x5A)), -1);
  for (const auto& [length, data] : {std::pair{0, key.data()}, {-1, key.data()}, {10, nullptr}})
    EXPECT_EQ(decoder.Decode(length, data, nullptr, &info), -1) << length;
  const int cut = decodeAndPublish(Unit(key.begin(), key.begin() + key.size() / 3));
  EXPECT_TRUE(cut == -1 || cut > 0);
  ASSERT_GT(decodeAndPublish(key), 0);
  // A fresh context has forgotten the parameter sets: a picture that depends on them is
  // refused, the completed picture stays.
  const Unit red = copyOut();
  ASSERT_TRUE(decoder.reinitFfmpeg());
  EXPECT_EQ(decode(next), -1);
  EXPECT_EQ(copyOut(), red);
  H264Decoder unopened;
  EXPECT_EQ(unopened.Decode(int(key.size()), key.data(), nullptr, &info), -1);
  // Larger than its buffers: refused.
  H264Decoder bounded(kSmallBytes);
  ASSERT_TRUE(bounded.Open());
  const Unit large = keyPicture(kLargeWidth, kLargeHeight, kBlue, kBlue);
  EXPECT_EQ(bounded.Decode(int(large.size()), large.data(), nullptr, &info), -1);
  EXPECT_EQ(bounded.width(), 0);
  EXPECT_GT(bounded.Decode(int(key.size()), key.data(), nullptr, &info), 0);
}

// A baseline SPS announcing width x height in macroblocks, written bit by bit ('0' and '1').
Unit spsAnnouncing(uint32_t widthInMbs, uint32_t heightInMbs) {
  const auto golomb = [](uint32_t value) {
    std::string code;
    for (uint32_t v = value + 1; v > 0; v >>= 1) code.insert(code.begin(), char('0' + (v & 1)));
    return std::string(code.size() - 1, '0') + code;
  };
  // id, log2 frame num, poc type 0, its log2, 1 reference, no gaps, the size, frame macroblocks,
  // then the stop bit.
  std::string bits = golomb(0) + golomb(0) + golomb(0) + golomb(0) + golomb(1) + "0" +
                     golomb(widthInMbs - 1) + golomb(heightInMbs - 1) + "1" + "0" + "0" + "0" + "1";
  bits.append((8 - bits.size() % 8) % 8, '0');
  Unit sps = {0, 0, 0, 1, 0x67, 66, 0, 30};
  for (size_t at = 0; at < bits.size(); at += 8) sps.push_back(uint8_t(std::stoi(bits.substr(at, 8), nullptr, 2)));
  return sps;
}

// FFmpeg sizes its tables by the SPS before it checks any picture: a hostile SPS never reaches it.
TEST_F(H264DecoderTest, ReadsSequenceSizesAndRefusesOnesLargerThanItsBuffers) {
  const Unit key = keyPicture(kSmallWidth, kSmallHeight, kRed, kBlue);  // High profile, from x264
  EXPECT_EQ(sequenceParameterSizes(key),
            (std::vector<std::optional<SpsPictureSize>>{SpsPictureSize{320, 240}}));
  EXPECT_EQ(sequenceParameterSizes(spsAnnouncing(120, 68)),
            (std::vector<std::optional<SpsPictureSize>>{SpsPictureSize{1920, 1088}}));
  const Unit huge = spsAnnouncing(1024, 1024);
  for (size_t cut = 5; cut < huge.size(); ++cut) {
    EXPECT_EQ(sequenceParameterSizes(Unit(huge.begin(), huge.begin() + cut)).front(), std::nullopt);
  }
  Unit hostile = huge;
  hostile.insert(hostile.end(), key.begin(), key.end());
  EXPECT_EQ(decode(hostile), -1);
  EXPECT_GT(decode(key), 0);
}

TEST_F(H264DecoderTest, BlendsCombedLinesOnlyWhenDeinterlacingIsOn) {
  // Alternate lines of two greys, the look of a moving edge in an interlaced picture.
  const Unit combed = test::makeH264Encoder(64, 48, false, /*lossless=*/true)
                          ->encode(test::makeYuv(
                              64, 48, [](int, int y) { return grey(y % 2 ? 220 : 30); }, false));
  for (bool on : {false, true}) {
    SetDeinterlace(on);  // process-wide: off again before anything can fail
    const int decoded = decodeAndPublish(combed);
    SetDeinterlace(false);
    ASSERT_GT(decoded, 0);
    const Unit out = copyOut();
    // The green of two neighbouring rows: 190 apart when combed, alike once blended.
    EXPECT_EQ(std::abs(out[64 * 3 * 10 + 1] - out[64 * 3 * 11 + 1]) > 150, !on) << on;
  }
}

}  // namespace
}  // namespace vexa
