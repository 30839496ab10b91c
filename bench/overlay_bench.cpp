// What overlays cost a new picture in the window. Painting a 1920x1080 picture into the 1280x720
// video rectangle alone and with 16 outlined elements (the front one in the 3 px pen); and a
// picture stretched with client masks over a quarter of it at 50 % blended in, against without.
#include <benchmark/benchmark.h>

#include <vector>

#include "display/Canvas.h"
#include "display/overlay/ClientMasks.h"
#include "display/overlay/OverlayDrawing.h"
#include "display/overlay/OverlayList.h"

namespace {

using namespace vexa;

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;
constexpr int kOutlines = 16;

std::vector<uint8_t> greyPicture(int width, int height) {
  std::vector<uint8_t> bits(size_t(width) * size_t(height) * kBytesPerPixel);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t(i * 7);
  return bits;
}

// Sixteen masks in a 4 x 4 pattern over the 80 x 60 space of the default camera.
OverlayList sixteenOutlines(int pictureWidth, int pictureHeight, const Rect& video) {
  OverlayList list;
  for (int i = 0; i < kOutlines; ++i) list.addMask("m", 2 + (i % 4) * 20, 2 + (i / 4) * 15, 12, 9);
  list.updateGeometry(pictureWidth, pictureHeight, video);
  return list;
}

void BM_PaintPicture(benchmark::State& state) {
  constexpr int kWidth = 1920, kHeight = 1080;
  const std::vector<uint8_t> picture = greyPicture(kWidth, kHeight);
  const BITMAPINFOHEADER header = makeBgrPictureHeader(kWidth, kHeight);
  Canvas canvas(kWindowWidth, kWindowHeight);
  const Rect video{0, 0, kWindowWidth, kWindowHeight};
  const OverlayList outlines = sixteenOutlines(kWidth, kHeight, video);
  const bool withOutlines = state.range(0) != 0;
  uint64_t pictureId = 0;
  for (auto _ : state) {
    canvas.drawPicture(header, picture.data(), ++pictureId, {0, 0, kWidth, kHeight}, video);
    if (withOutlines) drawOverlays(outlines, canvas);
    benchmark::DoNotOptimize(canvas.pixel(0, 0));
  }
}
BENCHMARK(BM_PaintPicture)->ArgName("outlines")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_NewPictureMasks(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  const bool masked = state.range(2) != 0;
  const std::vector<uint8_t> picture = greyPicture(width, height);
  const BITMAPINFOHEADER header = makeBgrPictureHeader(width, height);
  Canvas canvas(kWindowWidth, kWindowHeight);
  ClientMasks masks;
  masks.add("quarter", 0, 0, ClientMasks::kSpaceWidth / 2, ClientMasks::kSpaceHeight / 2);
  masks.setColour(255, 0, 0, 0.5);
  uint64_t pictureId = 0;
  for (auto _ : state) {
    canvas.drawPicture(header, picture.data(), ++pictureId, {0, 0, width, height},
                       {0, 0, kWindowWidth, kWindowHeight},
                       masked ? masks.tintFor(width, height) : nullptr);
    benchmark::DoNotOptimize(canvas.pixel(0, 0));
  }
}
BENCHMARK(BM_NewPictureMasks)
    ->ArgNames({"w", "h", "masked"})
    ->Args({1280, 720, 0})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
