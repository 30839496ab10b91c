#include "record/Snapshot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "record/ImageEncoder.h"
#include "support/Codecs.h"
#include "support/Picture.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using test::largestDifference;
using test::Picture;

// Four colour bands from top to bottom, so a flip or a swap of red and blue shows.
Picture bands(int width, int height) {
  return Picture::bands(width, height, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
}

class SnapshotTest : public testing::Test {
 protected:
  bool save(const std::string& name, const Picture& picture) {
    return SaveSnapshot(temp.path() + "/", name, picture.header, picture.bits.data());
  }
  test::TempFolder temp;
};

TEST_F(SnapshotTest, BitmapBytesAreExactWithRowsPaddedInTheFile) {
  const Picture picture = bands(5, 4);  // 15-byte rows, 16 in the file
  ASSERT_TRUE(save("shot.bmp", picture));
  const auto file = temp.read("capture.bmp");
  ASSERT_EQ(file.size(), 54u + 16 * 4);
  // Type, file size, reserved, pixel offset; biSize, width, height (bottom-up), planes, bits per
  // pixel, BI_RGB, image size of the padded rows, then zeros.
  const uint8_t headers[54] = {'B', 'M', 118, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                               5,   0,   0,   0, 4, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0,  0, 64};
  EXPECT_EQ(std::memcmp(file.data(), headers, 54), 0);
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(std::memcmp(&file[54 + 16 * row], &picture.bits[15 * row], 15), 0) << row;
    EXPECT_EQ(file[54 + 16 * row + 15], 0);
  }
  const auto decoded = test::decodeImage(file, AV_CODEC_ID_BMP);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(largestDifference(decoded->bgr, picture.topDown()), 0);
  // The .bmp destination is the same file, and the temporary one stays.
  EXPECT_EQ(temp.read("shot.bmp"), file);
}

TEST_F(SnapshotTest, FormatFollowsTheExtensionAndDecodesBackToThePicture) {
  const struct {
    const char* name;
    AVCodecID codec;
    std::string magic;
    int tolerance;
  } cases[] = {
      {"a.jpg", AV_CODEC_ID_MJPEG, "\xFF\xD8", 40},  // lossy, but the bands are where they were
      {"b.PNG", AV_CODEC_ID_PNG, "\x89PNG", 0},
      {"c.tiff", AV_CODEC_ID_TIFF, "II*", 0},
      // A 3-3-2 palette, dithered: a pixel may be one red or green step (255 / 7) off.
      {"d.Gif", AV_CODEC_ID_GIF, "GIF8", 37},
  };
  const Picture picture = bands(64, 48);
  for (const auto& c : cases) {
    ASSERT_TRUE(save(c.name, picture)) << c.name;
    const auto file = temp.read(c.name);
    EXPECT_EQ(std::string(file.begin(), file.begin() + c.magic.size()), c.magic) << c.name;
    const auto decoded = test::decodeImage(file, c.codec);
    ASSERT_TRUE(decoded) << c.name;
    ASSERT_EQ(std::pair(decoded->width, decoded->height), std::pair(64, 48));
    EXPECT_LE(largestDifference(decoded->bgr, picture.topDown()), c.tolerance) << c.name;
  }
}

TEST_F(SnapshotTest, UnknownExtensionMissingPictureOrFolderWriteNoDestination) {
  const Picture picture = bands(8, 8);
  EXPECT_FALSE(SaveSnapshot(temp.path() + "/", "a.bmp", picture.header, nullptr));
  EXPECT_FALSE(SaveSnapshot(temp.path() + "/", "a.bmp", BITMAPINFOHEADER{}, picture.bits.data()));
  EXPECT_FALSE(temp.has("capture.bmp"));
  EXPECT_FALSE(
      SaveSnapshot(temp.path() + "/missing/", "a.jpg", picture.header, picture.bits.data()));
  // An unknown extension still leaves the temporary bitmap.
  EXPECT_FALSE(save("shot.webp", picture));
  EXPECT_FALSE(save("noextension", picture));
  EXPECT_EQ(std::tuple(temp.has("shot.webp"), temp.has("noextension"), temp.has("capture.bmp")),
            std::tuple(false, false, true));
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
