#include "protocol/rtp/IPCameraMediaManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "media/H264Decoder.h"
#include "media/rtp/H264ContractFormat.h"
#include "media/rtp/JpegContractFormat.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"
#include "support/RtpPackets.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using Datagrams = std::vector<Bytes>;
using rtp::test::concat;
using rtp::test::rtpPacket;
using test::eventually;

constexpr uint32_t kCameraSsrc = rtp::test::kTestSsrc;
constexpr uint32_t kStraySsrc = 0x0BADF00D;
constexpr uint32_t kTimestamp = 90000;
constexpr uint32_t kJpegModel = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG;

// One RTP/JPEG datagram of a 16 x 16 picture (type 1, Q 50) with scan bytes from offset on.
Bytes jpegDatagram(uint16_t sequence, uint32_t offset, const Bytes& scan, bool marker,
                   uint32_t ssrc = kCameraSsrc, uint8_t payloadType = 26) {
  const Bytes payload = concat({rtp::test::jpegMainHeader(offset, 1, 50, 2, 2), scan});
  return rtpPacket(payloadType, marker, sequence, kTimestamp, payload, ssrc);
}

// A picture whose scan data is fill to fill + 5, in two datagrams from firstSequence on.
Datagrams picture(uint16_t firstSequence, uint8_t fill, uint32_t ssrc = kCameraSsrc,
                  uint8_t payloadType = 26) {
  const auto at = [fill](int i) { return uint8_t(fill + i); };
  return {jpegDatagram(firstSequence, 0, {at(0), at(1), at(2), at(3)}, false, ssrc, payloadType),
          jpegDatagram(uint16_t(firstSequence + 1), 4, {at(4), at(5)}, true, ssrc, payloadType)};
}

// The end of that picture as the frame tap gives it: its last scan bytes and EOI.
Bytes pictureEnd(uint8_t fill) {
  return {uint8_t(fill + 4), uint8_t(fill + 5), 0xFF, 0xD9};
}

// The end of the newest picture, read as the display does: under the image lock.
Bytes newestPictureEnd(IPCameraMediaManager& manager) {
  std::lock_guard lock(manager.imageLock());
  const uint8_t* data = nullptr;
  int32_t length = 0;
  EXPECT_TRUE(manager.GetJpegFrame(&data, &length));
  return length >= 4 ? Bytes(data + length - 4, data + length) : Bytes();
}

// The receive step, fed directly.
void feed(IPCameraMediaManager& manager, std::initializer_list<Datagrams> groups) {
  for (const Datagrams& group : groups)
    for (const Bytes& datagram : group) manager.processDatagram(datagram);
}

// Takes every unit the decode thread hands it for a picture, and keeps it.
class RecordingDecoder : public H264Decoder {
 public:
  RecordingDecoder() : H264Decoder(64) {}
  int Decode(int length, const uint8_t* data, uint8_t*, BITMAPINFOHEADER*) override {
    std::lock_guard lock(mutex_);
    units_.emplace_back(data, data + length);
    return length;
  }
  Datagrams units() {
    std::lock_guard lock(mutex_);
    return units_;
  }

 private:
  std::mutex mutex_;
  Datagrams units_;
};

struct OnLoopback : ::testing::Test {
  void start(uint32_t model) {
    manager = std::make_unique<IPCameraMediaManager>(model);
    ASSERT_EQ(manager->start("", "", port), platform::kStarted);
    ASSERT_TRUE(eventually([&] { return manager->listening(); }));
  }
  void send(const Datagrams& datagrams) {
    for (const Bytes& datagram : datagrams) ASSERT_TRUE(sender.send(datagram));
  }

  uint16_t port = test::freeUdpPort();
  test::DatagramSender sender{port};
  RecordingDecoder decoder;  // outlives the manager's decode thread
  std::unique_ptr<IPCameraMediaManager> manager;
};

// Received bytes count whatever becomes of a datagram; an empty one and one too short for an RTP
// header are passed over, and the stream goes on.
TEST_F(OnLoopback, TakesPicturesAndCountsBytesPastEmptyAndRuntDatagrams) {
  start(kJpegModel);
  EXPECT_EQ(manager->start("", "", port), platform::kAlreadyRunning);
  EXPECT_TRUE(newestPictureEnd(*manager).empty());
  Datagrams datagrams = picture(1, 0x10);
  datagrams.push_back({});
  datagrams.push_back(jpegDatagram(9, 0, {1}, true, kCameraSsrc, 96));
  send(datagrams);
  ASSERT_TRUE(eventually([&] { return manager->pictureCounter().load() == 1; }));
  EXPECT_EQ(newestPictureEnd(*manager), pictureEnd(0x10));
  uint32_t expected = 0, total = 0;
  for (const Bytes& datagram : datagrams) expected += uint32_t(datagram.size());
  EXPECT_TRUE(eventually([&] { return (total += manager->takeReceivedBytes()) == expected; }));

  const uint32_t dropped = manager->droppedDatagrams();
  send({{0x80, 0x1A, 0x00, 0x03, 0x00}});
  send(picture(3, 0x20));
  ASSERT_TRUE(eventually([&] { return manager->pictureCounter().load() == 2; }));
  EXPECT_EQ(manager->droppedDatagrams(), dropped + 1);
  EXPECT_TRUE(manager->running());
}

