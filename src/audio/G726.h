#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vexa::audio {

// ITU-T G.726 ADPCM at 16, 24, 32 or 40 kbit/s (2 to 5 bits per code word) with 16-bit linear
// samples on the PCM side. Code words travel packed least significant bits first (RFC 3551
// section 4.5.4): four 2-bit words per byte, eight 3-bit words per 3 bytes, two 4-bit words per
// byte (low nibble first), eight 5-bit words per 5 bytes.

constexpr int kG726MinBits = 2;
constexpr int kG726MaxBits = 5;

constexpr bool isG726Bits(int bits) {
  return bits >= kG726MinBits && bits <= kG726MaxBits;
}
// Bytes and code words of one packing group: the smallest whole number of bytes that holds whole
// code words.
size_t g726GroupBytes(int bits);
size_t g726GroupCodes(int bits);

// The adaptive quantiser and predictor that encoder and decoder both run, so that a decoder fed
// an encoder's code words tracks the encoder exactly.
class G726State {
 public:
  explicit G726State(int bits = 4) { reset(bits); }

  // Back to the state the standard starts from, at a rate given in bits per code word (2 to 5;
  // anything else is taken as 4).
  void reset(int bits);
  int bits() const { return bits_; }

  // One code word (its low bits() bits) to a 16-bit sample.
  int16_t decode(uint8_t code);
  // One 16-bit sample to a code word.
  uint8_t encode(int16_t sample);

 private:
  // A value in the standard's floating-point format: sign, exponent (bit length of the
  // magnitude) and 6-bit mantissa normalised to [1/2, 1), zero being 1/2 with exponent 0. Kept
  // unpacked, for dq, sr and the predictor coefficients alike, so that the eight products of
  // every prediction find their factors ready.
  struct Float {
    int16_t mantissa = 32;
    int8_t exponent = 0;
    bool negative = false;

    static Float fromMagnitude(bool negative, int magnitude);
    // A predictor coefficient: 16-bit, 14 fraction bits.
    static Float fromCoefficient(int coefficient);
    // FMULT: the product, 16-bit with the 14-bit scale's fraction bits.
    int times(Float other) const;
  };
  struct RateTables;
  static const RateTables& tablesFor(int bits);

  struct Prediction {
    int se = 0;   // signal estimate
    int sez = 0;  // its zero-predictor part
    int y = 0;    // quantiser scale factor
  };
  Prediction predict() const;
  uint8_t quantize(int difference, int y) const;
  // Reconstructs the signal for a code word and adapts the state to it; the reconstructed
  // signal, 16-bit two's complement on the 14-bit scale.
  int reconstructAndAdapt(uint8_t code, const Prediction& prediction);
  // The coefficients' float form, refreshed whenever they change.
  void convertCoefficients();

  int bits_ = 4;
  const RateTables* tables_ = nullptr;  // the rate's, looked up once in reset
  int yl_ = 0;              // slow ("locked") scale factor, 6 more fraction bits than yu
  int yu_ = 0;              // fast ("unlocked") scale factor
  int dms_ = 0, dml_ = 0;   // short- and long-term averages of the code magnitude function
  int ap_ = 0;              // speed control between yu and yl
  std::array<int, 2> a_{};  // pole predictor coefficients
  std::array<int, 6> b_{};  // zero predictor coefficients
  std::array<Float, 2> aFloat_{};
  std::array<Float, 6> bFloat_{};
  std::array<bool, 2> pk_{};
  std::array<Float, 6> dq_{};  // past quantised differences
  std::array<Float, 2> sr_{};  // past reconstructed signals
  bool td_ = false;            // tone detected
};

class G726Decoder {
 public:
  explicit G726Decoder(int bits = 4) : state_(bits) {}
  void reset(int bits) { state_.reset(bits); }
  int bits() const { return state_.bits(); }

  // Unpacks and decodes whole packing groups. The samples written; 0 (state untouched) when the
  // input is not a whole number of groups or the output cannot hold every sample.
  size_t decode(std::span<const uint8_t> packed, std::span<int16_t> samples);

 private:
  G726State state_;
};

class G726Encoder {
 public:
  explicit G726Encoder(int bits = 4) : state_(bits) {}
  void reset(int bits) { state_.reset(bits); }
  int bits() const { return state_.bits(); }

  // Encodes and packs whole groups of samples. The bytes written; 0 (state untouched) when the
  // samples are not a whole number of groups or the output cannot hold them.
  size_t encode(std::span<const int16_t> samples, std::span<uint8_t> packed);

 private:
  G726State state_;
};

}  // namespace vexa::audio
