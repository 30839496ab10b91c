#include "audio/G726.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <numeric>

namespace vexa::audio {

// Quantiser and adaptation tables per rate, indexed by code magnitude. Values are in the
// standard's fixed-point units: decision and reconstruction levels in log2 with 7 fraction bits
// relative to the scale factor, the scale factor multiplier W with 4 fraction bits, F as is.
struct G726State::RateTables {
  std::span<const int16_t> decisionLevels;  // magnitude = how many of these are <= the input
  std::span<const int16_t> reconstruction;
  std::span<const int16_t> scaleMultiplier;
  std::span<const uint8_t> speedFunction;
};

namespace {

constexpr int16_t kDecision16[] = {261};
constexpr int16_t kReconstruct16[] = {116, 365};
constexpr int16_t kMultiplier16[] = {-22, 439};
constexpr uint8_t kSpeed16[] = {0, 7};

constexpr int16_t kDecision24[] = {8, 218, 331};
constexpr int16_t kReconstruct24[] = {-2048, 135, 273, 373};
constexpr int16_t kMultiplier24[] = {-4, 30, 137, 582};
constexpr uint8_t kSpeed24[] = {0, 1, 2, 7};

constexpr int16_t kDecision32[] = {-124, 80, 178, 246, 300, 349, 400};
constexpr int16_t kReconstruct32[] = {-2048, 4, 135, 213, 273, 323, 373, 425};
constexpr int16_t kMultiplier32[] = {-12, 18, 41, 64, 112, 198, 355, 1122};
constexpr uint8_t kSpeed32[] = {0, 0, 0, 1, 1, 1, 3, 7};

constexpr int16_t kDecision40[] = {-122, -16, 68,  139, 198, 250, 298, 339,
                                   378,  413, 445, 475, 502, 528, 553};
constexpr int16_t kReconstruct40[] = {-2048, -66, 28,  104, 169, 224, 274, 318,
                                      358,   395, 429, 459, 488, 514, 539, 566};
constexpr int16_t kMultiplier40[] = {14,  14,  24,  39,  40,  41,  58,  100,
                                     141, 179, 219, 280, 358, 440, 529, 696};
constexpr uint8_t kSpeed40[] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 6};

// Initial values the standard prescribes.
constexpr int kInitialYl = 34816;
constexpr int kInitialYu = 544;
constexpr int kFloatZero = 32;  // 0 in the float format: exponent 0, mantissa 1/2

// Scale factor limits and the speed-control thresholds.
constexpr int kMinYu = 544;
constexpr int kMaxYu = 5120;
constexpr int kFastSpeedLimit = 256;   // ap at or above this: the fast scale factor alone
constexpr int kSlowScaleLimit = 1536;  // y below this keeps adaptation fast
constexpr int kA2Limit = 12288;
constexpr int kA1Margin = 15360;
constexpr int kToneA2 = -11776;  // a2 below this: a tone (modem signal), not speech
constexpr int kA1Step = 192;
constexpr int kBStep = 128;

constexpr int kFloatMantissaBits = 6;
constexpr int kCoefficientMagnitudeMask = 8191;  // FMULT takes 13 bits of a coefficient
constexpr int kMagnitudeMask = 32767;  // the 15 bits a float-format magnitude holds
// FMULT's product mantissa carries 19 fraction bits below the sum of the exponents (at most
// 13 + 15); shifting it up 9 first leaves every exponent a right shift.
constexpr int kProductPreShift = 9;
constexpr int kMaxProductExponent = 28;

// Two's complement wrap to 16 bits, as the standard's adders work.
int wrap16(int value) {
  return int(int16_t(uint16_t(unsigned(value))));
}

int bitLength(int value) {
  return int(std::bit_width(unsigned(value)));
}

// LOG: log2 of a magnitude with 7 fraction bits.
int log2Fixed(int magnitude) {
  const int exponent = std::max(bitLength(magnitude) - 1, 0);
  const int mantissa = ((magnitude << 7) >> exponent) & 127;
  return (exponent << 7) + mantissa;
}

// ANTILOG of a log-domain value relative to nothing: the magnitude, 0 for negative logs.
int antilog(int logValue) {
  const int clamped = std::max(logValue, 0);
  const int exponent = (clamped >> 7) & 15;
  const int mantissa = 128 + (clamped & 127);
  const int magnitude = (mantissa << 7) >> (14 - exponent);
  // A mask, not a branch: whether the zero level comes next is as good as random.
  return magnitude & -int(logValue >= 0);
}

}  // namespace

