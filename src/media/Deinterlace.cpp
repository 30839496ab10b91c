#include "media/Deinterlace.h"

#include <algorithm>
#include <atomic>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace vexa {

namespace {

std::atomic<bool> deinterlaceFlag{false};

constexpr int kPlaneAlignment = 32;
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

bool blendFields(const AVFrame& source, uint8_t* buffer, size_t capacity, PlanarPicture* out) {
  const auto format = AVPixelFormat(source.format);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  if (descriptor == nullptr || !hasByteSamples(*descriptor) || buffer == nullptr) return false;
  const int needed = av_image_get_buffer_size(format, source.width, source.height, kPlaneAlignment);
  if (needed < 0 || size_t(needed) > capacity) return false;
  int rowBytes[4] = {};
  if (av_image_fill_linesizes(rowBytes, format, source.width) < 0) return false;
  PlanarPicture picture;
  if (av_image_fill_arrays(picture.planes, picture.linesizes, buffer, format, source.width,
                           source.height, kPlaneAlignment) < 0) {
    return false;
  }
  const int planeCount = av_pix_fmt_count_planes(format);
  for (int p = 0; p < planeCount; ++p) {
    const bool chroma = p >= kChromaPlaneFirst && p <= kChromaPlaneLast;
    const int rows =
        chroma ? AV_CEIL_RSHIFT(source.height, descriptor->log2_chroma_h) : source.height;
    blendPlane(source.data[p], source.linesize[p], picture.planes[p], picture.linesizes[p],
               rowBytes[p], rows);
  }
  *out = picture;
  return true;
}

}  // namespace vexa
