// Throughput of the receiving side of an H.264 and of a JPEG stream: RTP header parse, sequence
// accounting and depacketisation, per road; and for H.264 the same with the hand-off to the
// decode thread's queue. Rates are packets and megabytes (of RTP packets) per CPU-second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "media/rtp/AccessUnitQueue.h"
#include "media/rtp/H264Depacketizer.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace {

using vexa::rtp::Road;
using Bytes = std::vector<uint8_t>;

// A 1080p camera at a middling bit rate: one IDR picture and 29 P pictures a second, payloads cut
// to fit an Ethernet MTU.
constexpr size_t kGopLength = 30;
constexpr size_t kIdrSize = 120 * 1024;
constexpr size_t kPSize = 20 * 1024;
constexpr size_t kMaxPayload = 1400;
constexpr size_t kFuAHeaderSize = 2;
constexpr uint8_t kPayloadType = vexa::rtp::kInterleavedH264PayloadType;
constexpr uint32_t kSsrc = 0x1234ABCD;
constexpr uint32_t kTimestampStep = 3000;
// A 1080p JPEG camera: pictures of 150 KB, RFC 2435 type 1 with tables from Q 80, so every
// packet carries only the 8-byte main header.
constexpr size_t kJpegPictures = 30;
constexpr size_t kJpegPictureSize = 150 * 1024;
constexpr size_t kJpegMainHeaderSize = 8;
constexpr uint8_t kJpegType = 1;
constexpr uint8_t kJpegQ = 80;
constexpr int kBlock = 8;
constexpr int kJpegWidth = 1920, kJpegHeight = 1080;

struct Stream {
  std::vector<Bytes> packets;
  size_t bytes = 0;
};

void appendBigEndian(Bytes& bytes, uint32_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes.push_back(uint8_t(value >> shift));
}

class PacketWriter {
 public:
  explicit PacketWriter(uint8_t payloadType) : payloadType_(payloadType) {}

  void nextPicture() { timestamp_ += kTimestampStep; }
  void add(const Bytes& payload, bool marker) {
    Bytes packet = {0x80, uint8_t((marker ? 0x80 : 0) | payloadType_)};  // version 2; M, PT
    appendBigEndian(packet, sequence_, 2);
    appendBigEndian(packet, timestamp_, 4);
    appendBigEndian(packet, kSsrc, 4);
    packet.insert(packet.end(), payload.begin(), payload.end());
    ++sequence_;
    stream_.bytes += packet.size();
    stream_.packets.push_back(std::move(packet));
  }
  Stream take() { return std::move(stream_); }

 private:
  const uint8_t payloadType_;
  Stream stream_;
  uint16_t sequence_ = 0;
  uint32_t timestamp_ = 0;
};

// RFC 2435 section 3.1: each packet's main header, then its piece of the scan.
Stream buildJpegStream() {
  PacketWriter writer(vexa::rtp::kJpegPayloadType);
  const size_t piece = kMaxPayload - kJpegMainHeaderSize;
  for (size_t picture = 0; picture < kJpegPictures; ++picture) {
    writer.nextPicture();
    for (size_t offset = 0; offset < kJpegPictureSize; offset += piece) {
      Bytes payload = {0};  // type-specific
      appendBigEndian(payload, uint32_t(offset), 3);
      payload.insert(payload.end(), {kJpegType, kJpegQ, uint8_t(kJpegWidth / kBlock),
                                     uint8_t(kJpegHeight / kBlock)});
      const size_t length = std::min(piece, kJpegPictureSize - offset);
      for (size_t i = 0; i < length; ++i) payload.push_back(uint8_t(offset + i) & 0x7F);
      writer.add(payload, offset + length == kJpegPictureSize);
    }
  }
  return writer.take();
}

class StreamBuilder {
 public:
  Stream build() {
    for (size_t picture = 0; picture < kGopLength; ++picture) {
      writer_.nextPicture();
      if (picture == 0) {
        add({0x78, 0x00, 0x04, 0x67, 0x42, 0x00, 0x1F, 0x00, 0x04, 0x68, 0xCE, 0x3C, 0x80},
            false);  // STAP-A with SPS and PPS
        addFragmented(0x65, kIdrSize);
      } else {
        addFragmented(0x41, kPSize);
      }
    }
    return writer_.take();
  }