G726State::Float G726State::Float::fromMagnitude(bool negative, int magnitude) {
  const int exponent = bitLength(magnitude);
  const int mantissa =
      magnitude == 0 ? kFloatZero : (magnitude << kFloatMantissaBits) >> exponent;
  return {int16_t(mantissa), int8_t(exponent), negative};
}

G726State::Float G726State::Float::fromCoefficient(int coefficient) {
  const int quarter = coefficient >> 2;
  const bool negative = coefficient < 0;
  return fromMagnitude(negative, (negative ? -quarter : quarter) & kCoefficientMagnitudeMask);
}

// Inlined: the predictor runs eight of these per sample.
[[gnu::always_inline]] inline int G726State::Float::times(Float other) const {
  const int productMantissa = (mantissa * other.mantissa + 48) >> 4;
  const int productExponent = exponent + other.exponent;
  // Above 2^15 the standard keeps the low 15 bits; below, the mask takes nothing away.
  const int magnitude =
      ((productMantissa << kProductPreShift) >> (kMaxProductExponent - productExponent)) &
      kMagnitudeMask;
  // The sign without a branch: it is as good as random, and a mispredicted branch costs more
  // than the whole product.
  const int signMask = -int(negative != other.negative);
  return (magnitude ^ signMask) - signMask;
}

const G726State::RateTables& G726State::tablesFor(int bits) {
  static constexpr RateTables kTables[] = {
      {kDecision16, kReconstruct16, kMultiplier16, kSpeed16},
      {kDecision24, kReconstruct24, kMultiplier24, kSpeed24},
      {kDecision32, kReconstruct32, kMultiplier32, kSpeed32},
      {kDecision40, kReconstruct40, kMultiplier40, kSpeed40},
  };
  return kTables[bits - kG726MinBits];
}

size_t g726GroupBytes(int bits) {
  return isG726Bits(bits) ? size_t(bits) / size_t(std::gcd(bits, 8)) : 0;
}

size_t g726GroupCodes(int bits) {
  return isG726Bits(bits) ? 8 / size_t(std::gcd(bits, 8)) : 0;
}

void G726State::reset(int bits) {
  bits_ = isG726Bits(bits) ? bits : 4;
  tables_ = &tablesFor(bits_);
  yl_ = kInitialYl;
  yu_ = kInitialYu;
  dms_ = dml_ = ap_ = 0;
  a_.fill(0);
  b_.fill(0);
  pk_.fill(false);
  dq_.fill(Float{});
  sr_.fill(Float{});
  td_ = false;
  convertCoefficients();
}

void G726State::convertCoefficients() {
  for (size_t i = 0; i < a_.size(); ++i) aFloat_[i] = Float::fromCoefficient(a_[i]);
  for (size_t i = 0; i < b_.size(); ++i) bFloat_[i] = Float::fromCoefficient(b_[i]);
}

