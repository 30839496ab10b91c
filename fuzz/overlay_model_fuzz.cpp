// Drives a window's overlays through a sequence of operations read from the input: adds of every
// kind with any 32-bit values and names, removals, queries of any index and value, clamps, camera
// descriptions from the grid table and beside it, rotations, picture sizes and video rectangles,
// client masks with any colour and alpha painted over pictures of many sizes, and drawing onto a
// canvas. The sanitizers judge; nothing may be written outside a picture or the canvas.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/overlay/ClientMasks.h"
#include "display/overlay/OverlayDrawing.h"
#include "display/overlay/OverlayList.h"

namespace {

using namespace vexa;

constexpr std::array<const char*, 5> kModels{"TQ311", "TQ312", "TQ323", "TQ999", ""};
constexpr std::array<const char*, 4> kSensors{"ICX445", "IMX035", "OV2715", ""};
constexpr std::array<const char*, 7> kResolutions{"1280x960",  "1280x1024", "1920x1080",
                                                   "2048x1536", "2592x1944", "352x240", ""};
constexpr std::array<std::array<int, 2>, 8> kPictureSizes{{{1280, 720},
                                                           {1280, 1024},
                                                           {352, 240},
                                                           {1920, 1080},
                                                           {2592, 1944},
                                                           {16, 16},
                                                           {1, 1},
                                                           {0, 0}}};
constexpr int kCanvasWidth = 320;
constexpr int kCanvasHeight = 240;
constexpr int kMaxPaintSide = 400;
constexpr int kMaxOperations = 64;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return int32_t(value);
  }
  double real() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Any bytes, NUL included; sometimes long.
  std::string text() {
    const size_t length = byte() == 0xFF ? 300 : byte() % 8;
    std::string out;
    for (size_t i = 0; i < length; ++i) out += char(byte());
    return out;
  }
  template <typename T, size_t N>
  std::string pick(const std::array<T, N>& choices) {
    const uint8_t choice = byte();
    return choice < N ? std::string(choices[choice]) : text();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void paintMasks(ClientMasks& masks, Input& in) {
  const int width = 1 + in.byte() % kMaxPaintSide;
  const int height = 1 + in.byte() % kMaxPaintSide;
  std::vector<uint8_t> bits(size_t(width) * size_t(height) * 3, in.byte());
  masks.apply(bits.data(), width, height);
}

void operate(OverlayList& list, ClientMasks& masks, Canvas& canvas, Input& in) {
  switch (in.byte() % 14) {
    case 0:
      list.addMask(in.text(), in.word(), in.word(), in.word(), in.word());
      break;
    case 1:
      list.addMotionByName(in.text(), in.word(), in.word(), in.word(), in.word());
      break;
    case 2:
      list.addMotion(in.word(), in.word(), in.word(), in.word());
      break;
    case 3:
      list.addRoi(in.text(), in.word(), in.word(), in.word(), in.word(), in.word(), in.word(),
                  in.word(), in.word());
      break;
    case 4:
      list.removeByName(in.text());
      break;
    case 5:
      list.removeFront();
      break;
    case 6:
      list.motionPoint(in.word(), in.word());
      list.pointByName(in.text(), in.word());
      break;
    case 7:
      list.adjustMotion();
      break;
    case 8:
      list.setDescription(in.pick(kModels), in.pick(kSensors), in.pick(kResolutions), in.text());
      break;
    case 9:
      list.setRotation(int(in.byte()) - 2);
      break;
    case 10: {
      const uint8_t choice = in.byte();
      const bool listed = choice < kPictureSizes.size();
      const int width = listed ? kPictureSizes[choice][0] : in.word();
      const int height = listed ? kPictureSizes[choice][1] : in.word();
      list.updateGeometry(width, height, {in.word() % 400, in.word() % 400, in.word(), in.word()});
      break;
    }
    case 11:
      masks.add(in.text(), in.word(), in.word(), in.word(), in.word());
      masks.remove(in.text());
      break;
    case 12:
      masks.setColour(in.word(), in.word(), in.word(), in.real());
      paintMasks(masks, in);
      break;
    default:
      drawOverlays(list, canvas);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  OverlayList list;
  ClientMasks masks;
  Canvas canvas(kCanvasWidth, kCanvasHeight);
  for (int i = 0; i < kMaxOperations && size > 0; ++i) operate(list, masks, canvas, in);
  return 0;
}
