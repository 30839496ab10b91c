#include "media/H264SequenceParameters.h"

#include <array>

#include "media/rtp/H264Nal.h"

namespace vexa {

namespace {

constexpr uint32_t kMacroblockSize = 16;
// Exp-Golomb codes longer than this are beyond any field of an SPS.
constexpr int kMaxLeadingZeros = 31;
// Profiles whose SPS carries chroma format, bit depths and scaling matrices (7.3.2.1.1).
constexpr std::array<uint8_t, 12> kHighProfiles = {100, 110, 122, 244, 44, 83,
                                                   86,  118, 128, 138, 139, 134};
constexpr uint32_t kMaxChromaFormat = 3;
constexpr uint32_t kMaxBitDepthMinus8 = 6;
constexpr uint32_t kMaxPocType = 2;
constexpr uint32_t kMaxPocCycle = 255;
constexpr uint32_t kMaxLog2Minus4 = 12;
// 8.2.1 and A.3: at most 1139 macroblocks in either direction for any level; larger is hostile.
constexpr uint32_t kMaxMacroblocksAcross = 1 << 12;

// Reads the RBSP of a NAL unit bit by bit, skipping emulation prevention bytes (00 00 03).
class RbspBits {
 public:
  explicit RbspBits(std::span<const uint8_t> payload) : bytes_(payload) {}

  std::optional<uint32_t> bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      const std::optional<uint32_t> bit = nextBit();
      if (!bit) return std::nullopt;
      value = value << 1 | *bit;
    }
    return value;
  }
  std::optional<uint32_t> unsignedGolomb() {
    int zeros = 0;
    for (;;) {
      const std::optional<uint32_t> bit = nextBit();
      if (!bit) return std::nullopt;
      if (*bit == 1) break;
      if (++zeros > kMaxLeadingZeros) return std::nullopt;
    }
    const std::optional<uint32_t> rest = bits(zeros);
    if (!rest) return std::nullopt;
    return uint32_t((uint64_t(1) << zeros) - 1 + *rest);
  }
  bool skipGolomb() { return unsignedGolomb().has_value(); }

 private:
  std::optional<uint32_t> nextBit() {
    if (bitInByte_ == 0 && !loadByte()) return std::nullopt;
    --bitInByte_;
    return uint32_t(current_ >> bitInByte_) & 1u;
  }
  bool loadByte() {
    if (at_ >= bytes_.size()) return false;
    if (zeros_ >= 2 && bytes_[at_] == 3) {
      zeros_ = 0;
      if (++at_ >= bytes_.size()) return false;
    }
    current_ = bytes_[at_++];
    zeros_ = current_ == 0 ? zeros_ + 1 : 0;
    bitInByte_ = 8;
    return true;
  }

  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
  int zeros_ = 0;
  uint8_t current_ = 0;
  int bitInByte_ = 0;
};

bool skipScalingList(RbspBits& bits, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size; ++j) {
    if (next != 0) {
      const std::optional<uint32_t> code = bits.unsignedGolomb();
      if (!code) return false;
      // se(v): 1, -1, 2, -2 ... from 1, 2, 3, 4 ...
      const int delta = (*code & 1) ? int((*code + 1) / 2) : -int(*code / 2);
      next = (last + delta + 256) % 256;
    }
    last = next == 0 ? last : next;
  }
  return true;
}

// chroma_format_idc to seq_scaling_matrix_present_flag and its lists.
bool skipHighProfileFields(RbspBits& bits) {
  const std::optional<uint32_t> chromaFormat = bits.unsignedGolomb();
  if (!chromaFormat || *chromaFormat > kMaxChromaFormat) return false;
  if (*chromaFormat == 3 && !bits.bits(1)) return false;
  for (int depth = 0; depth < 2; ++depth) {
    const std::optional<uint32_t> bitDepth = bits.unsignedGolomb();
    if (!bitDepth || *bitDepth > kMaxBitDepthMinus8) return false;
  }
  const std::optional<uint32_t> flags = bits.bits(2);  // transform bypass, scaling matrix present
  if (!flags) return false;
  if ((*flags & 1) == 0) return true;
  const int lists = *chromaFormat == 3 ? 12 : 8;
  for (int i = 0; i < lists; ++i) {
    const std::optional<uint32_t> present = bits.bits(1);
    if (!present) return false;
    if (*present && !skipScalingList(bits, i < 6 ? 16 : 64)) return false;
  }
  return true;
}

bool skipPictureOrderFields(RbspBits& bits) {
  const std::optional<uint32_t> type = bits.unsignedGolomb();
  if (!type || *type > kMaxPocType) return false;
  if (*type == 0) {
    const std::optional<uint32_t> log2Lsb = bits.unsignedGolomb();
    return log2Lsb && *log2Lsb <= kMaxLog2Minus4;
  }
  if (*type == 1) {
    if (!bits.bits(1) || !bits.skipGolomb() || !bits.skipGolomb()) return false;
    const std::optional<uint32_t> cycle = bits.unsignedGolomb();
    if (!cycle || *cycle > kMaxPocCycle) return false;
    for (uint32_t i = 0; i < *cycle; ++i) {
      if (!bits.skipGolomb()) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<SpsPictureSize> readSpsPictureSize(std::span<const uint8_t> nal) {
  if (nal.size() < 4 || rtp::nalType(nal[0]) != rtp::kNalSps) return std::nullopt;
  const uint8_t profile = nal[1];
  RbspBits bits(nal.subspan(4));  // after the header, profile, constraint flags and level
  if (!bits.skipGolomb()) return std::nullopt;  // seq_parameter_set_id
  for (uint8_t high : kHighProfiles) {
    if (profile == high && !skipHighProfileFields(bits)) return std::nullopt;
  }
  const std::optional<uint32_t> log2FrameNum = bits.unsignedGolomb();
  if (!log2FrameNum || *log2FrameNum > kMaxLog2Minus4 || !skipPictureOrderFields(bits)) {
    return std::nullopt;
  }
  // max_num_ref_frames, gaps_in_frame_num_value_allowed_flag
  if (!bits.skipGolomb() || !bits.bits(1)) return std::nullopt;
  const std::optional<uint32_t> widthInMbs = bits.unsignedGolomb();
  const std::optional<uint32_t> heightInMapUnits = bits.unsignedGolomb();
  const std::optional<uint32_t> frameMbsOnly = bits.bits(1);
  if (!widthInMbs || !heightInMapUnits || !frameMbsOnly || *widthInMbs >= kMaxMacroblocksAcross ||
      *heightInMapUnits >= kMaxMacroblocksAcross) {
    return std::nullopt;
  }
  // Without frame_mbs_only a map unit is a pair of macroblocks, one per field.
  const uint32_t heightInMbs = (*heightInMapUnits + 1) * (*frameMbsOnly ? 1 : 2);
  return SpsPictureSize{(*widthInMbs + 1) * kMacroblockSize, heightInMbs * kMacroblockSize};
}

std::vector<std::optional<SpsPictureSize>> sequenceParameterSizes(std::span<const uint8_t> unit) {
  std::vector<std::optional<SpsPictureSize>> sizes;
  rtp::forEachNalUnit(unit, [&](std::span<const uint8_t> nal) {
    const uint8_t type = rtp::nalType(nal[0]);
    // Parameter sets come before the first slice of a unit (7.4.1.2.3): no need to look further.
    if (type >= rtp::kNalNonIdrSlice && type <= rtp::kNalIdrSlice) return false;
    if (type == rtp::kNalSps) sizes.push_back(readSpsPictureSize(nal));
    return true;
  });
  return sizes;
}

}  // namespace vexa
