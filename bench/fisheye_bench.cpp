// Fisheye dewarping: a 1920x1080 circle picture into a 1280x720 pan/tilt/zoom view by the engine,
// beside the filter library's v360 doing the same view on the same picture as planar GBR (it
// takes no packed BGR), one thread, the filter alone timed; a memcpy of the output as the floor;
// the dewarp with the painting; and the map rebuilds of every mode at 1280x720.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/fisheye/FisheyeEngine.h"

namespace {

using namespace vexa;

constexpr int kSourceWidth = 1920;
constexpr int kSourceHeight = 1080;
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 720;
constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;
constexpr int kDefaultZoomIndex = 2;

std::vector<uint8_t> smoothBgr() {
  std::vector<uint8_t> bits(size_t(kSourceWidth) * kSourceHeight * kBytesPerPixel);
  for (int y = 0; y < kSourceHeight; ++y) {
    for (int x = 0; x < kSourceWidth; ++x) {
      uint8_t* p = &bits[(size_t(y) * kSourceWidth + x) * kBytesPerPixel];
      p[0] = uint8_t(128 + 100 * std::sin(x / 37.0));
      p[1] = uint8_t(128 + 100 * std::cos(y / 29.0));
      p[2] = uint8_t(128 + 100 * std::sin((x + y) / 53.0));
    }
  }
  return bits;
}

struct Direction {
  int pan;
  int tilt;
};
Direction directionOf(const benchmark::State& state) {
  return {int(state.range(0)), int(state.range(1))};
}

FisheyeEngine ptzEngine(Direction direction) {
  FisheyeEngine engine;
  engine.setModeFromText("PTZ");
  engine.setWindowVideoRect({0, 0, kViewWidth, kViewHeight});
  engine.view(0) = {direction.pan, direction.tilt, kDefaultZoomIndex, 0};
  return engine;
}

void BM_VexaDewarp(benchmark::State& state) {
  const std::vector<uint8_t> source = smoothBgr();
  const BITMAPINFOHEADER header = makeBgrPictureHeader(kSourceWidth, kSourceHeight);
  std::vector<uint8_t> output(kDisplayPictureBytes);
  FisheyeEngine engine = ptzEngine(directionOf(state));
  BITMAPINFOHEADER outputHeader{};
  for (auto _ : state) {
    engine.dewarp(header, source.data(), output.data(), output.size(), outputHeader);
    benchmark::DoNotOptimize(output.data());
  }
}
BENCHMARK(BM_VexaDewarp)->Args({0, 0})->Args({45, 60})->Unit(benchmark::kMillisecond);

// What a new picture costs the window: the dewarp, then painting the view into a video rectangle
// of its own size, or stretched to 1920x1080.
void BM_DewarpAndPaint(benchmark::State& state) {
  const std::vector<uint8_t> source = smoothBgr();
  const BITMAPINFOHEADER header = makeBgrPictureHeader(kSourceWidth, kSourceHeight);
  std::vector<uint8_t> output(kDisplayPictureBytes);
  FisheyeEngine engine = ptzEngine({45, 60});
  const Rect video{0, 0, int(state.range(0)), int(state.range(1))};
  Canvas canvas(video.width, video.height);
  BITMAPINFOHEADER outputHeader{};
  uint64_t pictureId = 0;
  for (auto _ : state) {
    engine.dewarp(header, source.data(), output.data(), output.size(), outputHeader);
    canvas.drawPicture(outputHeader, output.data(), ++pictureId,
                       {0, 0, outputHeader.biWidth, outputHeader.biHeight}, video);
    benchmark::DoNotOptimize(canvas.pixel(0, 0));
  }
}
BENCHMARK(BM_DewarpAndPaint)
    ->Args({kViewWidth, kViewHeight})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

void BM_MemcpyOutput(benchmark::State& state) {
  std::vector<uint8_t> from(size_t(kViewWidth) * kViewHeight * kBytesPerPixel, 7);
  std::vector<uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyOutput)->Unit(benchmark::kMillisecond);

// The layout the engine makes for a 1920x1080 stream of the default calibration.
FisheyeLayout layoutFor(int mode) {
  FisheyeLayout layout;
  layout.mode = mode;
  layout.width = kViewWidth;
  layout.height = kViewHeight;
  layout.source.width = kSourceWidth;
  layout.source.height = kSourceHeight;
  layout.source.centre =
      effectiveCentre(kNormal, FisheyeEngine::kDefaultCentreX, FisheyeEngine::kDefaultCentreY);
  layout.source.mapping = SensorMapping(kSensor1920x1080, kNormal, kSourceWidth, kSourceHeight);
  layout.diameter = double(FisheyeEngine::kDefaultDiameter);
  layout.rotateBias = FisheyeEngine::kDefaultRotateBiasDegrees / kRadiansToDegrees;
  return layout;
}

void BM_MapRebuild(benchmark::State& state) {
  const FisheyeLayout layout = layoutFor(int(state.range(0)));
  FisheyeViewStates views{};
  views[0] = {45, 60, kDefaultZoomIndex, 0};
  FisheyeViews maps;
  for (auto _ : state) {
    benchmark::DoNotOptimize(maps.update(layout, views, true));
  }
}
BENCHMARK(BM_MapRebuild)
    ->ArgName("mode")
    ->Arg(kFisheyePtz)
    ->Arg(kFisheyeQuad)
    ->Arg(kFisheyePanorama)
    ->Arg(kFisheye360)
    ->Arg(kFisheyePanoPtz)
    ->Unit(benchmark::kMillisecond);

// One v360 graph: buffer -> v360 -> buffersink, single threaded.
class V360Graph {
 public:
  V360Graph(Direction direction, const char* interpolation) {
    graph_ = avfilter_graph_alloc();
    if (!graph_) return;
    graph_->nb_threads = 1;
    char sourceArgs[128];
    std::snprintf(sourceArgs, sizeof sourceArgs,
                  "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", kSourceWidth,
                  kSourceHeight, int(AV_PIX_FMT_GBRP));
    const std::string v360 = v360Options(direction, interpolation);
    AVFilterContext* filter = nullptr;
    ok_ = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", sourceArgs,
                                       nullptr, graph_) >= 0 &&
          avfilter_graph_create_filter(&filter, avfilter_get_by_name("v360"), "v360", v360.c_str(),
                                       nullptr, graph_) >= 0 &&
          avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph_) >= 0 &&
          avfilter_link(source_, 0, filter, 0) >= 0 && avfilter_link(filter, 0, sink_, 0) >= 0 &&
          avfilter_graph_config(graph_, nullptr) >= 0;
  }
  ~V360Graph() { avfilter_graph_free(&graph_); }
  V360Graph(const V360Graph&) = delete;
  V360Graph& operator=(const V360Graph&) = delete;

  bool ok() const { return ok_; }
  // Pushes a frame through and takes the result; false on any failure.
  bool run(AVFrame* input, AVFrame* output) {
    if (av_buffersrc_add_frame_flags(source_, input, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return false;
    const bool got = av_buffersink_get_frame(sink_, output) >= 0;
    av_frame_unref(output);
    return got;
  }

 private:
  // The stereographic circle of the picture to a flat view of the engine's field.
  static std::string v360Options(Direction direction, const char* interpolation) {
    const double focal = kLensFocal;  // the stream is unscaled sensor pixels
    const double zoom = fisheyeZoomFactor(kDefaultZoomIndex);
    const auto degrees = [](double radians) { return radians * kRadiansToDegrees; };
    char text[512];
    std::snprintf(text, sizeof text,
                  "input=sg:output=flat:ih_fov=%f:iv_fov=%f:h_fov=%f:v_fov=%f:roll=%d:pitch=%d:"
                  "rorder=rpy:w=%d:h=%d:interp=%s",
                  degrees(4 * std::atan(kSourceWidth / (4 * focal))),
                  degrees(4 * std::atan(kSourceHeight / (4 * focal))),
                  degrees(2 * std::atan(kViewWidth / 2 / (zoom * focal))),
                  degrees(2 * std::atan(kViewHeight / 2 / (zoom * focal))), direction.pan,
                  direction.tilt, kViewWidth, kViewHeight, interpolation);
    return text;
  }

  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  bool ok_ = false;
};

// The benchmark picture as planar G, B, R.
AVFrame* gbrpFrame() {
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_GBRP;
  frame->width = kSourceWidth;
  frame->height = kSourceHeight;
  if (av_frame_get_buffer(frame, 0) < 0) {
    av_frame_free(&frame);
    return nullptr;
  }
  const std::vector<uint8_t> bgr = smoothBgr();
  constexpr int kPlaneOfChannel[3] = {1, 0, 2};  // B, G, R -> planes G=0, B=1, R=2
  for (int y = 0; y < kSourceHeight; ++y) {
    for (int x = 0; x < kSourceWidth; ++x) {
      // Rows from the top, as the engine sees the bottom-up picture.
      const uint8_t* p = &bgr[(size_t(kSourceHeight - 1 - y) * kSourceWidth + x) * kBytesPerPixel];
      for (int c = 0; c < 3; ++c) {
        const int plane = kPlaneOfChannel[c];
        frame->data[plane][size_t(y) * size_t(frame->linesize[plane]) + size_t(x)] = p[c];
      }
    }
  }
  return frame;
}

void runV360(benchmark::State& state, const char* interpolation) {
  av_log_set_level(AV_LOG_ERROR);
  V360Graph graph(directionOf(state), interpolation);
  AVFrame* input = gbrpFrame();
  AVFrame* output = av_frame_alloc();
  if (!graph.ok() || !input || !output) {
    state.SkipWithError("v360 is not available");
  } else {
    int64_t pts = 0;
    for (auto _ : state) {
      input->pts = pts++;
      if (!graph.run(input, output)) {
        state.SkipWithError("v360 failed");
        break;
      }
    }
  }
  av_frame_free(&input);
  av_frame_free(&output);
}

void BM_V360Nearest(benchmark::State& state) {
  runV360(state, "near");
}
BENCHMARK(BM_V360Nearest)->Args({0, 0})->Args({45, 60})->Unit(benchmark::kMillisecond);

void BM_V360Bilinear(benchmark::State& state) {
  runV360(state, "line");
}
BENCHMARK(BM_V360Bilinear)->Args({0, 0})->Args({45, 60})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
