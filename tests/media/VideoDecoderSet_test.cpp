#include "media/VideoDecoderSet.h"

#include <gtest/gtest.h>

#include "platform/Dialogs.h"

namespace vexa {
namespace {

std::unique_ptr<MjpegDecoder> noMjpeg() {
  return nullptr;
}
std::unique_ptr<H264Decoder> noH264() {
  return nullptr;
}

TEST(VideoDecoderSet, OpensBothDecodersSilently) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet set(dialogs);
  ASSERT_TRUE(set.mjpeg() && set.h264());
  EXPECT_TRUE(set.mjpeg()->isOpen());
  EXPECT_TRUE(set.h264()->isOpen());
  EXPECT_TRUE(dialogs.messages().empty());
}

TEST(VideoDecoderSet, ReportsFailureOnceAndKeepsTheDecoderThatOpened) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet oneMissing(dialogs, VideoDecoderSet::openMjpeg, noH264);
  EXPECT_EQ(oneMissing.h264(), nullptr);
  ASSERT_NE(oneMissing.mjpeg(), nullptr);
  EXPECT_TRUE(oneMissing.mjpeg()->isOpen());
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, "VIDEO DECODER INIT FAIL!!");
  EXPECT_EQ(dialogs.messages()[0].caption, "ERROR");

  VideoDecoderSet bothMissing(dialogs, noMjpeg, noH264);
  EXPECT_EQ(bothMissing.mjpeg(), nullptr);
  EXPECT_EQ(dialogs.messages().size(), 2u);
}

}  // namespace
}  // namespace vexa
