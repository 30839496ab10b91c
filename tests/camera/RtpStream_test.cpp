#include "camera/RtpStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa::camera {
namespace {

TEST(RtpStream, FramesPacketsOnItsChannelWithAWellFormedHeader) {
  RtpStream stream(96, 90000, 4, 5, {0xCAFEBABE, 0xFFFF, 0xFFFFFF00});
  std::vector<uint8_t> out;
  const std::vector<uint8_t> payload = {0xAA, 0xBB};
  stream.appendPacket(out, payload, true, 0x200);
  stream.appendPacket(out, payload, false, 0x200);
  const std::vector<uint8_t> expected = {
      '$',  4,    0x00, 14,                            // interleaved on channel 4, 14 bytes
      0x80, 0xE0,                                      // V=2; marker, PT 96
      0xFF, 0xFF,                                      // first sequence number
      0x00, 0x00, 0x01, 0x00,                          // base + media time, wrapped
      0xCA, 0xFE, 0xBA, 0xBE,                          // SSRC
      0xAA, 0xBB, '$',  4,    0x00, 14,   0x80, 0x60,  // no marker
      0x00, 0x00,                                      // the sequence wraps to 0
      0x00, 0x00, 0x01, 0x00, 0xCA, 0xFE, 0xBA, 0xBE, 0xAA, 0xBB,
  };
  EXPECT_EQ(out, expected);
  EXPECT_EQ(stream.nextSequence(), 1);
  EXPECT_EQ(stream.packetsSent(), 2u);
}

TEST(RtpStream, SenderReportsGoOnTheRtcpChannelWithTheCounts) {
  RtpStream stream(0, 8000, 2, 3, {0x01020304, 10, 1000});
  std::vector<uint8_t> out;
  stream.appendPacket(out, std::vector<uint8_t>(160, 0xFF), false, 0);
  out.clear();
  stream.appendSenderReport(out, std::chrono::system_clock::now(), 80, "cam");
  ASSERT_GE(out.size(), 4u + 28u);
  EXPECT_EQ(out[0], '$');
  EXPECT_EQ(out[1], 3);
  EXPECT_EQ(size_t(out[2] << 8 | out[3]), out.size() - 4);
  EXPECT_EQ(out[5], 200);
  const uint8_t* sender = out.data() + 4;
  EXPECT_EQ(sender[16] << 24 | sender[17] << 16 | sender[18] << 8 | sender[19], 1080);  // RTP time
  EXPECT_EQ(sender[23], 1);                                                             // packets
  EXPECT_EQ(sender[27], 160);  // payload octets
}

TEST(InterleavedFrame, DropsWhatExceedsSixteenBitsOfLength) {
  std::vector<uint8_t> out;
  appendInterleavedFrame(out, 0, std::vector<uint8_t>(kMaxInterleavedLength, 1));
  EXPECT_EQ(out.size(), kInterleavedHeaderSize + kMaxInterleavedLength);
  out.clear();
  appendInterleavedFrame(out, 0, std::vector<uint8_t>(kMaxInterleavedLength),
                         std::vector<uint8_t>(1));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace vexa::camera
