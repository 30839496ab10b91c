#pragma once

#include "camera/AudioCodec.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vexa::camera {

// FFmpeg's encoder and decoder of the codec; nullptr when FFmpeg lacks them.
const AVCodec* findAudioEncoder(const AudioCodecInfo& info);
const AVCodec* findAudioDecoder(const AudioCodecInfo& info);

// A context, not yet opened, for the codec's 8000 Hz mono 16-bit samples at its code word size;
// nullptr when it cannot be allocated. The caller frees it.
AVCodecContext* allocateAudioContext(const AVCodec* codec, const AudioCodecInfo& info);

// An opened encoder or decoder of the codec with a frame and a packet to pass through it.
struct OpenedAudioCodec {
  OpenedAudioCodec() = default;
  OpenedAudioCodec(const OpenedAudioCodec&) = delete;
  OpenedAudioCodec& operator=(const OpenedAudioCodec&) = delete;
  ~OpenedAudioCodec() { close(); }

  // Closes first; false, closed, when any part cannot be made or opened.
  bool open(const AVCodec* codec, const AudioCodecInfo& info);
  void close();

  AVCodecContext* context = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
};

}  // namespace vexa::camera
