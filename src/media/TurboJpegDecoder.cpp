#include "media/TurboJpegDecoder.h"

#include <turbojpeg.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "common/DebugTrace.h"

namespace vexa {

namespace {

// The accurate IDCT stays within 1 of libavcodec's samples; the fast one strays by 3 at quality
// 80 and by 7 at 95, for some 5% less time.
// A hostile progressive picture of thousands of scans would take seconds: such a picture fails.
constexpr int kDecodeFlags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS;

struct SubsamplingFormat {
  int subsampling;
  AVPixelFormat format;
};
constexpr SubsamplingFormat kSubsamplingFormats[] = {
    {TJSAMP_420, AV_PIX_FMT_YUVJ420P}, {TJSAMP_422, AV_PIX_FMT_YUVJ422P},
    {TJSAMP_444, AV_PIX_FMT_YUVJ444P}, {TJSAMP_440, AV_PIX_FMT_YUVJ440P},
    {TJSAMP_411, AV_PIX_FMT_YUVJ411P}, {TJSAMP_GRAY, AV_PIX_FMT_GRAY8},
};

AVPixelFormat formatOf(int subsampling) {
  for (const SubsamplingFormat& entry : kSubsamplingFormats) {
    if (entry.subsampling == subsampling) return entry.format;
  }
  return AV_PIX_FMT_NONE;
}

struct JpegHeader {
  int width = 0;
  int height = 0;
  int subsampling = -1;
  int colourspace = -1;
};

int planeCount(int subsampling) {
  return subsampling == TJSAMP_GRAY ? 1 : 3;
}

// TurboJPEG writes whole blocks: every plane's buffer must hold the rounded-up plane size.
bool planesHoldDecodedSize(AVFrame* frame, int subsampling) {
  for (int plane = 0; plane < planeCount(subsampling); ++plane) {
    const int rowBytes = tjPlaneWidth(plane, frame->width, subsampling);
    const int rows = tjPlaneHeight(plane, frame->height, subsampling);
    const AVBufferRef* buffer = av_frame_get_plane_buffer(frame, plane);
    if (rowBytes <= 0 || rows <= 0 || buffer == nullptr || frame->linesize[plane] < rowBytes) {
      return false;
    }
    const uint8_t* end =
        frame->data[plane] + size_t(frame->linesize[plane]) * size_t(rows - 1) + size_t(rowBytes);
    if (frame->data[plane] < buffer->data || end > buffer->data + buffer->size) return false;
  }
  return true;
}

bool reusable(AVFrame* frame, const JpegHeader& header, AVPixelFormat format) {
  return frame->width == header.width && frame->height == header.height &&
         frame->format == format && av_frame_is_writable(frame) &&
         planesHoldDecodedSize(frame, header.subsampling);
}

// A buffer made for the size rounded up to whole blocks, then the frame given its real size.
bool allocate(AVFrame* frame, const JpegHeader& header, AVPixelFormat format) {
  av_frame_unref(frame);
  frame->width = tjPlaneWidth(0, header.width, header.subsampling);
  frame->height = tjPlaneHeight(0, header.height, header.subsampling);
  frame->format = format;
  const bool allocated = av_frame_get_buffer(frame, 0) >= 0;
  frame->width = header.width;
  frame->height = header.height;
  return allocated && planesHoldDecodedSize(frame, header.subsampling);
}

}  // namespace

TurboJpegDecoder::TurboJpegDecoder(int64_t maxPixels)
    : handle_(tjInitDecompress()), maxPixels_(maxPixels) {
  if (handle_ == nullptr) DebugTrace("no TurboJPEG decompressor: %s", tjGetErrorStr2(nullptr));
}

TurboJpegDecoder::~TurboJpegDecoder() {
  if (handle_ != nullptr) tjDestroy(handle_);
}

// A header that fails to read leaves the handle halfway through it, and the next header it reads
// comes back empty; a fresh handle starts clean.
void TurboJpegDecoder::renewHandle() {
  if (handle_ != nullptr) tjDestroy(handle_);
  handle_ = tjInitDecompress();
}

bool TurboJpegDecoder::decode(std::span<const uint8_t> jpeg, AVFrame* frame) {
  if (handle_ == nullptr || frame == nullptr || jpeg.empty()) return false;
  JpegHeader header;
  if (tjDecompressHeader3(handle_, jpeg.data(), jpeg.size(), &header.width, &header.height,
                          &header.subsampling, &header.colourspace) != 0 ||
      header.width <= 0 || header.height <= 0) {
    renewHandle();
    return false;
  }
  if (int64_t(header.width) * int64_t(header.height) > maxPixels_) {
    DebugTrace("JPEG of %dx%d refused", header.width, header.height);
    return false;
  }
  const AVPixelFormat format = formatOf(header.subsampling);
  if ((header.colourspace != TJCS_YCbCr && header.colourspace != TJCS_GRAY) ||
      format == AV_PIX_FMT_NONE) {
    return false;
  }
  if (!reusable(frame, header, format) && !allocate(frame, header, format)) return false;
  frame->color_range = AVCOL_RANGE_JPEG;
  frame->colorspace = AVCOL_SPC_BT470BG;
  frame->chroma_location = AVCHROMA_LOC_CENTER;

  if (tjDecompressToYUVPlanes(handle_, jpeg.data(), jpeg.size(), frame->data, header.width,
                              frame->linesize, header.height, kDecodeFlags) != 0 &&
      tjGetErrorCode(handle_) == TJERR_FATAL) {
    DebugTrace("JPEG not decoded: %s", tjGetErrorStr2(handle_));
    return false;
  }
  return true;
}

}  // namespace vexa
