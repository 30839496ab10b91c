#pragma once

// Decoded pictures as decoders keep them (planar YUV in an AVFrame), and their conversion to
// bottom-up BGR all at once, as the picture path did before it learned to wait.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "media/BgrConverter.h"

namespace vexa::test {

struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// Sample (plane, x, y) of each plane at its own resolution.
using SampleAt = std::function<uint8_t(int plane, int x, int y)>;

// Luma with detail in both directions; chroma changing by at most one between neighbouring
// samples, so that where a chroma sample is picked for a pixel moves its colour by one step at
// most; different in every plane.
inline uint8_t smoothSample(int plane, int x, int y) {
  if (plane == 0) return uint8_t(16 + (x * 3 + y * 5) % 220);
  const int slow = std::min(120, x / 16 + y / 16);
  return plane == 1 ? uint8_t(60 + slow) : uint8_t(190 - slow);
}

inline FramePtr makePlanes(int width, int height, AVPixelFormat format,
                           const SampleAt& sample = smoothSample) {
  FramePtr frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  for (int plane = 0; plane < descriptor->nb_components && plane < 3; ++plane) {
    const int shiftX = plane == 0 ? 0 : descriptor->log2_chroma_w;
    const int shiftY = plane == 0 ? 0 : descriptor->log2_chroma_h;
    for (int y = 0; y < AV_CEIL_RSHIFT(height, shiftY); ++y) {
      for (int x = 0; x < AV_CEIL_RSHIFT(width, shiftX); ++x) {
        frame->data[plane][y * frame->linesize[plane] + x] = sample(plane, x, y);
      }
    }
  }
  return frame;
}

// The whole picture converted to bottom-up BGR with these scaler flags.
inline std::vector<uint8_t> eagerBgr(const AVFrame& frame, int swsFlags) {
  const int rowBytes = frame.width * 3;
  std::vector<uint8_t> bgr(size_t(rowBytes) * size_t(frame.height));
  BgrConverter converter(swsFlags);
  if (!converter.convert(frame, bgr.data() + size_t(frame.height - 1) * rowBytes, -rowBytes)) {
    bgr.clear();
  }
  return bgr;
}

}  // namespace vexa::test
