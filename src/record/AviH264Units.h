#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexa {

// The sequence and picture parameter sets last seen in a stream, each behind a 4-byte start code,
// so a file that begins at any key unit can be decoded on its own.
class H264ParameterSets {
 public:
  H264ParameterSets();
  // A raw set (no start code) by its NAL type; one longer than kParameterSetSize is not kept.
  void store(std::span<const uint8_t> nal);
  void clear();
  const std::vector<uint8_t>& sps() const { return sps_; }
  const std::vector<uint8_t>& pps() const { return pps_; }

 private:
  std::vector<uint8_t> sps_;
  std::vector<uint8_t> pps_;
};

enum class H264UnitUse {
  kRefused,     // not an Annex B unit
  kStoredOnly,  // parameter sets only: kept for the next key unit, nothing to write
  kWrite,
};

// Looks through every NAL unit of an access unit: stores the parameter sets it carries and, for a
// unit to write, puts into `out` what the file gets (a unit with an IDR slice gets in front the
// stored sets it lacks) and sets `key`. `out` is reused; it grows to at most the unit plus two
// sets.
H264UnitUse prepareH264Unit(std::span<const uint8_t> unit, H264ParameterSets& sets,
                            std::vector<uint8_t>& out, bool& key);

}  // namespace vexa
