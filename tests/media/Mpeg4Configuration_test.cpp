#include "media/Mpeg4Configuration.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vexa {

void PrintTo(const PictureSize& size, std::ostream* out) {
  *out << size.width << "x" << size.height;
}

namespace {

using Bytes = std::vector<uint8_t>;

// Most significant bit first, the way the layer header is written.
class BitWriter {
 public:
  void put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i, ++bits_) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= uint8_t((value >> i & 1) << (7 - bits_ % 8));
    }
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  size_t bits_ = 0;
};

struct Layer {
  const char* name;
  bool identifier = false;
  bool extendedPar = false;
  bool vbv = false;
  uint32_t shape = 0;
  uint32_t resolution = 30000;
  int incrementBits = 0;  // 0: no fixed rate
  uint32_t width = 352;
  uint32_t height = 288;
  uint8_t layerCode = 0x20;
  bool sized = true;
};

// Visual object sequence with its profile, a user data block and a video object ahead of the
// layer, so the layer is not where a fixed layout would look.
const Bytes kAhead = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB2, 'c',
                      'a',  'm',  0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01};

// The configuration up to the layer's height; the marker after it is left out, so cutting any
// byte cuts the height.
Bytes configuration(const Layer& l) {
  BitWriter w;
  w.put(l.layerCode, 8);
  w.put(0, 1);  // random_accessible_vol
  w.put(1, 8);  // simple object type
  w.put(l.identifier, 1);
  if (l.identifier) w.put(0x2B, 4 + 3);  // verid 5, priority 3
  w.put(l.extendedPar ? 15 : 1, 4);
  if (l.extendedPar) w.put(0x0C0B, 16);  // 12:11
  w.put(l.vbv, 1);
  if (l.vbv) {
    w.put(0x5, 2 + 1 + 1);  // 4:2:0, low delay, VBV parameters follow
    const int fieldBits[] = {15, 1, 15, 1, 15, 1, 3, 11, 1, 15, 1};
    const uint32_t fields[] = {0x1234, 1, 0x0567, 1, 0x0ABC, 1, 5, 0x3FF, 1, 0x0123, 1};
    for (size_t i = 0; i < std::size(fields); ++i) w.put(fields[i], fieldBits[i]);
  }
  w.put(l.shape, 2);
  if (l.shape == 3 && l.identifier) w.put(0xF, 4);
  w.put(1, 1);
  w.put(l.resolution, 16);
  w.put(1, 1);
  w.put(l.incrementBits > 0, 1);
  if (l.incrementBits > 0) w.put(1, l.incrementBits);
  if (l.shape == 0) {
    w.put(1, 1);
    w.put(l.width, 13);
    w.put(1, 1);
    w.put(l.height, 13);
  }
  Bytes bytes = kAhead;
  bytes.insert(bytes.end(), w.bytes().begin(), w.bytes().end());
  return bytes;
}

const Layer kLayers[] = {
    {.name = "plain"},
    {.name = "object layer identifier", .identifier = true},
    {.name = "extended pixel aspect", .extendedPar = true},
    {.name = "VBV parameters", .vbv = true},
    {.name = "fixed rate, resolution 1", .resolution = 1, .incrementBits = 1},
    {.name = "fixed rate, resolution 25", .resolution = 25, .incrementBits = 5},
    {.name = "fixed rate, resolution 30000", .resolution = 30000, .incrementBits = 15},
    {.name = "fixed rate, resolution 16", .resolution = 16, .incrementBits = 4},
    {.name = "all of them, full HD",
     .identifier = true,
     .extendedPar = true,
     .vbv = true,
     .incrementBits = 15,
     .width = 1920,
     .height = 1080},
    {.name = "last layer number", .layerCode = 0x2F},
    {.name = "binary shape", .shape = 1, .sized = false},
    {.name = "binary-only shape", .shape = 2, .sized = false},
    {.name = "grey-scale shape", .identifier = true, .shape = 3, .sized = false},
    {.name = "zero width", .width = 0, .sized = false},
    {.name = "zero height", .height = 0, .sized = false},
};

TEST(Mpeg4Configuration, WalksTheLayerHeaderToARectangularSize) {
  for (const Layer& layer : kLayers) {
    const std::optional<PictureSize> expected =
        layer.sized ? std::optional(PictureSize{layer.width, layer.height}) : std::nullopt;
    EXPECT_EQ(readMpeg4PictureSize(configuration(layer)), expected) << layer.name;
  }
}

TEST(Mpeg4Configuration, CutBeforeTheHeightGivesNoSizeAndReadsNothingPastTheEnd) {
  for (const Layer& layer : kLayers) {
    const Bytes whole = configuration(layer);
    for (size_t length = 0; length < whole.size(); ++length) {
      // An exact copy, so that a read past its end is caught by the address sanitizer.
      const Bytes cut(whole.begin(), whole.begin() + length);
      EXPECT_EQ(readMpeg4PictureSize(cut), std::nullopt) << layer.name << ", " << length;
    }
  }
  EXPECT_EQ(readMpeg4PictureSize({}), std::nullopt);
}

struct CodecContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

// The configuration libavcodec's MPEG-4 encoder writes for a global header: what senders built on
// it (GStreamer's among them) put into "config".
Bytes libavcodecConfiguration(int width, int height) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!codec) return {};
  std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(codec));
  context->width = width;
  context->height = height;
  context->time_base = {1, 25};
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};
  return Bytes(context->extradata, context->extradata + context->extradata_size);
}

TEST(Mpeg4Configuration, FindsTheLayerOfALibavcodecConfiguration) {
  // The visual object and video object headers put the layer at byte 15, not 18 where a fixed
  // layout expects it.
  constexpr size_t kLibavcodecLayerStart = 15;
  for (const PictureSize size :
       {PictureSize{320, 240}, PictureSize{176, 144}, PictureSize{1280, 720}}) {
    const Bytes config = libavcodecConfiguration(int(size.width), int(size.height));
    ASSERT_FALSE(config.empty());
    EXPECT_EQ(findMpeg4StartCode(config, 0, kFirstVideoObjectLayerCode, kLastVideoObjectLayerCode),
              kLibavcodecLayerStart);
    EXPECT_EQ(readMpeg4PictureSize(config), size);
  }
}

}  // namespace
}  // namespace vexa