G726State::Prediction G726State::predict() const {
  Prediction p;
  int zeroSum = 0;
  for (size_t i = 0; i < bFloat_.size(); ++i) zeroSum += bFloat_[i].times(dq_[i]);
  zeroSum = wrap16(zeroSum);
  const int sum = wrap16(zeroSum + aFloat_[0].times(sr_[0]) + aFloat_[1].times(sr_[1]));
  p.sez = zeroSum >> 1;
  p.se = sum >> 1;

  // MIX: between the slow and the fast scale factor by the speed control; the product's
  // magnitude is truncated.
  const int speed = ap_ >= kFastSpeedLimit ? 64 : ap_ >> 2;
  const int slow = yl_ >> 6;
  const int difference = yu_ - slow;
  const int step = difference >= 0 ? (difference * speed) >> 6 : -((-difference * speed) >> 6);
  p.y = slow + step;
  return p;
}

uint8_t G726State::quantize(int difference, int y) const {
  const bool negative = difference < 0;
  const int logNormalised = log2Fixed(negative ? -difference : difference) - (y >> 2);
  // Counting rather than searching: no branch to mispredict over at most 15 levels.
  int magnitude = 0;
  for (const int16_t level : tables_->decisionLevels) magnitude += level <= logNormalised ? 1 : 0;
  const int mask = (1 << bits_) - 1;
  if (negative) return uint8_t(mask - magnitude);
  // At every rate but 16 kbit/s the lowest positive interval is sent as the all-ones word, so
  // that the all-zeros word never goes out.
  if (magnitude == 0 && bits_ != kG726MinBits) return uint8_t(mask);
  return uint8_t(magnitude);
}

int G726State::reconstructAndAdapt(uint8_t code, const Prediction& p) {
  const RateTables& tables = *tables_;
  const int mask = (1 << bits_) - 1;
  code &= mask;
  const bool negative = (code >> (bits_ - 1)) != 0;
  // The code's sign is as good as random: masks rather than branches.
  const int signMask = -int(negative);
  const int magnitudeIndex = code ^ (mask & signMask);

  // RECONST, ADDA, ANTILOG
  const int dqMagnitude = antilog(tables.reconstruction[magnitudeIndex] + (p.y >> 2));
  const int dq = (dqMagnitude ^ signMask) - signMask;
  // ADDB, ADDC
  const int sr = wrap16(p.se + dq);
  const int dqsez = wrap16(p.sez + dq);
  const bool pk0 = dqsez < 0;
  const bool sigpkZero = dqsez == 0;

  // TRANS: a large difference while a tone was detected is a transition in data.
  const int ylInteger = yl_ >> 15;
  const int ylFraction = (yl_ >> 10) & 31;
  const int threshold = ylInteger > 9 ? 31 << 10 : (32 + ylFraction) << ylInteger;
  const bool transition = td_ && dqMagnitude > ((threshold + (threshold >> 1)) >> 1);

  // FUNCTW, FILTD, LIMB, FILTE: the scale factors.
  const int w = tables.scaleMultiplier[magnitudeIndex];
  yu_ = std::clamp(p.y + (((w << 5) - p.y) >> 5), kMinYu, kMaxYu);
  yl_ = yl_ + yu_ + ((-yl_) >> 6);

  // UPA2, LIMC: second pole coefficient.
  const bool signChange1 = pk0 != pk_[0];
  const bool signChange2 = pk0 != pk_[1];
  int a2 = a_[1] - (a_[1] >> 7);
  if (!sigpkZero) {
    const int fa1 = std::clamp(a_[0], -8191, 8191) << 2;
    const int fa = signChange1 ? fa1 : -fa1;
    a2 += ((signChange2 ? -16384 : 16384) + fa) >> 7;
  }
  a2 = std::clamp(wrap16(a2), -kA2Limit, kA2Limit);
  // UPA1, LIMD: first pole coefficient, kept inside the stability triangle.
  int a1 = a_[0] - (a_[0] >> 8);
  if (!sigpkZero) a1 += signChange1 ? -kA1Step : kA1Step;
  const int a1Limit = kA1Margin - a2;
  a1 = std::clamp(wrap16(a1), -a1Limit, a1Limit);
  // UPB: zero coefficients; 40 kbit/s leaks more slowly.
  const int leak = bits_ == kG726MaxBits ? 9 : 8;
  for (size_t i = 0; i < b_.size(); ++i) {
    int bi = b_[i] - (b_[i] >> leak);
    if (dqMagnitude != 0) bi += (negative != dq_[i].negative) ? -kBStep : kBStep;
    b_[i] = wrap16(bi);
  }
  // TONE, TRIGA, TRIGB
  const bool tone = a2 < kToneA2;
  if (transition) {
    a_.fill(0);
    b_.fill(0);
  } else {
    a_ = {a1, a2};
  }
  convertCoefficients();

  // FUNCTF, FILTA, FILTB, SUBTC, FILTC: adaptation speed.
  const int f = tables.speedFunction[magnitudeIndex];
  dms_ += ((f << 9) - dms_) >> 5;
  dml_ += ((f << 11) - dml_) >> 7;
  const bool fast = p.y < kSlowScaleLimit || tone || std::abs((dms_ << 2) - dml_) >= (dml_ >> 3);
  ap_ = transition ? kFastSpeedLimit : ap_ + ((((fast ? 1 : 0) << 9) - ap_) >> 4);
  td_ = !transition && tone;

  // FLOATA, FLOATB and the delay lines.
  // Shifted through a copy: copy_backward on the array itself becomes a call to memmove.
  const auto olderDq = dq_;
  std::copy(olderDq.begin(), olderDq.end() - 1, dq_.begin() + 1);
  dq_[0] = Float::fromMagnitude(negative, dqMagnitude);
  sr_[1] = sr_[0];
  sr_[0] = Float::fromMagnitude(sr < 0, sr < 0 ? (-sr) & kMagnitudeMask : sr);
  pk_[1] = pk_[0];
  pk_[0] = pk0;
  return sr;
}

