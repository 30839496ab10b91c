#include "record/Snapshot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "record/ImageEncoder.h"
#include "record/ScopedTempFolder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace vexa {
namespace {

struct TestPicture {
  BITMAPINFOHEADER header;
  std::vector<uint8_t> bits;  // bottom-up BGR
};

// Four colour bands from top to bottom, so a flip or a swap of red and blue shows.
TestPicture bands(int width, int height) {
  const uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};  // BGR
  TestPicture picture{makeBgrPictureHeader(width, height), {}};
  picture.bits.resize(size_t(width) * height * 3);
  for (int row = 0; row < height; ++row) {
    const uint8_t* colour = colours[row * 4 / height];
    uint8_t* at = picture.bits.data() + size_t(height - 1 - row) * width * 3;
    for (int x = 0; x < width; ++x) std::memcpy(at + 3 * x, colour, 3);
  }
  return picture;
}

// Decodes an image file with FFmpeg into top-down BGR rows of width x 3 bytes.
std::vector<uint8_t> decodeToBgr(const std::vector<uint8_t>& file, AVCodecID codecId, int* width,
                                 int* height) {
  const AVCodec* codec = avcodec_find_decoder(codecId);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<uint8_t> bgr;
  std::vector<uint8_t> padded(file);
  padded.resize(file.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  packet->data = padded.data();
  packet->size = int(file.size());
  if (avcodec_open2(context, codec, nullptr) == 0 && avcodec_send_packet(context, packet) == 0 &&
      avcodec_receive_frame(context, frame) == 0) {
    *width = frame->width;
    *height = frame->height;
    bgr.resize(size_t(frame->width) * frame->height * 3);
    // JPEG pictures come as full-range YUV; name the range rather than the deprecated format.
    const bool fullRange = frame->format == AV_PIX_FMT_YUVJ420P;
    const AVPixelFormat format = fullRange ? AV_PIX_FMT_YUV420P : AVPixelFormat(frame->format);
    SwsContext* scaler =
        sws_getContext(frame->width, frame->height, format, frame->width, frame->height,
                       AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (fullRange) {
      const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
      sws_setColorspaceDetails(scaler, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    uint8_t* planes[4] = {bgr.data()};
    const int strides[4] = {frame->width * 3};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(scaler);
  }
  av_frame_free(&frame);
  packet->data = nullptr;
  packet->size = 0;
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return bgr;
}

// Largest difference of any byte between a decoded top-down picture and our bottom-up one.
int largestDifference(const std::vector<uint8_t>& topDown, const TestPicture& picture) {
  const int width = picture.header.biWidth;
  const int height = picture.header.biHeight;
  int largest = 0;
  for (int row = 0; row < height; ++row) {
    const uint8_t* ours = picture.bits.data() + size_t(height - 1 - row) * width * 3;
    const uint8_t* theirs = topDown.data() + size_t(row) * width * 3;
    for (int i = 0; i < width * 3; ++i) largest = std::max(largest, std::abs(ours[i] - theirs[i]));
  }
  return largest;
}

class SnapshotTest : public testing::Test {
 protected:
  std::string folder() const { return temp.path() + "/"; }
  std::vector<uint8_t> saved(const std::string& name) const {
    return test::readFileBytes(temp.file(name));
  }
  test::ScopedTempFolder temp;
};

TEST_F(SnapshotTest, BitmapHeadersAreExact) {
  const TestPicture picture = bands(4, 2);
  ASSERT_TRUE(SaveSnapshot(folder(), "shot.bmp", picture.header, picture.bits.data()));
  const auto file = saved("capture.bmp");
  ASSERT_EQ(file.size(), 54u + 24);
  const uint8_t fileHeader[14] = {'B', 'M',         // type
                                  78,  0,   0, 0,   // file size: 54 + 24
                                  0,   0,   0, 0,   // reserved
                                  54,  0,   0, 0};  // offset of the pixels
  EXPECT_EQ(std::memcmp(file.data(), fileHeader, 14), 0);
  const uint8_t infoHeader[40] = {40, 0, 0, 0,  // biSize
                                  4,  0, 0, 0,  // width
                                  2,  0, 0, 0,  // height, bottom-up
                                  1,  0,        // planes
                                  24, 0,        // bits per pixel
                                  0,  0, 0, 0,  // BI_RGB
                                  24, 0, 0, 0,  // image size
                                  0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(file.data() + 14, infoHeader, 40), 0);
  EXPECT_EQ(std::memcmp(file.data() + 54, picture.bits.data(), 24), 0);
  // The .bmp destination is the same file, and the temporary one stays.
  EXPECT_EQ(saved("shot.bmp"), file);
}

TEST_F(SnapshotTest, OddWidthRowsArePaddedInTheFile) {
  const TestPicture picture = bands(5, 4);  // 15-byte rows, 16 in the file
  const auto file = makeBitmapFile(picture.header, picture.bits.data());
  ASSERT_EQ(file.size(), 54u + 16 * 4);
  EXPECT_EQ(file[2], 54 + 64);
  EXPECT_EQ(file[34], 64);  // biSizeImage
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(std::memcmp(&file[54 + 16 * row], &picture.bits[15 * row], 15), 0) << row;
    EXPECT_EQ(file[54 + 16 * row + 15], 0);
  }
  int width = 0, height = 0;
  const auto decoded = decodeToBgr(file, AV_CODEC_ID_BMP, &width, &height);
  ASSERT_EQ(width, 5);
  EXPECT_EQ(largestDifference(decoded, picture), 0);
}

TEST_F(SnapshotTest, JpegAndPngDecodeBackToThePicture) {
  const TestPicture picture = bands(64, 48);
  ASSERT_TRUE(SaveSnapshot(folder(), "a.jpg", picture.header, picture.bits.data()));
  ASSERT_TRUE(SaveSnapshot(folder(), "b.PNG", picture.header, picture.bits.data()));

  int width = 0, height = 0;
  const auto jpeg = saved("a.jpg");
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  auto decoded = decodeToBgr(jpeg, AV_CODEC_ID_MJPEG, &width, &height);
  ASSERT_EQ(width, 64);
  ASSERT_EQ(height, 48);
  EXPECT_LE(largestDifference(decoded, picture), 40);  // lossy, but the bands are where they were

  decoded = decodeToBgr(saved("b.PNG"), AV_CODEC_ID_PNG, &width, &height);
  ASSERT_EQ(width, 64);
  EXPECT_EQ(largestDifference(decoded, picture), 0);
}

TEST_F(SnapshotTest, TiffAndGifAreWrittenByExtension) {
  const TestPicture picture = bands(40, 20);
  ASSERT_TRUE(SaveSnapshot(folder(), "c.tiff", picture.header, picture.bits.data()));
  ASSERT_TRUE(SaveSnapshot(folder(), "d.Gif", picture.header, picture.bits.data()));
  int width = 0, height = 0;
  auto decoded = decodeToBgr(saved("c.tiff"), AV_CODEC_ID_TIFF, &width, &height);
  ASSERT_EQ(width, 40);
  EXPECT_EQ(largestDifference(decoded, picture), 0);

  const auto gif = saved("d.Gif");
  ASSERT_GE(gif.size(), 7u);
  EXPECT_EQ(std::string(gif.begin(), gif.begin() + 4), "GIF8");
  EXPECT_EQ(gif.back(), 0x3B);  // trailer
  decoded = decodeToBgr(gif, AV_CODEC_ID_GIF, &width, &height);
  ASSERT_EQ(width, 40);
  ASSERT_EQ(height, 20);
  // The 3-3-2 palette's full levels are 252, not 255.
  EXPECT_LE(largestDifference(decoded, picture), 3);
}

TEST_F(SnapshotTest, UnknownExtensionWritesOnlyTheTemporaryBitmap) {
  const TestPicture picture = bands(8, 8);
  EXPECT_FALSE(SaveSnapshot(folder(), "shot.webp", picture.header, picture.bits.data()));
  EXPECT_FALSE(SaveSnapshot(folder(), "noextension", picture.header, picture.bits.data()));
  EXPECT_FALSE(std::filesystem::exists(temp.file("shot.webp")));
  EXPECT_FALSE(std::filesystem::exists(temp.file("noextension")));
  EXPECT_TRUE(std::filesystem::exists(temp.file("capture.bmp")));
}

TEST_F(SnapshotTest, NoPictureOrNoFolderWritesNothing) {
  const TestPicture picture = bands(8, 8);
  BITMAPINFOHEADER empty{};
  EXPECT_FALSE(SaveSnapshot(folder(), "a.bmp", empty, picture.bits.data()));
  EXPECT_FALSE(SaveSnapshot(folder(), "a.bmp", picture.header, nullptr));
  EXPECT_FALSE(std::filesystem::exists(temp.file("capture.bmp")));
  EXPECT_FALSE(SaveSnapshot(folder() + "missing/", "a.jpg", picture.header, picture.bits.data()));
}

TEST(ImageFormat, ChosenByExtensionIgnoringCase) {
  EXPECT_EQ(imageFormatForFileName("x.JPG"), ImageFormat::kJpeg);
  EXPECT_EQ(imageFormatForFileName("x.jpeg"), ImageFormat::kJpeg);
  EXPECT_EQ(imageFormatForFileName("x.Tif"), ImageFormat::kTiff);
  EXPECT_EQ(imageFormatForFileName("my.pictures/x.bmp"), ImageFormat::kBmp);
  EXPECT_EQ(imageFormatForFileName("x.png.txt"), std::nullopt);
  EXPECT_EQ(imageFormatForFileName("jpg"), std::nullopt);
}

}  // namespace
}  // namespace vexa
