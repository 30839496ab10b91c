#include "media/TurboJpegDecoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "media/BgrConverter.h"
#include "media/FfmpegDecoding.h"
#include "support/Planes.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int64_t kMaxPixels = 1920 * 1080;
constexpr int kQuality = 80;
// Two IDCTs of the same coefficients round differently, never by more than this.
constexpr int kSampleTolerance = 2;
// The scaler's chroma upsampling differs from TurboJPEG's at edges only; a wrong range or matrix
// would shift every pixel.
constexpr double kMeanBgrTolerance = 1.5;

using Frame = test::FramePtr;
Frame makeFrame() { return Frame(av_frame_alloc()); }

// Gradients, edges and a little noise, like a camera's picture: every IDCT coefficient matters.
Bytes cameraLikePixels(int width, int height, int channels) {
  std::mt19937 random(11);
  Bytes pixels(size_t(width) * size_t(height) * size_t(channels));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int noise = int(random() % 24);
      const int edge = (x / 40 + y / 30) % 2 ? 60 : 0;
      uint8_t* pixel = &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels)];
      for (int c = 0; c < channels; ++c) {
        pixel[c] = uint8_t(std::min(255, (c == 0 ? x * 200 / width : y * 200 / height) + edge +
                                             noise + c * 5));
      }
    }
  }
  return pixels;
}

// TurboJPEG's own BGR of the picture against the scaler's BGR of our frame, as the display would
// make it.
double meanBgrDifference(const Bytes& jpeg, const AVFrame& frame) {
  const size_t rowBytes = size_t(frame.width) * 3;
  Bytes expected(rowBytes * size_t(frame.height)), converted(expected.size());
  tjhandle decompressor = tjInitDecompress();
  const bool decoded = tjDecompress2(decompressor, jpeg.data(), jpeg.size(), expected.data(),
                                     frame.width, 0, frame.height, TJPF_BGR, 0) == 0;
  tjDestroy(decompressor);
  BgrConverter converter(SWS_FAST_BILINEAR);
  if (!decoded || !converter.convert(frame, converted.data(), int(rowBytes))) return 255;
  double total = 0;
  for (size_t i = 0; i < expected.size(); ++i) total += std::abs(expected[i] - converted[i]);
  return total / double(expected.size());
}

Bytes compressJpeg(int width, int height, int subsampling, int pixelFormat = TJPF_RGB) {
  tjhandle compressor = tjInitCompress();
  const Bytes pixels = cameraLikePixels(width, height, tjPixelSize[pixelFormat]);
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  Bytes out;
  if (tjCompress2(compressor, pixels.data(), width, 0, height, pixelFormat, &jpeg, &size,
                  subsampling, kQuality, 0) == 0) {
    out.assign(jpeg, jpeg + size);
  }
  tjFree(jpeg);
  tjDestroy(compressor);
  return out;
}

// The largest difference between two frames' samples over each plane's picture area.
int largestDifference(const AVFrame& a, const AVFrame& b) {
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(AVPixelFormat(a.format));
  int largest = 0;
  for (int plane = 0; plane < layout->nb_components; ++plane) {
    const int shiftX = plane == 0 ? 0 : layout->log2_chroma_w;
    const int shiftY = plane == 0 ? 0 : layout->log2_chroma_h;
    const int width = -((-a.width) >> shiftX), height = -((-a.height) >> shiftY);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        largest = std::max(largest, std::abs(a.data[plane][y * a.linesize[plane] + x] -
                                             b.data[plane][y * b.linesize[plane] + x]));
      }
    }
  }
  return largest;
}

