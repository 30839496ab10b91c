#include "media/VideoDecoderSet.h"

#include <gtest/gtest.h>

#include "platform/Dialogs.h"

namespace vexa {
namespace {

using Message = platform::RecordingDialogs::Message;

std::unique_ptr<MjpegDecoder> noMjpeg() {
  return nullptr;
}
std::unique_ptr<H264Decoder> noH264() {
  return nullptr;
}

TEST(VideoDecoderSet, OpensBothDecodersSilently) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet set(dialogs);
  ASSERT_NE(set.mjpeg(), nullptr);
  ASSERT_NE(set.h264(), nullptr);
  EXPECT_TRUE(set.mjpeg()->isOpen());
  EXPECT_TRUE(set.h264()->isOpen());
  EXPECT_TRUE(dialogs.messages().empty());
}

TEST(VideoDecoderSet, ReportsAMissingDecoderOnceAndKeepsTheOther) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet set(dialogs, VideoDecoderSet::openMjpeg, noH264);
  EXPECT_EQ(set.h264(), nullptr);
  ASSERT_NE(set.mjpeg(), nullptr);
  EXPECT_TRUE(set.mjpeg()->isOpen());
  const auto messages = dialogs.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "VIDEO DECODER INIT FAIL!!");
  EXPECT_EQ(messages[0].caption, "ERROR");
}

TEST(VideoDecoderSet, ReportsOnceWhenNoDecoderOpens) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet set(dialogs, noMjpeg, noH264);
  EXPECT_EQ(set.mjpeg(), nullptr);
  EXPECT_EQ(set.h264(), nullptr);
  EXPECT_EQ(dialogs.messages().size(), 1u);
}

}  // namespace
}  // namespace vexa
