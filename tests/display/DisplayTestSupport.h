#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/StreamView.h"
#include "media/PictureFormat.h"

namespace vexa::test {

// A bottom-up BGR picture, rows of exactly width x 3 bytes.
struct Picture {
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> bits;

  // colour as 0x00RRGGBB
  static Picture solid(int width, int height, uint32_t rgb) {
    Picture picture;
    picture.header = makeBgrPictureHeader(width, height);
    picture.bits.resize(size_t(width) * height * 3);
    for (size_t i = 0; i < picture.bits.size(); i += 3) {
      picture.bits[i] = uint8_t(rgb);
      picture.bits[i + 1] = uint8_t(rgb >> 8);
      picture.bits[i + 2] = uint8_t(rgb >> 16);
    }
    return picture;
  }

  // Sets a row counted from the top of the picture as shown.
  void setRowFromTop(int row, uint32_t rgb) {
    const int width = header.biWidth;
    uint8_t* at = bits.data() + size_t(header.biHeight - 1 - row) * width * 3;
    for (int x = 0; x < width; ++x) {
      at[3 * x] = uint8_t(rgb);
      at[3 * x + 1] = uint8_t(rgb >> 8);
      at[3 * x + 2] = uint8_t(rgb >> 16);
    }
  }
};

// The stream the video window polls, under the test's control.
class FakeStreamView final : public StreamView {
 public:
  enum class Path { kH264, kMpeg4, kJpeg };

  bool player = true;
  Path path = Path::kJpeg;
  uint32_t frameNumber = 0;
  bool lockAvailable = true;
  bool locked = false;
  int lockCalls = 0;

  // Paths A and B deliver this picture.
  Picture picture;
  int32_t h264Index = 0;
  int32_t mpeg4Result = 0;
  int fetchCalls = 0;
  // Path C delivers these bytes.
  std::vector<uint8_t> jpeg;

  StreamFigures figures;
  int stops = 0;
  int restarts = 0;

  bool hasPlayer() const override { return player; }
  uint32_t GetFrameNumber() override { return frameNumber; }
  bool LockCurImage(bool tryOnly) override {
    ++lockCalls;
    if (!lockAvailable) return false;
    locked = true;
    return true;
  }
  void UnlockCurImage() override { locked = false; }
  bool IsH264Model() override { return path == Path::kH264; }
  bool IsMpeg4Model() override { return path == Path::kMpeg4; }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override {
    ++fetchCalls;
    *data = jpeg.data();
    *length = int32_t(jpeg.size());
    return true;
  }
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    ++fetchCalls;
    return deliver(h264Index, image, size, info);
  }
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    ++fetchCalls;
    return deliver(mpeg4Result, image, size, info);
  }
  StreamFigures readFigures() override { return figures; }
  void stopPlayer() override { ++stops; }
  void restartPlayer() override { ++restarts; }

 private:
  int32_t deliver(int32_t result, uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
    if (result == -1) {
      // A failing source may still have scribbled over the buffer.
      std::memset(image, 0x5A, std::min<size_t>(size_t(*size), 64));
      return -1;
    }
    *info = picture.header;
    std::memcpy(image, picture.bits.data(), picture.bits.size());
    return result;
  }
};

// Stand-in JPEG data and decoder: the first three bytes name the colour (R, G, B) of a solid
// picture, the next four its width and height (16 bits each).
inline std::vector<uint8_t> fakeJpeg(uint32_t rgb, int width, int height, size_t length = 2000) {
  std::vector<uint8_t> data(length, 0);
  data[0] = uint8_t(rgb >> 16);
  data[1] = uint8_t(rgb >> 8);
  data[2] = uint8_t(rgb);
  data[3] = uint8_t(width);
  data[4] = uint8_t(width >> 8);
  data[5] = uint8_t(height);
  data[6] = uint8_t(height >> 8);
  return data;
}

struct FakeJpegDecoder {
  int calls = 0;
  bool fail = false;

  int decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
    ++calls;
    if (fail) {
      std::memset(image, 0x5A, 64);
      return -1;
    }
    const int width = data[3] | (data[4] << 8);
    const int height = data[5] | (data[6] << 8);
    const uint32_t rgb = (uint32_t(data[0]) << 16) | (uint32_t(data[1]) << 8) | data[2];
    const Picture picture = Picture::solid(width, height, rgb);
    std::memcpy(image, picture.bits.data(), picture.bits.size());
    *info = picture.header;
    return 0;
  }
};

}  // namespace vexa::test
