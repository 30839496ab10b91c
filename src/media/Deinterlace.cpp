#include "media/Deinterlace.h"

#include <algorithm>
#include <atomic>

#include "media/FfmpegDecoding.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace vexa {

namespace {

std::atomic<bool> deinterlaceFlag{false};

constexpr int kChromaPlaneFirst = 1;
constexpr int kChromaPlaneLast = 2;

bool hasByteSamples(const AVPixFmtDescriptor& descriptor) {
  if (descriptor.flags &
      (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)) {
    return false;
  }
  for (int c = 0; c < descriptor.nb_components; ++c) {
    if (descriptor.comp[c].depth != 8) return false;
  }
  return descriptor.nb_components > 0;
}

}  // namespace

void SetDeinterlace(bool enabled) {
  deinterlaceFlag.store(enabled, std::memory_order_relaxed);
}

bool deinterlaceEnabled() {
  return deinterlaceFlag.load(std::memory_order_relaxed);
}

void blendPlane(const uint8_t* source, int sourceStride, uint8_t* destination,
                int destinationStride, int rowBytes, int rows) {
  for (int y = 0; y < rows; ++y) {
    const uint8_t* above = source + ptrdiff_t(std::max(y - 1, 0)) * sourceStride;
    const uint8_t* line = source + ptrdiff_t(y) * sourceStride;
    const uint8_t* below = source + ptrdiff_t(std::min(y + 1, rows - 1)) * sourceStride;
    uint8_t* out = destination + ptrdiff_t(y) * destinationStride;
    for (int x = 0; x < rowBytes; ++x) {
      out[x] = uint8_t((above[x] + 2 * line[x] + below[x] + 2) >> 2);
    }
  }
}

bool blendFields(const AVFrame& source, AVFrame* destination) {
  const auto format = AVPixelFormat(source.format);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  if (descriptor == nullptr || !hasByteSamples(*descriptor) || destination == nullptr) return false;
  int rowBytes[4] = {};
  if (av_image_fill_linesizes(rowBytes, format, source.width) < 0) return false;
  if (!ffmpeg::prepareFrame(destination, source.width, source.height, source.format)) return false;
  av_frame_copy_props(destination, &source);
  destination->color_range = source.color_range;
  destination->colorspace = source.colorspace;
  const int planeCount = av_pix_fmt_count_planes(format);
  for (int p = 0; p < planeCount; ++p) {
    const bool chroma = p >= kChromaPlaneFirst && p <= kChromaPlaneLast;
    const int rows =
        chroma ? AV_CEIL_RSHIFT(source.height, descriptor->log2_chroma_h) : source.height;
    blendPlane(source.data[p], source.linesize[p], destination->data[p], destination->linesize[p],
               rowBytes[p], rows);
  }
  return true;
}

}  // namespace vexa
