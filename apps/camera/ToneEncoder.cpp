#include "camera/ToneEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <numbers>

#include "camera/FfmpegAudio.h"
#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

// Encoders that take any frame size (G.711) are fed in slices of this many samples.
constexpr int kDefaultFrameSamples = 160;
constexpr int kSampleAlignment = 8;
constexpr size_t kMaxSliceSamples = 8000;  // one second

}  // namespace

ToneEncoder::~ToneEncoder() {
  close();
}

int16_t ToneEncoder::toneSample(uint64_t n) {
  const uint64_t phase = n % (kAudioClockRate / kToneHz);
  const double angle = 2.0 * std::numbers::pi * double(phase) * kToneHz / kAudioClockRate;
  return int16_t(std::lround(kAmplitude * std::sin(angle)));
}

bool ToneEncoder::open(AudioCodec codec) {
  close();
  const AudioCodecInfo* info = audioCodecInfo(codec);
  if (!info) return false;
  const AVCodec* encoder = findAudioEncoder(*info);
  if (!encoder) return false;
  context_ = allocateAudioContext(encoder, *info);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    close();
    return false;
  }
  if (avcodec_open2(context_, encoder, nullptr) < 0) {
    DebugTrace("ToneEncoder: cannot open %s\n", encoder->name);
    close();
    return false;
  }
  bitsPerSample_ = info->bitsPerSample;
  frameSamples_ = context_->frame_size > 0 ? context_->frame_size : kDefaultFrameSamples;
  frame_->format = AV_SAMPLE_FMT_S16;
  frame_->nb_samples = frameSamples_;
  frame_->sample_rate = kAudioClockRate;
  if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0 ||
      av_frame_get_buffer(frame_, 0) < 0) {
    close();
    return false;
  }
  return true;
}

void ToneEncoder::close() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
  bitsPerSample_ = 0;
  frameSamples_ = 0;
  nextSample_ = 0;
  encoded_.clear();
}

bool ToneEncoder::encodeOneFrame() {
  if (av_frame_make_writable(frame_) < 0) return false;
  auto* samples = reinterpret_cast<int16_t*>(frame_->data[0]);
  for (int i = 0; i < frameSamples_; ++i) samples[i] = toneSample(nextSample_ + uint64_t(i));
  frame_->pts = int64_t(nextSample_);
  nextSample_ += uint64_t(frameSamples_);
  if (avcodec_send_frame(context_, frame_) < 0) return false;
  bool produced = false;
  while (avcodec_receive_packet(context_, packet_) == 0) {
    encoded_.insert(encoded_.end(), packet_->data, packet_->data + packet_->size);
    av_packet_unref(packet_);
    produced = true;
  }
  return produced;
}

std::vector<uint8_t> ToneEncoder::encodeNext(int sampleCount) {
  if (!context_ || sampleCount <= 0 || sampleCount % kSampleAlignment != 0 ||
      size_t(sampleCount) > kMaxSliceSamples) {
    return {};
  }
  const size_t wanted = size_t(sampleCount) * size_t(bitsPerSample_) / 8;
  while (encoded_.size() < wanted) {
    if (!encodeOneFrame()) return {};
  }
  std::vector<uint8_t> slice(encoded_.begin(), encoded_.begin() + std::ptrdiff_t(wanted));
  encoded_.erase(encoded_.begin(), encoded_.begin() + std::ptrdiff_t(wanted));
  return slice;
}

}  // namespace vexa::camera
