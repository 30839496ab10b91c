// The MJPEG picture path, parse + decode + draw (from the decoded planes into the window), beside FFmpeg's own decode and conversion to
// BGR of the same JPEGs. Rates are pictures per CPU-second.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "camera/JpegEncoder.h"
#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "display/ViewFrame.h"
#include "media/MjpegDecoder.h"
#include "protocol/http/MjpegStreamParser.h"
#include "net/SocketWorker.h"

namespace {

constexpr int kPicturesPerStream = 30;
constexpr int kJpegQuality = 80;
// The window the pictures are drawn into, as a desktop viewer would have it.
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;
constexpr const char* kBoundary = "vexaframe";

struct Stream {
  std::vector<std::vector<uint8_t>> jpegs;
  std::string multipart;  // the same pictures as a camera sends them
};

const Stream& streamFor(int width, int height) {
  static std::map<std::pair<int, int>, Stream> streams;
  Stream& stream = streams[{width, height}];
  if (!stream.jpegs.empty()) return stream;
  vexa::camera::PictureGenerator generator(width, height);
  vexa::camera::JpegEncoder encoder;
  encoder.open(width, height, kJpegQuality);
  stream.multipart = vexa::camera::MjpegServer::streamAnswerHeader(kBoundary);
  for (int i = 0; i < kPicturesPerStream; ++i) {
    stream.jpegs.push_back(encoder.encode(generator.yuvFrame(uint32_t(i) * 7)));
    const auto& jpeg = stream.jpegs.back();
    stream.multipart += "--" + std::string(kBoundary) + "\r\n";
    stream.multipart += vexa::camera::MjpegServer::partHeader(jpeg.size());
    stream.multipart.append(jpeg.begin(), jpeg.end());
    stream.multipart += "\r\n";
  }
  stream.multipart += "--" + std::string(kBoundary) + "\r\n";
  return stream;
}

// Parse in reads of the worker's size, decode each picture, draw it into the window's canvas.
void BM_VexaMjpegPath(benchmark::State& state) {
  const Stream& stream = streamFor(int(state.range(0)), int(state.range(1)));
  vexa::MjpegDecoder decoder;
  decoder.Open();
  vexa::ViewFrame frame(kWindowWidth, kWindowHeight);
  uint64_t pictureId = 0;
  int64_t pictures = 0;
  for (auto _ : state) {
    vexa::MjpegStreamParser parser;
    vexa::ByteBuffer received;
    std::vector<uint8_t> jpeg;
    for (size_t at = 0; at < stream.multipart.size(); at += vexa::SocketWorker::kReceiveChunk) {
      const size_t n = std::min<size_t>(vexa::SocketWorker::kReceiveChunk, stream.multipart.size() - at);
      received.append(stream.multipart.data() + at, int32_t(n));
      parser.parse(received, [&](std::span<const uint8_t> picture) {
        jpeg.assign(picture.begin(), picture.end());
        vexa::PictureLease lent = decoder.decode(jpeg);
        if (!lent) {
          state.SkipWithError("decode failed");
          return;
        }
        const vexa::ShownPicture shown{vexa::makeBgrPictureHeader(lent.width(), lent.height()),
                                       nullptr, std::move(lent)};
        frame.update(vexa::ViewFrame::kStretch, shown.header.biWidth, shown.header.biHeight);
        frame.canvas().drawPicture(shown, ++pictureId,
                                   {0, 0, shown.header.biWidth, shown.header.biHeight},
                                   frame.videoRect());
        ++pictures;
      });
    }
  }
  state.counters["pictures_per_cpu_s"] = benchmark::Counter(double(pictures), benchmark::Counter::kIsRate);
}

// FFmpeg's own decode of the same JPEGs with conversion to BGR, as a client that wants BGR does it.
void BM_FfmpegDecodeToBgr(benchmark::State& state) {
  const Stream& stream = streamFor(int(state.range(0)), int(state.range(1)));
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  avcodec_open2(context, codec, nullptr);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  SwsContext* scaler = nullptr;
  std::vector<uint8_t> bgr;
  int64_t pictures = 0;
  for (auto _ : state) {
    for (const auto& jpeg : stream.jpegs) {
      av_new_packet(packet, int(jpeg.size()));
      std::copy(jpeg.begin(), jpeg.end(), packet->data);
      avcodec_send_packet(context, packet);
      av_packet_unref(packet);
      while (avcodec_receive_frame(context, frame) == 0) {
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format),
                                      frame->width, frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                      nullptr, nullptr, nullptr);
        bgr.resize(size_t(frame->width) * frame->height * 3);
        uint8_t* planes[1] = {bgr.data()};
        const int strides[1] = {frame->width * 3};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        ++pictures;
      }
    }
  }
  state.counters["pictures_per_cpu_s"] = benchmark::Counter(double(pictures), benchmark::Counter::kIsRate);
  sws_freeContext(scaler);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
}

BENCHMARK(BM_VexaMjpegPath)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegDecodeToBgr)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
