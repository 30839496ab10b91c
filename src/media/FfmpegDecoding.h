#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vexa::ffmpeg {

// An opened decoder context for codec, refusing pictures of more than maxPixels before it
// allocates them; nullptr when it cannot be allocated or opened.
AVCodecContext* openDecoderContext(const AVCodec* codec, int flags2, int64_t maxPixels);

enum class DecodeResult { kPicture, kNoPicture, kError };

// Feeds data as one whole packet and leaves the newest picture it produced in frame; spare is
// scratch for draining. The packet is copied into padded memory, so data needs no padding.
DecodeResult decodePacket(AVCodecContext* context, AVPacket* packet, const uint8_t* data,
                          int length, AVFrame* frame, AVFrame* spare);

}  // namespace vexa::ffmpeg
