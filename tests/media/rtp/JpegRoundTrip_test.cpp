// Pictures from FFmpeg's JPEG encoder, cut into RTP/JPEG packets the way a camera sends them,
// put together again and decoded: the result must be the encoder's own picture.

#include <gtest/gtest.h>

#include <map>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "media/MjpegDecoder.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/JpegTestPackets.h"
#include "support/Codecs.h"

namespace vexa::rtp {
namespace {

using test::Bytes;
using test::concat;
using vexa::test::clampByte;
using vexa::test::Rgb;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kBlock = 8;
constexpr uint8_t kInBandQ = 255;
constexpr size_t kScanBytesPerPacket = 300;
constexpr int kQScale = 2;
constexpr int kColourTolerance = 12;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kWhite{255, 255, 255};

// Four flat quadrants with a fine checkerboard band across the middle, so the scan data
// spans several packets.
Rgb testColour(int x, int y) {
  if (y >= kHeight / 2 - 4 && y < kHeight / 2 + 4) {
    return ((x / 2 + y / 2) % 2) != 0 ? kWhite : Rgb{0, 0, 0};
  }
  if (y < kHeight / 2) return x < kWidth / 2 ? kRed : kGreen;
  return x < kWidth / 2 ? kBlue : kWhite;
}

// Full-range BT.601 4:2:0 planes; each chroma sample averages the four pixels it covers.
AVFrame* makeFrame() {
  AVFrame* frame = av_frame_alloc();
  frame->width = kWidth;
  frame->height = kHeight;
  frame->format = AV_PIX_FMT_YUVJ420P;
  if (av_frame_get_buffer(frame, 0) < 0) {
    av_frame_free(&frame);
    return nullptr;
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = testColour(x, y);
      frame->data[0][y * frame->linesize[0] + x] =
          clampByte(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
    }
  }
  for (int cy = 0; cy < kHeight / 2; ++cy) {
    for (int cx = 0; cx < kWidth / 2; ++cx) {
      double cb = 0, cr = 0;
      int count = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const Rgb c = testColour(2 * cx + dx, 2 * cy + dy);
          cb += -0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b;
          cr += 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b;
          ++count;
        }
      }
      frame->data[1][cy * frame->linesize[1] + cx] = clampByte(128 + cb / count);
      frame->data[2][cy * frame->linesize[2] + cx] = clampByte(128 + cr / count);
    }
  }
  return frame;
}

// A baseline JPEG coded with the typical Huffman tables of T.81 Annex K.3, which is what
// RTP/JPEG assumes.
Bytes encodeJpeg() {
  Bytes out;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (codec == nullptr) return out;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->width = kWidth;
  context->height = kHeight;
  context->pix_fmt = AV_PIX_FMT_YUVJ420P;
  context->time_base = {1, 25};
  context->flags |= AV_CODEC_FLAG_QSCALE;
  context->color_range = AVCOL_RANGE_JPEG;
  av_opt_set(context->priv_data, "huffman", "default", 0);
  AVFrame* frame = makeFrame();
  AVPacket* packet = av_packet_alloc();
  if (frame != nullptr && avcodec_open2(context, codec, nullptr) >= 0) {
    frame->quality = FF_QP2LAMBDA * kQScale;
    if (avcodec_send_frame(context, frame) >= 0) {
      while (avcodec_receive_packet(context, packet) >= 0) {
        out.insert(out.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet);
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return out;
}

// What a camera takes from its encoder's JPEG: the RTP/JPEG type, the tables of the luminance
// and chrominance components, the Huffman tables and the scan data without EOI.
struct JpegParts {
  int width = 0;
  int height = 0;
  uint8_t type = 0;
  Bytes luma, chroma;
  std::map<uint8_t, Bytes> huffman;  // class and id -> counts and symbols
  Bytes scan;
};

size_t be16(const Bytes& bytes, size_t at) {
  return size_t(bytes[at]) << 8 | bytes[at + 1];
}

// Reads the DHT tables of one segment body into the map.
void readHuffmanTables(const Bytes& body, std::map<uint8_t, Bytes>& tables) {
  constexpr size_t kCounts = 16;
  size_t at = 0;
  while (at + 1 + kCounts <= body.size()) {
    size_t symbols = 0;
    for (size_t i = 0; i < kCounts; ++i) symbols += body[at + 1 + i];
    const size_t end = at + 1 + kCounts + symbols;
    if (end > body.size()) return;
    tables[body[at]] = Bytes(body.begin() + long(at) + 1, body.begin() + long(end));
    at = end;
  }
}

std::optional<JpegParts> splitJpeg(const Bytes& jpeg) {
  JpegParts parts;
  std::map<uint8_t, Bytes> quantizers;
  uint8_t lumaTable = 0, chromaTable = 0, lumaSampling = 0;
  size_t at = 2;  // after SOI
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t marker = jpeg[at + 1];
    const size_t length = be16(jpeg, at + 2);
    if (at + 2 + length > jpeg.size()) return std::nullopt;
    const Bytes body(jpeg.begin() + long(at) + 4, jpeg.begin() + long(at + 2 + length));
    if (marker == 0xDB) {
      for (size_t t = 0; t + 1 + kJpegTableEntries <= body.size(); t += 1 + kJpegTableEntries) {
        if ((body[t] >> 4) != 0) return std::nullopt;  // 16-bit tables
        quantizers[body[t] & 0x0F] =
            Bytes(body.begin() + long(t) + 1, body.begin() + long(t + 1 + kJpegTableEntries));
      }
    } else if (marker == 0xC0) {
      parts.height = int(be16(body, 1));
      parts.width = int(be16(body, 3));
      lumaSampling = body[7];
      lumaTable = body[8];
      chromaTable = body[11];
    } else if (marker == 0xC4) {
      readHuffmanTables(body, parts.huffman);
    } else if (marker == 0xDA) {
      parts.scan.assign(jpeg.begin() + long(at + 2 + length), jpeg.end() - 2);  // without EOI
      break;
    }
    at += 2 + length;
  }
  if (parts.scan.empty() || !quantizers.count(lumaTable) || !quantizers.count(chromaTable)) {
    return std::nullopt;
  }
  parts.luma = quantizers[lumaTable];
  parts.chroma = quantizers[chromaTable];
  parts.type = lumaSampling == 0x21 ? 0 : 1;
  return parts;
}

// RFC 2435 packets: tables in-band in the first, the scan data cut in pieces.
std::vector<Bytes> packetize(const JpegParts& parts) {
  std::vector<Bytes> payloads;
  for (size_t offset = 0; offset < parts.scan.size(); offset += kScanBytesPerPacket) {
    const size_t end = std::min(parts.scan.size(), offset + kScanBytesPerPacket);
    payloads.push_back(
        concat({test::jpegMainHeader(uint32_t(offset), parts.type, kInBandQ,
                                     uint8_t(parts.width / kBlock), uint8_t(parts.height / kBlock)),
                offset == 0 ? test::inBandTables(parts.luma, parts.chroma) : Bytes{},
                Bytes(parts.scan.begin() + long(offset), parts.scan.begin() + long(end))}));
  }
  return payloads;
}

// FFmpeg codes 4:2:2 as 2 x 2 luminance over 1 x 2 chrominance, which no RTP/JPEG type
// describes; its 4:2:0 is type 1.
class JpegRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vexa::test::kQuietFfmpeg);
    jpeg = encodeJpeg();
    ASSERT_FALSE(jpeg.empty());
    auto split = splitJpeg(jpeg);
    ASSERT_TRUE(split.has_value());
    parts = *split;
  }

  // Decodes into a fresh display buffer; empty on failure.
  static Bytes decode(const Bytes& picture) {
    MjpegDecoder decoder;
    if (!decoder.Open()) return {};
    Bytes image(kDisplayPictureBytes);
    BITMAPINFOHEADER info{};
    if (decoder.Decode(int(picture.size()), picture.data(), image.data(), &info) != 0) return {};
    if (info.biWidth != kWidth || info.biHeight != kHeight) return {};
    image.resize(size_t(kWidth) * kHeight * kBytesPerPixel);
    return image;
  }

  Bytes jpeg;
  JpegParts parts;
};

