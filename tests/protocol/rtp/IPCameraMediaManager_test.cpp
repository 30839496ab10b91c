#include "protocol/rtp/IPCameraMediaManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "media/rtp/H264ContractFormat.h"
#include "media/rtp/JpegTestPackets.h"
#include "support/RtpPackets.h"
#include "support/Codecs.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using rtp::test::concat;
using rtp::test::jpegMainHeader;
using rtp::test::rtpPacket;
using test::eventually;

constexpr uint32_t kCameraSsrc = rtp::test::kTestSsrc;
constexpr uint32_t kStraySsrc = 0x0BADF00D;
constexpr uint32_t kTimestamp = 90000;

// One RTP/JPEG datagram of a 16 x 16 picture (type 1, Q 50) with scan bytes from offset on.
Bytes jpegDatagram(uint16_t sequence, uint32_t offset, const Bytes& scan, bool marker,
                   uint32_t ssrc = kCameraSsrc, uint8_t payloadType = 26) {
  const Bytes payload = concat({jpegMainHeader(offset, /*type=*/1, /*q=*/50, 2, 2), scan});
  return rtpPacket(payloadType, marker, sequence, kTimestamp, payload, ssrc);
}

// The scan data of the test pictures: six bytes from fill on, in two packets of four and two.
Bytes scanOf(uint8_t fill) {
  Bytes scan(6);
  std::iota(scan.begin(), scan.end(), fill);
  return scan;
}

struct MediaManagerOnLoopback : ::testing::Test {
  void start(uint32_t model) {
    manager = std::make_unique<IPCameraMediaManager>(model);
    ASSERT_EQ(manager->start("", "", port), platform::kStarted);
    ASSERT_TRUE(eventually([&] { return manager->listening(); }));
  }
  void send(const Bytes& datagram) { ASSERT_TRUE(sender.send(datagram)); }
  // A two-packet picture from firstSequence on.
  void sendPicture(uint16_t firstSequence, uint8_t fill, uint32_t ssrc = kCameraSsrc,
                   uint8_t payloadType = 26) {
    const Bytes scan = scanOf(fill);
    send(jpegDatagram(firstSequence, 0, Bytes(scan.begin(), scan.begin() + 4), false, ssrc,
                      payloadType));
    send(jpegDatagram(uint16_t(firstSequence + 1), 4, Bytes(scan.begin() + 4, scan.end()), true,
                      ssrc, payloadType));
  }
  bool picturesReach(uint32_t count) {
    return eventually([&] { return manager->pictureCounter().load() == count; });
  }
  // The frame tap as the display uses it: under the image lock.
  Bytes latestJpeg() {
    std::lock_guard lock(manager->imageLock());
    const uint8_t* data = nullptr;
    int32_t length = 0;
    EXPECT_TRUE(manager->GetJpegFrame(&data, &length));
    return length > 0 ? Bytes(data, data + length) : Bytes();
  }
  // A picture made of the given scan bytes: a JFIF header, the scan data, EOI.
  static bool holdsScan(const Bytes& picture, const Bytes& scan) {
    const Bytes tail = concat({scan, {0xFF, 0xD9}});
    return picture.size() > tail.size() && picture[0] == 0xFF && picture[1] == 0xD8 &&
           std::equal(tail.begin(), tail.end(), picture.end() - tail.size());
  }

  uint16_t port = test::freeUdpPort();
  test::DatagramSender sender{port};
  std::unique_ptr<IPCameraMediaManager> manager;
};

