#pragma once

// FFmpeg's audio decoders as the independent reference, a test signal, and RTP audio packets.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "audio/AudioCodec.h"
#include "audio/G726.h"
#include "support/AudioDecoding.h"
#include "support/RtpPackets.h"

namespace vexa::test {

inline const bool kQuietFfmpegAudio = (av_log_set_level(AV_LOG_FATAL), true);

// One stream of bytes decoded by FFmpeg in one packet; empty when FFmpeg cannot. Its "g726le"
// packs least significant bits first, as RFC 3551 does (its "g726" is the other order).
inline std::vector<int16_t> ffmpegDecode(uint8_t codec, const std::vector<uint8_t>& bytes) {
  const char* name = codec == audio::kCodecPcmu   ? "pcm_mulaw"
                     : codec == audio::kCodecPcma ? "pcm_alaw"
                                                  : "g726le";
  return ffmpegDecodeAudio(name, audio::bitsPerSample(codec), bytes);
}

// G.726 at bits per code word, the whole stream in one call.
inline std::vector<uint8_t> g726Encode(int bits, const std::vector<int16_t>& samples) {
  audio::G726Encoder encoder(bits);
  std::vector<uint8_t> bytes(samples.size());
  bytes.resize(encoder.encode(samples, bytes));
  return bytes;
}
inline std::vector<int16_t> g726Decode(int bits, const std::vector<uint8_t>& bytes) {
  audio::G726Decoder decoder(bits);
  std::vector<int16_t> samples(bytes.size() * 8 / size_t(bits));
  samples.resize(decoder.decode(bytes, samples));
  return samples;
}

// Speech-like test signal: a tone with a slow amplitude swell and some noise, at a peak level.
inline std::vector<int16_t> testSignal(size_t count, int peak, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * double(i) / 4000.0);
    const double tone = std::sin(2 * std::numbers::pi * 440.0 * double(i) / audio::kSampleRate);
    samples[i] = int16_t(std::lround(peak * (0.75 * swell * tone + 0.25 * noise(random))));
  }
  return samples;
}

// Signal-to-noise ratio of a copy against the original, in dB.
inline double snrDb(const std::vector<int16_t>& original, const std::vector<int16_t>& copy) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < original.size() && i < copy.size(); ++i) {
    signal += double(original[i]) * original[i];
    const double error = double(original[i]) - copy[i];
    noise += error * error;
  }
  return noise == 0 ? 1000.0 : 10.0 * std::log10(signal / noise);
}

// An audio RTP packet: no marker, payload type 0 unless told.
inline std::vector<uint8_t> rtpPacket(uint16_t sequence, const std::vector<uint8_t>& payload,
                                      uint32_t ssrc = 0x11223344, uint8_t payloadType = 0,
                                      uint32_t timestamp = 0) {
  return rtp::test::rtpPacket(payloadType, false, sequence, timestamp, payload, ssrc);
}

// Little-endian 16-bit PCM bytes of samples, as the sound device takes them.
inline std::vector<uint8_t> pcmBytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (const int16_t sample : samples) {
    bytes.push_back(uint8_t(uint16_t(sample)));
    bytes.push_back(uint8_t(uint16_t(sample) >> 8));
  }
  return bytes;
}

}  // namespace vexa::test