TEST_F(JpegRoundTrip, DecodesToTheEncodersPicture) {
  ASSERT_EQ(parts.type, 1);
  const auto payloads = packetize(parts);
  ASSERT_GT(payloads.size(), 2u);

  for (Road road : {Road::Interleaved, Road::Udp}) {
    test::PacketMaker maker;
    JpegDepacketizer depacketizer(road);
    PushResult last = PushResult::kIgnored;
    for (size_t i = 0; i < payloads.size(); ++i) {
      last =
          depacketizer.push(maker.make(uint16_t(i), i + 1 == payloads.size(), payloads[i]), false);
    }
    ASSERT_EQ(last, PushResult::kComplete);
    const Bytes rebuilt(depacketizer.completedUnit().begin(), depacketizer.completedUnit().end());
    ASSERT_GE(rebuilt.size(), 2u);
    EXPECT_EQ(rebuilt[rebuilt.size() - 2], 0xFF);
    EXPECT_EQ(rebuilt.back(), 0xD9);

    // Same tables, same scan data: the very same samples as the encoder's own file.
    const Bytes decoded = decode(rebuilt);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(decoded, decode(jpeg));

    // And that is the test picture, within JPEG loss (rows stored bottom first).
    const struct {
      int x, y;
      Rgb colour;
    } probes[] = {{kWidth / 4, kHeight / 4, kRed},
                  {3 * kWidth / 4, kHeight / 4, kGreen},
                  {kWidth / 4, 3 * kHeight / 4, kBlue},
                  {3 * kWidth / 4, 3 * kHeight / 4, kWhite}};
    for (const auto& probe : probes) {
      const Rgb actual = vexa::test::bgrAt(decoded.data(), kWidth, kHeight - 1 - probe.y, probe.x);
      EXPECT_TRUE(vexa::test::near(actual, probe.colour, kColourTolerance))
          << actual << " at " << probe.x << "," << probe.y;
    }
  }
}

TEST_F(JpegRoundTrip, HuffmanTablesAreTheEncodersTypicalOnes) {
  JpegHeaderBuilder builder;
  ASSERT_TRUE(builder.processMainHeader(packetize(parts).front()));
  const Bytes header(builder.header().begin(), builder.header().end());
  auto ours = splitJpeg(concat({header, {0x00, 0xFF, 0xD9}}));
  ASSERT_TRUE(ours.has_value());
  ASSERT_EQ(parts.huffman.size(), 4u);
  EXPECT_EQ(ours->huffman, parts.huffman);
  EXPECT_EQ(ours->luma, parts.luma);
  EXPECT_EQ(ours->chroma, parts.chroma);
  EXPECT_EQ(ours->type, parts.type);
  EXPECT_EQ(ours->width, kWidth);
  EXPECT_EQ(ours->height, kHeight);
}

}  // namespace
}  // namespace vexa::rtp