TEST(IPCameraMediaManagerStep, DropsOtherPayloadTypesAndForeignSourcesWithoutAccountingForThem) {
  IPCameraMediaManager manager(kJpegModel);
  // Type 96 from another source first: had it latched its SSRC, the camera's would be foreign.
  // Then a foreign source, with numbers that would even fit the camera's sequence.
  feed(manager, {picture(100, 0x10, kStraySsrc, 96), picture(1, 0x20), picture(3, 0x50, kStraySsrc),
                 picture(500, 0x60, kStraySsrc), picture(3, 0x30)});
  EXPECT_EQ(manager.droppedDatagrams(), 2u);
  EXPECT_EQ(manager.pictureCounter().load(), 2u);
  EXPECT_EQ(newestPictureEnd(manager), pictureEnd(0x30));
  EXPECT_EQ(std::pair(manager.lostPackets(), manager.figures().lastSequence),
            std::pair(0, uint16_t(4)));
}

// The road's figures, as statistics and receiver reports read them.
TEST(IPCameraMediaManagerStep, CountsLossAcrossTheWrap) {
  IPCameraMediaManager manager(kJpegModel);
  // 0 to 4 are missing: the picture 5-6 after them is damaged, 7-8 whole.
  feed(manager, {picture(65534, 0x10), picture(5, 0x30), picture(7, 0x40)});
  EXPECT_EQ(manager.pictureCounter().load(), 2u);
  EXPECT_EQ(newestPictureEnd(manager), pictureEnd(0x40));
  const ReceptionFigures figures = manager.figures();
  EXPECT_EQ(std::tuple(figures.lostPackets, figures.wrapCount, figures.lastSequence,
                       manager.lostPackets()),
            std::tuple(5u, 1, 8, 5));
}

TEST(IPCameraMediaManagerStep, DropsWhatIsNotRtpAndTakesAHeaderExtension) {
  IPCameraMediaManager manager(kJpegModel);
  Bytes wrongVersion = jpegDatagram(1, 0, {1, 2}, true);
  wrongVersion[0] = 0x40;
  // Version 2 with X, marker, type 26, sequence 7, timestamp, SSRC; an extension of length 0;
  // a JPEG main header (type 1, Q 50, 16 x 16) and two scan bytes.
  const Bytes withExtension =
      rtp::test::hexBytes("909A0007 00015F90 1234ABCD BEDE0000 00000000 01320202 2122");
  feed(manager, {{wrongVersion, withExtension}});
  EXPECT_EQ(manager.droppedDatagrams(), 1u);
  EXPECT_EQ(manager.pictureCounter().load(), 1u);
  EXPECT_EQ(newestPictureEnd(manager), (Bytes{0x21, 0x22, 0xFF, 0xD9}));
}

// MPEG-4 takes payload type 96 only and is accounted for like the others; pictures that cannot
// be decoded show nothing.
TEST(IPCameraMediaManagerStep, Mpeg4TakesItsPayloadTypeOnlyAndIsAccountedFor) {
  IPCameraMediaManager manager(IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4);
  const Bytes vop = {0x00, 0x00, 0x01, 0xB6, 0x10};
  // JPEG's type is dropped; 12 is lost.
  feed(manager,
       {{rtpPacket(26, true, 1, kTimestamp, vop), rtpPacket(96, false, 10, kTimestamp, vop),
         rtpPacket(96, true, 11, kTimestamp, vop), rtpPacket(96, true, 13, kTimestamp, vop)}});
  EXPECT_EQ(std::tuple(manager.droppedDatagrams(), manager.lostPackets(),
                       manager.figures().lastSequence),
            std::tuple(1u, 1, uint16_t(13)));
  manager.stop();
  EXPECT_EQ(manager.pictureCounter().load(), 0u);
  EXPECT_EQ(manager.GetMpeg4Frame(nullptr, nullptr, nullptr), -1);
}

// A camera that announces its parameter sets in the description sends slices only; the
// description arrives while the receive thread runs. Each unit is decoded as soon as it is
// whole, and its picture is lent once.
TEST_F(OnLoopback, ParameterSetsFromTheDescriptionGoInFrontOfTheFirstUnitWhosePictureIsLentOnce) {
  using rtp::test::h264AnnexB;
  using rtp::test::h264Nal;
  const Bytes sps = h264Nal(0x67, 12, 1), pps = h264Nal(0x68, 4, 2);
  const Bytes idr = h264Nal(0x65, 300, 3), slice = h264Nal(0x41, 50, 4);
  start(IPCAMERA_VIDEO_MODEL_MULTICAST_H264);
  manager->setDecoder(&decoder);
  StreamConfig config;
  std::copy(sps.begin(), sps.end(), config.sps.begin());
  std::copy(pps.begin(), pps.end(), config.pps.begin());
  config.spsLength = uint32_t(sps.size());
  config.ppsLength = uint32_t(pps.size());
  manager->configure(config);
  const Datagrams fragments = rtp::test::h264FuA(idr, 3);
  for (uint16_t i = 0; i < 3; ++i) send({rtpPacket(99, i == 2, i, kTimestamp, fragments[i])});
  ASSERT_TRUE(eventually([&] { return manager->pictureCounter().load() == 1; }));
  EXPECT_EQ(decoder.units(), Datagrams{h264AnnexB({sps, pps, idr}, rtp::Road::Udp)});
  PictureLease lease;
  EXPECT_EQ(manager->LendH264Frame(&lease, nullptr), 0);
  EXPECT_EQ(manager->LendH264Frame(&lease, nullptr), -1);
  send({rtpPacket(99, true, 3, kTimestamp, slice)});
  ASSERT_TRUE(eventually([&] { return manager->pictureCounter().load() == 2; }));
  EXPECT_EQ(decoder.units().back(), h264AnnexB({slice}, rtp::Road::Udp));
  EXPECT_EQ(manager->lostPackets(), 0);
}

}  // namespace
}  // namespace vexa