int16_t G726State::decode(uint8_t code) {
  const int sr = reconstructAndAdapt(code, predict());
  return int16_t(std::clamp(sr * 4, int(INT16_MIN), int(INT16_MAX)));
}

uint8_t G726State::encode(int16_t sample) {
  const Prediction p = predict();
  // The codec works on 14-bit samples.
  const uint8_t code = quantize((sample >> 2) - p.se, p.y);
  reconstructAndAdapt(code, p);
  return code;
}

size_t G726Decoder::decode(std::span<const uint8_t> packed, std::span<int16_t> samples) {
  const int bits = state_.bits();
  const size_t groupBytes = g726GroupBytes(bits);
  const size_t count = packed.size() / groupBytes * g726GroupCodes(bits);
  if (packed.size() % groupBytes != 0 || count > samples.size()) return 0;
  const unsigned mask = (1u << bits) - 1;
  uint32_t pending = 0;  // bits not decoded yet, the oldest in the low end
  int pendingBits = 0;
  size_t written = 0;
  for (const uint8_t byte : packed) {
    pending |= uint32_t(byte) << pendingBits;
    pendingBits += 8;
    while (pendingBits >= bits) {
      samples[written++] = state_.decode(uint8_t(pending & mask));
      pending >>= bits;
      pendingBits -= bits;
    }
  }
  return written;
}

size_t G726Encoder::encode(std::span<const int16_t> samples, std::span<uint8_t> packed) {
  const int bits = state_.bits();
  const size_t groupCodes = g726GroupCodes(bits);
  const size_t bytes = samples.size() / groupCodes * g726GroupBytes(bits);
  if (samples.size() % groupCodes != 0 || bytes > packed.size()) return 0;
  uint32_t pending = 0;
  int pendingBits = 0;
  size_t written = 0;
  for (const int16_t sample : samples) {
    pending |= uint32_t(state_.encode(sample)) << pendingBits;
    pendingBits += bits;
    while (pendingBits >= 8) {
      packed[written++] = uint8_t(pending);
      pending >>= 8;
      pendingBits -= 8;
    }
  }
  return written;
}

}  // namespace vexa::audio
