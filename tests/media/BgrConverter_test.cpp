#include "media/BgrConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "support/Planes.h"

namespace vexa {
namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 256;

// The scaler's conversion into rows with room to spare: what every column should become.
std::vector<uint8_t> roomyConversion(const AVFrame& frame, AVPixelFormat format,
                                     int bytesPerPixel) {
  const int roomyStride = (frame.width + 128) * bytesPerPixel;
  std::vector<uint8_t> roomy(size_t(roomyStride) * size_t(frame.height));
  SwsContext* context =
      sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format), frame.width,
                     frame.height, format, SWS_BILINEAR, nullptr, nullptr, nullptr);
  uint8_t* destination[4] = {roomy.data()};
  const int strides[4] = {roomyStride};
  sws_scale(context, frame.data, frame.linesize, 0, frame.height, destination, strides);
  sws_freeContext(context);
  std::vector<uint8_t> rows;
  for (int y = 0; y < frame.height; ++y) {
    const uint8_t* row = roomy.data() + size_t(y) * size_t(roomyStride);
    rows.insert(rows.end(), row, row + frame.width * bytesPerPixel);
  }
  return rows;
}

// Rows of exactly width pixels, top-down or bottom-up, whatever the width: the scaler's vector
// conversion, left to itself, leaves the last columns of such rows unconverted or writes past
// them.
TEST(BgrConverter, ConvertsEveryColumnOfRowsOfAnyWidthAndWritesNothingPastThem) {
  for (const int width : {66, 1278, 7, 64, 100}) {
    for (const BgrLayout layout : {BgrLayout::kPacked24, BgrLayout::kPadded32}) {
      for (const bool bottomUp : {false, true}) {
        SCOPED_TRACE(testing::Message() << width << " " << int(layout) << " " << bottomUp);
        const int height = 48, bytesPerPixel = layout == BgrLayout::kPadded32 ? 4 : 3;
        const test::FramePtr frame = test::makePlanes(width, height, AV_PIX_FMT_YUV420P);
        const std::vector<uint8_t> expected = roomyConversion(
            *frame, layout == BgrLayout::kPadded32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24,
            bytesPerPixel);
        const int rowBytes = width * bytesPerPixel;
        std::vector<uint8_t> out(size_t(rowBytes) * height + kGuardBytes, kGuard);
        BgrConverter converter(SWS_BILINEAR, layout);
        uint8_t* topRow = bottomUp ? out.data() + size_t(height - 1) * rowBytes : out.data();
        ASSERT_TRUE(converter.convert(*frame, topRow, bottomUp ? -rowBytes : rowBytes));
        for (int y = 0; y < height; ++y) {
          const uint8_t* row = topRow + std::ptrdiff_t(bottomUp ? -y : y) * rowBytes;
          ASSERT_EQ(std::memcmp(row, expected.data() + size_t(y) * rowBytes, size_t(rowBytes)), 0)
              << "row " << y;
        }
        EXPECT_EQ(std::count(out.end() - kGuardBytes, out.end(), kGuard), kGuardBytes);
      }
    }
  }
}

}  // namespace
}  // namespace vexa