TEST(TurboJpegDecoderTest, GivesLibavcodecsSamplesInAPixelFormatTheScalerConverts) {
  struct Case {
    int subsampling;
    int width, height;
    AVPixelFormat format;
  };
  const Case cases[] = {
      {TJSAMP_420, 321, 241, AV_PIX_FMT_YUVJ420P}, {TJSAMP_420, 64, 48, AV_PIX_FMT_YUVJ420P},
      {TJSAMP_422, 321, 241, AV_PIX_FMT_YUVJ422P}, {TJSAMP_444, 321, 241, AV_PIX_FMT_YUVJ444P},
      {TJSAMP_440, 321, 241, AV_PIX_FMT_YUVJ440P}, {TJSAMP_411, 321, 241, AV_PIX_FMT_YUVJ411P},
      {TJSAMP_GRAY, 321, 241, AV_PIX_FMT_GRAY8},
  };
  TurboJpegDecoder decoder(kMaxPixels);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "subsampling " << c.subsampling << " " << c.width << "x"
                                      << c.height);
    const Bytes jpeg = compressJpeg(c.width, c.height, c.subsampling);
    ffmpeg::Decoder reference(AV_CODEC_ID_MJPEG, 0, kMaxPixels);
    ASSERT_TRUE(reference.open());
    ASSERT_EQ(reference.decode(jpeg.data(), int(jpeg.size())), ffmpeg::DecodeResult::kPicture);
    ASSERT_EQ(reference.frame().format, c.format);

    const Frame frame = makeFrame();
    ASSERT_TRUE(decoder.decode(jpeg, frame.get()));
    EXPECT_EQ(frame->format, c.format);
    EXPECT_EQ(frame->width, c.width);
    EXPECT_EQ(frame->height, c.height);
    EXPECT_LE(largestDifference(*frame, reference.frame()), kSampleTolerance);
    EXPECT_LT(meanBgrDifference(jpeg, *frame), kMeanBgrTolerance);
  }
}

TEST(TurboJpegDecoderTest, ReusesAWritableBufferButNeverAReferencedOne) {
  TurboJpegDecoder decoder(kMaxPixels);
  const Bytes first = compressJpeg(321, 241, TJSAMP_420);
  const Bytes second = compressJpeg(321, 241, TJSAMP_GRAY);
  const Frame frame = makeFrame();
  ASSERT_TRUE(decoder.decode(first, frame.get()));
  const uint8_t* buffer = frame->data[0];
  ASSERT_TRUE(decoder.decode(first, frame.get()));
  EXPECT_EQ(frame->data[0], buffer);

  // Whoever holds a reference keeps the picture they were given.
  const Frame held = makeFrame();
  ASSERT_EQ(av_frame_ref(held.get(), frame.get()), 0);
  const Frame copy = makeFrame();
  ASSERT_EQ(av_frame_ref(copy.get(), frame.get()), 0);
  ASSERT_EQ(av_frame_make_writable(copy.get()), 0);
  ASSERT_TRUE(decoder.decode(second, frame.get()));
  EXPECT_NE(frame->data[0], held->data[0]);
  EXPECT_EQ(frame->format, AV_PIX_FMT_GRAY8);
  EXPECT_EQ(largestDifference(*held, *copy), 0);
}

TEST(TurboJpegDecoderTest, RefusesWhatItCannotDecodeAndKeepsDecodingAfterwards) {
  const Bytes jpeg = compressJpeg(320, 240, TJSAMP_420);
  const Frame frame = makeFrame();
  TurboJpegDecoder decoder(kMaxPixels);
  ASSERT_TRUE(decoder.decode(jpeg, frame.get()));
  const uint8_t* buffer = frame->data[0];
  const auto untouched = [&] {
    return frame->data[0] == buffer && frame->width == 320 && frame->height == 240 &&
           frame->format == AV_PIX_FMT_YUVJ420P;
  };

  // Refused before the frame is touched: too large, CMYK, not a JPEG at all, headers only.
  EXPECT_FALSE(TurboJpegDecoder(320 * 240 - 1).decode(jpeg, frame.get()));
  std::mt19937 random(7);
  Bytes garbage(4000);
  for (auto& byte : garbage) byte = uint8_t(random());
  const uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto scan = std::search(jpeg.begin(), jpeg.end(), startOfScan, startOfScan + 2);
  for (const Bytes& refused :
       {compressJpeg(64, 48, TJSAMP_420, TJPF_CMYK), garbage, Bytes{}, Bytes(jpeg.begin(), scan)}) {
    EXPECT_FALSE(decoder.decode(refused, frame.get()));
  }
  EXPECT_TRUE(untouched());

  // After a header that failed, a cut picture is still one the user can see; a damaged one
  // decodes or not, into the same buffer.
  EXPECT_TRUE(decoder.decode(Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() * 2 / 3)),
                             frame.get()));
  Bytes damaged = jpeg;
  for (size_t i = size_t(scan - jpeg.begin()) + 20; i < jpeg.size(); i += 37) {
    damaged[i] = uint8_t(random());
  }
  decoder.decode(damaged, frame.get());
  EXPECT_TRUE(untouched());
  EXPECT_TRUE(decoder.decode(jpeg, frame.get()));
}

}  // namespace
}  // namespace vexa
