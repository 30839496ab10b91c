// Drives one fisheye engine through a sequence of operations read from the input: modes (and
// text that names none), orientations, calibrations of any 32-bit value, window and full-screen
// sizes, view steering, dewarps of pictures of many sizes into buffers of many capacities, and
// circle finding. Every dewarp must stay inside its buffers and map only to whole source pixels.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "display/fisheye/FisheyeEngine.h"

namespace {

using namespace vexa;

constexpr std::array<std::string_view, 7> kModeTexts{"NONE",     "PTZ",     "360", "4PTZ",
                                                     "PANORAMA", "PANOPTZ", "ptz "};
// Stream sizes of the sensor table and a few it does not list; arbitrary ones come beside them.
constexpr std::array<std::array<int, 2>, 4> kSourceSizes{
    {{1, 1}, {352, 240}, {352, 288}, {640, 480}}};
constexpr int kMaxFreeSide = 300;
constexpr int kMaxWindowSide = 2048;
constexpr size_t kMaxOutputBytes = 160 * 120 * kBytesPerPixel;
constexpr int kMaxOperations = 32;

// Reads the input as small values; zeros once it runs out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return int32_t(value);
  }
  // -limit .. limit, small values as likely as any.
  int within(int limit) {
    const uint16_t high = byte();
    return int(int16_t(uint16_t(high << 8 | byte()))) % (limit + 1);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One grey level: what the picture shows matters little here, and filling it must be cheap.
std::vector<uint8_t> pictureBits(int width, int height, uint8_t level) {
  return std::vector<uint8_t>(size_t(width) * size_t(height) * kBytesPerPixel, level);
}

void dewarpOnce(FisheyeEngine& engine, Input& in) {
  const uint8_t sizeChoice = in.byte();
  int width, height;
  if (sizeChoice < kSourceSizes.size()) {
    width = kSourceSizes[sizeChoice][0];
    height = kSourceSizes[sizeChoice][1];
  } else {
    width = 1 + in.byte() % kMaxFreeSide;
    height = 1 + in.byte() % kMaxFreeSide;
  }
  const std::vector<uint8_t> source = pictureBits(width, height, in.byte());
  const size_t capacity = std::min<size_t>(size_t(uint16_t(in.word())) * 4, kMaxOutputBytes);
  std::vector<uint8_t> output(capacity);
  const BITMAPINFOHEADER header = makeBgrPictureHeader(width, height);
  BITMAPINFOHEADER outputHeader{};
  if (!engine.dewarp(header, source.data(), output.data(), output.size(), outputHeader)) return;
  const size_t outputBytes =
      size_t(outputHeader.biWidth) * size_t(outputHeader.biHeight) * kBytesPerPixel;
  if (outputHeader.biWidth <= 0 || outputHeader.biHeight <= 0 || outputBytes > capacity) {
    __builtin_trap();
  }
  // Every map entry names a whole source pixel, or none.
  for (int y = 0; y < outputHeader.biHeight; ++y) {
    for (int x = 0; x < outputHeader.biWidth; ++x) {
      const int32_t entry = engine.mapEntry(x, y);
      const bool wholePixel = entry >= 0 && entry % int32_t(kBytesPerPixel) == 0 &&
                              size_t(entry) + kBytesPerPixel <= source.size();
      if (entry != -1 && !wholePixel) __builtin_trap();
    }
  }
}

void calibrateOnce(FisheyeEngine& engine, Input& in) {
  const int width = 1 + in.byte() % kMaxFreeSide, height = 1 + in.byte() % kMaxFreeSide;
  const std::vector<uint8_t> bits = pictureBits(width, height, in.byte());
  engine.calibrate(makeBgrPictureHeader(width, height), bits.data());
}

void steer(FisheyeEngine& engine, Input& in) {
  FisheyeViewState& view = engine.view(in.byte() % kMaxFisheyeViews);
  view.pan = in.within(720);
  view.tilt = in.within(180);
  view.zoomIndex = in.within(20);
}

void runOperation(FisheyeEngine& engine, Input& in) {
  switch (in.byte() % 13) {
    case 0:
      engine.setModeFromText(kModeTexts[in.byte() % kModeTexts.size()]);
      break;
    case 1:
      engine.setOrientation(in.within(8));
      break;
    case 2:
      engine.setRotateBiasDegrees(in.word());
      break;
    case 3:
      engine.setCentreX(in.byte() < 128 ? in.within(4000) : in.word());
      break;
    case 4:
      engine.setCentreY(in.byte() < 128 ? in.within(4000) : in.word());
      break;
    case 5:
      engine.setDiameter(in.byte() < 128 ? in.within(4000) : in.word());
      break;
    case 6:
      engine.setSensorClass(in.within(4));
      break;
    case 7: {
      const int x = in.within(kMaxWindowSide), y = in.within(kMaxWindowSide);
      engine.setWindowVideoRect({x, y, in.within(kMaxWindowSide), in.within(kMaxWindowSide)});
      break;
    }
    case 8:
      engine.setFullScreenClient(in.within(kMaxWindowSide), in.within(kMaxWindowSide));
      break;
    case 9:
      engine.setFullScreen(in.byte() & 1);
      break;
    case 10:
      steer(engine, in);
      break;
    case 11:
      calibrateOnce(engine, in);
      break;
    default:
      dewarpOnce(engine, in);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  FisheyeEngine engine;
  for (int i = 0; i < kMaxOperations && !in.empty(); ++i) runOperation(engine, in);
  return 0;
}