TEST_F(MediaManagerOnLoopback, StartsOnceCompletesJpegPicturesForTheFrameTapAndStops) {
  start(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  EXPECT_EQ(manager->start("", "", port), platform::kAlreadyRunning);
  const uint8_t* data = nullptr;
  int32_t length = 0;
  manager->GetJpegFrame(&data, &length);
  EXPECT_EQ(length, -1) << "no picture before the first";
  EXPECT_EQ(data, nullptr);

  sendPicture(1, 0x10);
  ASSERT_TRUE(picturesReach(1));
  EXPECT_TRUE(holdsScan(latestJpeg(), scanOf(0x10)));
  sendPicture(3, 0x40);
  ASSERT_TRUE(picturesReach(2));
  EXPECT_TRUE(holdsScan(latestJpeg(), scanOf(0x40)));
  EXPECT_EQ(manager->lostPackets(), 0);
  EXPECT_EQ(manager->figures().lastSequence, 4);
  manager->stop();
  EXPECT_FALSE(manager->running());
  EXPECT_FALSE(manager->listening());
}

TEST_F(MediaManagerOnLoopback, DropsOtherPayloadTypesAndForeignSourcesWithoutAccountingForThem) {
  start(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  // Type 96 from another source first: had it latched its SSRC, the camera's would be foreign.
  sendPicture(100, 0x10, kStraySsrc, /*payloadType=*/96);
  sendPicture(1, 0x20);
  ASSERT_TRUE(picturesReach(1));
  EXPECT_EQ(manager->droppedDatagrams(), 2u);
  // A foreign source, with numbers that would even fit the camera's sequence.
  sendPicture(3, 0x50, kStraySsrc);
  sendPicture(500, 0x60, kStraySsrc);
  sendPicture(3, 0x30);
  ASSERT_TRUE(picturesReach(2));
  EXPECT_TRUE(holdsScan(latestJpeg(), scanOf(0x30)));
  EXPECT_EQ(manager->lostPackets(), 0);
  EXPECT_EQ(manager->figures().lastSequence, 4);
}

TEST_F(MediaManagerOnLoopback, ALostPacketLosesItsPictureAndLossIsCountedAcrossTheWrap) {
  start(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  sendPicture(65524, 0x10);
  ASSERT_TRUE(picturesReach(1));
  send(jpegDatagram(65526, 0, {1, 2, 3, 4}, false));
  send(jpegDatagram(65528, 8, {9, 10}, true));  // 65527 (offset 4) is lost
  sendPicture(65529, 0x20);
  ASSERT_TRUE(picturesReach(2));
  EXPECT_TRUE(holdsScan(latestJpeg(), scanOf(0x20)));
  EXPECT_EQ(manager->lostPackets(), 1);
  // 65531 to 65535 and 0 to 4 are missing; the picture 5-6 is damaged, 7-8 whole.
  sendPicture(5, 0x30);
  sendPicture(7, 0x40);
  ASSERT_TRUE(picturesReach(3));
  EXPECT_TRUE(holdsScan(latestJpeg(), scanOf(0x40)));
  const ReceptionFigures figures = manager->figures();
  EXPECT_EQ(figures.lostPackets, 11u);
  EXPECT_EQ(figures.wrapCount, 1);
  EXPECT_EQ(figures.lastSequence, 8);
  EXPECT_EQ(manager->lostPackets(), 11);
}

TEST_F(MediaManagerOnLoopback, ARuntDatagramEndsTheReceiveLoopButAnEmptyOneDoesNot) {
  start(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  send({});
  sendPicture(1, 0x10);
  ASSERT_TRUE(picturesReach(1));
  EXPECT_TRUE(manager->running());

  send({0x80, 0x1A, 0x00, 0x03, 0x00});  // 5 bytes: no RTP header fits
  EXPECT_TRUE(eventually([&] { return !manager->running(); }));
  EXPECT_TRUE(eventually([&] { return !manager->listening(); }));
  manager->stop();
  EXPECT_EQ(manager->pictureCounter().load(), 1u);
}

TEST_F(MediaManagerOnLoopback, CountsReceivedBytesUntilRead) {
  start(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  const Bytes first = jpegDatagram(1, 0, {1, 2, 3, 4}, false);
  const Bytes second = jpegDatagram(2, 4, {5, 6}, true);
  // Counted whatever becomes of the datagram, even one of another type.
  const Bytes stray = jpegDatagram(9, 0, {1}, true, kCameraSsrc, 96);
  send(first);
  send(second);
  send(stray);
  const uint32_t expected = uint32_t(first.size() + second.size() + stray.size());
  uint32_t total = 0;
  EXPECT_TRUE(eventually([&] {
    total += manager->takeReceivedBytes();
    return total == expected;
  }));
  EXPECT_EQ(manager->takeReceivedBytes(), 0u);
}

// The step itself, without a socket: what the MPEG-4 models do until their decoder arrives.
TEST(IPCameraMediaManagerStep, Mpeg4IsAccountedForAndCountedThenDropped) {
  IPCameraMediaManager manager(IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4);
  const Bytes vop = {0x00, 0x00, 0x01, 0xB6, 0x10};
  manager.processDatagram(rtpPacket(26, true, 1, kTimestamp, vop));  // JPEG's type: dropped
  manager.processDatagram(rtpPacket(96, false, 10, kTimestamp, vop));
  manager.processDatagram(rtpPacket(96, true, 11, kTimestamp, vop));
  manager.processDatagram(rtpPacket(96, true, 13, kTimestamp, vop));  // 12 lost
  EXPECT_EQ(manager.droppedDatagrams(), 1u);
  EXPECT_EQ(manager.mpeg4Pictures(), 2u);
  EXPECT_EQ(manager.lostPackets(), 1);
  EXPECT_EQ(manager.figures().lastSequence, 13);
  EXPECT_EQ(manager.pictureCounter().load(), 0u) << "nothing for the display yet";
}

TEST(IPCameraMediaManagerStep, DropsWhatIsNotRtpAndTakesAHeaderExtension) {
  IPCameraMediaManager manager(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG);
  Bytes wrongVersion = jpegDatagram(1, 0, {1, 2}, true);
  wrongVersion[0] = 0x40;  // version 1
  manager.processDatagram(wrongVersion);
  EXPECT_EQ(manager.droppedDatagrams(), 1u);

  // Version 2 with X, marker, type 26, sequence 7; an extension of length 0 (its header only);
  // a JPEG main header (type 1, Q 50, 16 x 16) and two scan bytes.
  const Bytes withExtension = concat({{0x90, 0x9A, 0x00, 0x07, 0x00, 0x01, 0x5F, 0x90},
                                      {0x12, 0x34, 0xAB, 0xCD, 0xBE, 0xDE, 0x00, 0x00},
                                      jpegMainHeader(0, 1, 50, 2, 2),
                                      {0x21, 0x22}});
  manager.processDatagram(withExtension);
  EXPECT_EQ(manager.pictureCounter().load(), 1u);
  const uint8_t* data = nullptr;
  int32_t length = 0;
  manager.GetJpegFrame(&data, &length);
  ASSERT_GE(length, 4);
  EXPECT_EQ(Bytes(data + length - 4, data + length), (Bytes{0x21, 0x22, 0xFF, 0xD9}));
}

// H.264 over loopback: an encoder's access units, packetised as a camera does.
class H264OverLoopback : public MediaManagerOnLoopback {
 protected:
  static constexpr int kWidth = 160, kHeight = 120;
  static constexpr size_t kMaxPayload = 100;
  static constexpr uint8_t kH264PayloadType = 99;

  void SetUp() override {
    if (test::h264Encoder() == nullptr) GTEST_SKIP() << "no H.264 encoder";
    decoder = VideoDecoderSet::openH264();
    ASSERT_NE(decoder, nullptr);
    encoder = test::makeH264Encoder(kWidth, kHeight);
  }

  Bytes encodeFrame(test::Rgb top, test::Rgb bottom) {
    return encoder->encode(
        test::makeYuv(kWidth, kHeight, [&](int, int y) { return y < kHeight / 2 ? top : bottom; }));
  }

  // The NAL units of an Annex B stream, without their start codes.
  static std::vector<Bytes> nalUnits(const Bytes& stream) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 2 < stream.size(); ++i) {
      if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) starts.push_back(i + 3);
    }
    std::vector<Bytes> units;
    for (size_t n = 0; n < starts.size(); ++n) {
      size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : stream.size();
      while (end > starts[n] && stream[end - 1] == 0) --end;  // a 4-byte code's leading zero
      units.emplace_back(stream.begin() + starts[n], stream.begin() + end);
    }
    return units;
  }

  // RFC 6184 payloads: a single NAL unit packet for a unit that fits, FU-A fragments otherwise.
  static std::vector<Bytes> payloadsOf(const std::vector<Bytes>& units) {
    std::vector<Bytes> payloads;
    for (const Bytes& nal : units) {
      const std::vector<Bytes> pieces =
          nal.size() <= kMaxPayload
              ? std::vector<Bytes>{nal}
              : rtp::test::h264FuA(nal, (nal.size() + kMaxPayload - 4) / (kMaxPayload - 2));
      payloads.insert(payloads.end(), pieces.begin(), pieces.end());
    }
    return payloads;
  }

  // One access unit, the marker on its last packet.
  void sendAccessUnit(const std::vector<Bytes>& units) {
    const std::vector<Bytes> payloads = payloadsOf(units);
    for (size_t i = 0; i < payloads.size(); ++i) {
      send(rtpPacket(kH264PayloadType, i + 1 == payloads.size(), sequence++, kTimestamp,
                     payloads[i]));
    }
  }

  void expectPicture(test::Rgb top, test::Rgb bottom) {
    ASSERT_TRUE(eventually([&] { return manager->pictureCounter().load() >= 1; }));
    std::vector<uint8_t> image(size_t(kWidth) * kHeight * 3);
    int32_t size = int32_t(image.size());
    BITMAPINFOHEADER info{};
    std::lock_guard lock(manager->imageLock());
    ASSERT_GE(manager->GetH264Frame(image.data(), &size, &info), 0);
    EXPECT_EQ(info.biWidth, kWidth);
    EXPECT_EQ(info.biHeight, kHeight);
    // Bottom row first.
    EXPECT_TRUE(test::near(test::bgrAt(image.data(), kWidth, 0, kWidth / 2), bottom, 24));
    EXPECT_TRUE(test::near(test::bgrAt(image.data(), kWidth, kHeight - 1, kWidth / 2), top, 24));
  }

  std::unique_ptr<H264Decoder> decoder;
  std::unique_ptr<test::TestEncoder> encoder;
  uint16_t sequence = 1;
};

TEST_F(H264OverLoopback, ParameterSetsFromTheDescriptionGoInFrontOfTheFirstFragmentedUnit) {
  start(IPCAMERA_VIDEO_MODEL_MULTICAST_H264);
  manager->setDecoder(decoder.get());
  const test::Rgb red{255, 0, 0}, blue{0, 0, 255};
  StreamConfig config;
  std::vector<Bytes> slices;
  for (const Bytes& nal : nalUnits(encodeFrame(red, blue))) {
    const uint8_t type = nal[0] & 0x1F;
    if (type == 7 || type == 8) {
      std::copy(nal.begin(), nal.end(), (type == 7 ? config.sps : config.pps).begin());
      (type == 7 ? config.spsLength : config.ppsLength) = uint32_t(nal.size());
    } else if (type == 5) {
      slices.push_back(nal);  // the camera sends slices only
    }
  }
  ASSERT_GT(config.spsLength, 0u);
  ASSERT_TRUE(std::any_of(slices.begin(), slices.end(), [](const Bytes& nal) {
    return nal.size() > kMaxPayload;
  })) << "the test wants fragmented units";
  manager->configure(config);  // while the receive thread runs, as after a late description
  sendAccessUnit(slices);
  expectPicture(red, blue);
  EXPECT_EQ(manager->lostPackets(), 0);
}

}  // namespace
}  // namespace vexa
