#include "media/IPCameraH264.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "support/Codecs.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(IPCameraH264, DecodesOnlyUnitsThatBeginWithASliceOrParameterSet) {
  struct Case {
    Bytes unit;
    bool decodable;
  };
  const std::vector<Case> cases = {
      {{0, 0, 1, 0x65, 1}, true},        // 3-byte start code, IDR slice
      {{0, 0, 0, 1, 0x41, 1}, true},     // 4-byte start code, non-IDR slice
      {{0, 0, 0, 0, 0, 1, 0x67}, true},     // the 00 of 00 01 at position 4, the last looked at
      {{0, 0, 0, 0, 0, 0, 1, 0x67}, false}, // ... and one beyond it
      {{0, 0, 1, 0x69}, true},           // type 9, access unit delimiter
      {{0, 0, 1, 0x00}, false},          // type 0
      {{0, 0, 1, 0x6A}, false},          // type 10
      {{0x65, 0, 0, 1}, false},          // no start code in front
      {{0, 0, 1}, false},                // start code without a NAL header
      {{}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isDecodableAccessUnit(c.unit), c.decodable) << ::testing::PrintToString(c.unit);
  }
}

struct DecodeThread : ::testing::Test {
  void SetUp() override {
    if (test::h264Encoder() == nullptr) GTEST_SKIP() << "no H.264 encoder";
    decoder = VideoDecoderSet::openH264();
    ASSERT_NE(decoder, nullptr);
    encoder = test::makeH264Encoder(kWidth, kHeight);
  }
  Bytes encodeFrame(test::Rgb top, test::Rgb bottom) {
    return encoder->encode(test::makeYuv(kWidth, kHeight, [&](int, int y) { return y < kHeight / 2 ? top : bottom; }));
  }

  static constexpr int kWidth = 160, kHeight = 120;
  std::unique_ptr<H264Decoder> decoder;
  std::unique_ptr<test::TestEncoder> encoder;
  IPCameraH264 thread;
};

TEST_F(DecodeThread, DecodesHandedOverUnitsAndHandsOutBottomUpPictures) {
  thread.setDecoder(decoder.get());
  ASSERT_EQ(thread.Start(), platform::kStarted);
  const test::Rgb red{255, 0, 0}, blue{0, 0, 255};
  thread.handOff(encodeFrame(red, blue));
  // A single unit is decoded without waiting for the next one.
  ASSERT_TRUE(test::eventually([&] { return thread.pictureCounter().load() == 1; }));

  std::vector<uint8_t> image(kDecodedFrameBytes);
  int32_t size = int32_t(image.size());
  BITMAPINFOHEADER info{};
  EXPECT_EQ(thread.GetH264Frame(image.data(), &size, &info), 0);
  EXPECT_EQ(info.biWidth, kWidth);
  EXPECT_EQ(info.biHeight, kHeight);
  // Bottom row first: the first row is the bottom half's blue.
  EXPECT_TRUE(test::near(test::bgrAt(image.data(), kWidth, 0, kWidth / 2), blue, 24));
  EXPECT_TRUE(test::near(test::bgrAt(image.data(), kWidth, kHeight - 1, kWidth / 2), red, 24));
  // Taken: nothing waits any more.
  EXPECT_EQ(thread.GetH264Frame(image.data(), &size, &info), -1);
  thread.Stop();
}

TEST_F(DecodeThread, KeepsAtMostTwoPicturesForTheDisplay) {
  thread.setDecoder(decoder.get());
  thread.Start();
  for (int i = 0; i < 5; ++i) {
    thread.handOff(encodeFrame(test::grey(40 * i), test::grey(40 * i)));
    ASSERT_TRUE(test::eventually([&] { return thread.pictureCounter().load() == uint32_t(i + 1); }));
  }
  std::vector<uint8_t> image(kDecodedFrameBytes);
  int32_t size = int32_t(image.size());
  BITMAPINFOHEADER info{};
  int32_t left = thread.GetH264Frame(image.data(), &size, &info);
  EXPECT_LE(left, 1);
  while (left > 0) left = thread.GetH264Frame(image.data(), &size, &info);
  // The newest picture is the one handed out last.
  EXPECT_TRUE(test::near(test::bgrAt(image.data(), kWidth, 0, 0), test::grey(160), 24));
}

TEST_F(DecodeThread, WaitsForADecoderAndStopsWhileWaiting) {
  ASSERT_EQ(thread.Start(), platform::kStarted);
  thread.handOff(encodeFrame(test::grey(10), test::grey(10)));
  EXPECT_EQ(thread.pictureCounter().load(), 0u);
  thread.Stop();  // returns: the wait is woken
  SUCCEED();
}

}  // namespace
}  // namespace vexa
