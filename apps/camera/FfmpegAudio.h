#pragma once

#include "camera/AudioCodec.h"

struct AVCodec;
struct AVCodecContext;

namespace vexa::camera {

// FFmpeg's encoder and decoder of the codec; nullptr when FFmpeg lacks them.
const AVCodec* findAudioEncoder(const AudioCodecInfo& info);
const AVCodec* findAudioDecoder(const AudioCodecInfo& info);

// A context, not yet opened, for the codec's 8000 Hz mono 16-bit samples at its code word size;
// nullptr when it cannot be allocated. The caller frees it.
AVCodecContext* allocateAudioContext(const AVCodec* codec, const AudioCodecInfo& info);

}  // namespace vexa::camera
