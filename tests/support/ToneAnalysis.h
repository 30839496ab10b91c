#pragma once

// A test tone for talk and the measures of what came back of it: SNR after alignment, the share
// of energy near the tone, and the samples of a WAV file another program wrote.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "audio/AudioTestSupport.h"

namespace vexa::test {

constexpr double kFullScale = 32767.0;
constexpr double kNoOverlapDb = -1000.0;

// A sine of hz at a peak level in dB below full scale, at 8000 Hz.
inline std::vector<int16_t> talkTone(size_t samples, double hz = 440, double dbfs = -6) {
  const double peak = kFullScale * std::pow(10.0, dbfs / 20.0);
  std::vector<int16_t> tone(samples);
  for (size_t i = 0; i < samples; ++i) {
    tone[i] = int16_t(
        std::lround(peak * std::sin(2 * std::numbers::pi * hz * double(i) / kAudioSampleRate)));
  }
  return tone;
}

inline std::vector<uint8_t> littleEndianBytes(const std::vector<int16_t>& samples) {
  return pcmBytes(samples);
}

// The best SNR of received against sent, received moved by up to maxShift samples either way
// (a receiver may start a packet early or late), over the part both have; kNoOverlapDb when they
// have none.
inline double alignedSnrDb(const std::vector<int16_t>& sent, const std::vector<int16_t>& received,
                           size_t maxShift = 512) {
  // Summed in place: copying the overlap for snrDb at each shift is slow under the sanitizers.
  const auto overlapSnr = [](const int16_t* a, size_t aSize, const int16_t* b, size_t bSize) {
    if (std::min(aSize, bSize) == 0) return kNoOverlapDb;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(aSize, bSize); ++i) {
      const double error = double(a[i]) - b[i];
      signal += double(a[i]) * a[i];
      noise += error * error;
    }
    return noise == 0 ? 1000.0 : 10.0 * std::log10(signal / noise);
  };
  double best = kNoOverlapDb;
  for (size_t shift = 0; shift <= maxShift; ++shift) {
    if (shift < received.size()) {
      best = std::max(best, overlapSnr(sent.data(), sent.size(), received.data() + shift,
                                       received.size() - shift));
    }
    if (shift < sent.size()) {
      best = std::max(best, overlapSnr(sent.data() + shift, sent.size() - shift, received.data(),
                                       received.size()));
    }
  }
  return best;
}

// The share of the energy of samples[skipSamples..] within hz +- halfWidthHz (hz above
// halfWidthHz), Hann-windowed so that a tone between bins stays in its band. Only the band's bins
// are computed; the whole energy comes from the time domain.
inline double bandEnergyShare(const std::vector<int16_t>& samples, double hz, double halfWidthHz,
                              size_t skipSamples) {
  if (samples.size() <= skipSamples) return 0;
  const size_t n = samples.size() - skipSamples;
  std::vector<double> windowed(n);
  double whole = 0;
  for (size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
    windowed[i] = hann * samples[skipSamples + i];
    whole += windowed[i] * windowed[i];
  }
  if (whole == 0) return 0;
  const double binHz = double(kAudioSampleRate) / double(n);
  const auto firstBin = size_t(std::max(1.0, std::ceil((hz - halfWidthHz) / binHz)));
  const auto lastBin = size_t(std::floor((hz + halfWidthHz) / binHz));
  double band = 0;
  for (size_t k = firstBin; k <= lastBin && k < n / 2; ++k) {
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
      // k * i taken modulo n keeps the angle small, and so exact enough, however long the signal.
      const double angle = 2 * std::numbers::pi * double(k * i % n) / double(n);
      re += windowed[i] * std::cos(angle);
      im -= windowed[i] * std::sin(angle);
    }
    band += re * re + im * im;
  }
  // Parseval: the bins sum to n times the energy; a real signal's band is there twice.
  return 2 * band / (double(n) * whole);
}

// The samples of a 16-bit mono WAV file: those of its "data" chunk, as far as the file goes;
// empty when it is no WAV file or has no such chunk.
inline std::vector<int16_t> readWavPcm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
  const auto u32 = [&b](size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
  };
  const auto tagIs = [&b](size_t at, std::string_view tag) {
    return std::string_view(reinterpret_cast<const char*>(&b[at]), 4) == tag;
  };
  constexpr size_t kRiffHead = 12, kChunkHead = 8;
  if (b.size() < kRiffHead || !tagIs(0, "RIFF") || !tagIs(8, "WAVE")) return {};
  for (size_t at = kRiffHead; b.size() - at >= kChunkHead;) {
    const uint64_t size = u32(at + 4);
    if (tagIs(at, "data")) {
      const size_t end = size_t(std::min<uint64_t>(b.size(), at + kChunkHead + size));
      std::vector<int16_t> samples;
      for (size_t i = at + kChunkHead; i + 1 < end; i += 2) {
        samples.push_back(int16_t(uint16_t(b[i] | b[i + 1] << 8)));
      }
      return samples;
    }
    // Chunks are padded to an even length.
    const uint64_t next = at + kChunkHead + size + (size & 1);
    if (next > b.size()) break;
    at = size_t(next);
  }
  return {};
}

}  // namespace vexa::test
