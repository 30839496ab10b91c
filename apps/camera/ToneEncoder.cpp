#include "camera/ToneEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <numbers>

#include "camera/FfmpegAudio.h"

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
  if (!codec_.open(findAudioEncoder(*info), *info)) return false;
  bitsPerSample_ = info->bitsPerSample;
  const int encoderFrame = codec_.context->frame_size;
  frameSamples_ = encoderFrame > 0 ? encoderFrame : kDefaultFrameSamples;
  codec_.frame->format = AV_SAMPLE_FMT_S16;
  codec_.frame->nb_samples = frameSamples_;
  codec_.frame->sample_rate = kAudioClockRate;
  if (av_channel_layout_copy(&codec_.frame->ch_layout, &codec_.context->ch_layout) < 0 ||
      av_frame_get_buffer(codec_.frame, 0) < 0) {
    close();
    return false;
  }
  return true;
}

void ToneEncoder::close() {
  codec_.close();
  bitsPerSample_ = 0;
  frameSamples_ = 0;
  nextSample_ = 0;
  encoded_.clear();
}

bool ToneEncoder::encodeOneFrame() {
  if (av_frame_make_writable(codec_.frame) < 0) return false;
  auto* samples = reinterpret_cast<int16_t*>(codec_.frame->data[0]);
  for (int i = 0; i < frameSamples_; ++i) samples[i] = toneSample(nextSample_ + uint64_t(i));
  codec_.frame->pts = int64_t(nextSample_);
  nextSample_ += uint64_t(frameSamples_);
  if (avcodec_send_frame(codec_.context, codec_.frame) < 0) return false;
  bool produced = false;
  while (avcodec_receive_packet(codec_.context, codec_.packet) == 0) {
    const AVPacket& packet = *codec_.packet;
    encoded_.insert(encoded_.end(), packet.data, packet.data + packet.size);
    av_packet_unref(codec_.packet);
    produced = true;
  }
  return produced;
}

std::vector<uint8_t> ToneEncoder::encodeNext(int sampleCount) {
  if (!codec_.context || sampleCount <= 0 || sampleCount % kSampleAlignment != 0 ||
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