 private:
  // RFC 6184 section 5.8: FU-A fragments of one NAL unit.
  void addFragmented(uint8_t header, size_t size) {
    const size_t piece = kMaxPayload - kFuAHeaderSize;
    for (size_t offset = 0; offset < size; offset += piece) {
      const bool first = offset == 0, last = offset + piece >= size;
      const uint8_t indicator = uint8_t((header & 0x60) | 28);  // NRI of the unit, type 28
      const uint8_t fuHeader = uint8_t((first ? 0x80 : 0) | (last ? 0x40 : 0) | (header & 0x1F));
      Bytes payload = {indicator, fuHeader};
      const size_t length = last ? size - offset : piece;
      for (size_t i = 0; i < length; ++i) payload.push_back(uint8_t(offset + i));
      add(payload, last);
    }
  }

  void add(const Bytes& payload, bool marker) { writer_.add(payload, marker); }

  PacketWriter writer_{kPayloadType};
};

const Stream& h264Stream() {
  static const Stream built = StreamBuilder().build();
  return built;
}

const Stream& jpegStream() {
  static const Stream built = buildJpegStream();
  return built;
}

template <typename Depacketizer, typename OnUnit>
void runStream(benchmark::State& state, const Stream& stream, OnUnit&& onUnit) {
  const Road road = state.range(0) == 0 ? Road::Udp : Road::Interleaved;
  vexa::rtp::RtpSequenceTracker tracker;
  Depacketizer depacketizer(road);
  // The stream repeats with its numbers going on, as a camera's would.
  std::vector<Bytes> packets = stream.packets;
  uint16_t sequence = 0;
  size_t units = 0;
  for (auto _ : state) {
    for (Bytes& bytes : packets) {
      bytes[2] = uint8_t(sequence >> 8);
      bytes[3] = uint8_t(sequence);
      ++sequence;
      const auto packet = vexa::rtp::parseRtpPacket(bytes);
      const uint32_t flags = tracker.track(*packet, road);
      const bool loss = (flags & vexa::rtp::RtpSequenceTracker::kGap) != 0;
      if (depacketizer.push(*packet, loss) == vexa::rtp::PushResult::kComplete) {
        onUnit(depacketizer.completedUnit());
        ++units;
      }
    }
  }
  const double iterations = double(state.iterations());
  state.counters["packets_per_cpu_s"] =
      benchmark::Counter(iterations * double(stream.packets.size()), benchmark::Counter::kIsRate);
  state.counters["MB_per_cpu_s"] =
      benchmark::Counter(iterations * double(stream.bytes) / 1e6, benchmark::Counter::kIsRate);
  state.counters["units_per_cpu_s"] =
      benchmark::Counter(double(units), benchmark::Counter::kIsRate);
  state.SetLabel(road == Road::Udp ? "udp" : "interleaved");
}

void keep(std::span<const uint8_t> unit) { benchmark::DoNotOptimize(unit.data()); }

void BM_H264Depacketize(benchmark::State& state) {
  runStream<vexa::rtp::H264Depacketizer>(state, h264Stream(), keep);
}

// Each completed picture gets its rebuilt JPEG header (tables from Q, built once) and EOI.
void BM_JpegDepacketize(benchmark::State& state) {
  runStream<vexa::rtp::JpegDepacketizer>(state, jpegStream(), keep);
}

// The decode thread's side is stood in for by taking each unit right after it is handed over.
void BM_H264DepacketizeAndHandOff(benchmark::State& state) {
  vexa::rtp::AccessUnitQueue queue;
  runStream<vexa::rtp::H264Depacketizer>(state, h264Stream(), [&queue](std::span<const uint8_t> unit) {
    queue.handOff(unit);
    queue.takeOldest(
        [](std::span<const uint8_t> taken) { benchmark::DoNotOptimize(taken.data()); });
  });
}

BENCHMARK(BM_H264Depacketize)->Arg(0)->Arg(1);
BENCHMARK(BM_H264DepacketizeAndHandOff)->Arg(0)->Arg(1);
BENCHMARK(BM_JpegDepacketize)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
