#include "record/AviH264Units.h"

#include "common/StreamConfig.h"
#include "media/rtp/H264Nal.h"

namespace vexa {
namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
constexpr size_t kShortStartCode = 3;
constexpr size_t kShortestUnit = 5;

bool startsWithStartCode(std::span<const uint8_t> unit) {
  const auto at = [&](size_t i) { return unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1; };
  return unit.size() >= kShortestUnit && (at(0) || (unit[0] == 0 && at(1)));
}

void keep(std::vector<uint8_t>& stored, std::span<const uint8_t> nal) {
  // The walk leaves a following 4-byte start code's first zero on the unit; a parameter set
  // ends in its stop bit, so trailing zeros are never its own.
  while (!nal.empty() && nal.back() == 0) nal = nal.first(nal.size() - 1);
  if (nal.empty() || sizeof(kStartCode) + nal.size() > kParameterSetSize) return;
  stored.assign(std::begin(kStartCode), std::end(kStartCode));
  stored.insert(stored.end(), nal.begin(), nal.end());
}

struct UnitContents {
  bool sps = false;
  bool pps = false;
  bool idr = false;
  bool slice = false;
  size_t setsGoAt = 0;  // after a leading access unit delimiter, which must stay first
};

}  // namespace

H264ParameterSets::H264ParameterSets() {
  sps_.reserve(kParameterSetSize);
  pps_.reserve(kParameterSetSize);
}

void H264ParameterSets::store(std::span<const uint8_t> nal) {
  if (nal.empty()) return;
  const uint8_t type = rtp::nalType(nal[0]);
  if (type == rtp::kNalSps) keep(sps_, nal);
  if (type == rtp::kNalPps) keep(pps_, nal);
}

void H264ParameterSets::clear() {
  sps_.clear();
  pps_.clear();
}

H264UnitUse prepareH264Unit(std::span<const uint8_t> unit, H264ParameterSets& sets,
                            std::vector<uint8_t>& out, bool& key) {
  if (!startsWithStartCode(unit)) return H264UnitUse::kRefused;
  UnitContents has;
  size_t count = 0;
  bool leadingDelimiter = false;
  rtp::forEachNalUnit(unit, [&](std::span<const uint8_t> nal) {
    if (nal.empty()) return true;
    const uint8_t type = rtp::nalType(nal[0]);
    ++count;
    if (count == 1) leadingDelimiter = type == rtp::kNalAccessUnitDelimiter;
    if (count == 2 && leadingDelimiter) {
      has.setsGoAt = size_t(nal.data() - unit.data()) - kShortStartCode;
      if (unit[has.setsGoAt - 1] == 0) --has.setsGoAt;  // a 4-byte start code
    }
    has.sps |= type == rtp::kNalSps;
    has.pps |= type == rtp::kNalPps;
    has.idr |= type == rtp::kNalIdrSlice;
    has.slice |= type >= rtp::kNalNonIdrSlice && type <= rtp::kNalIdrSlice;
    sets.store(nal);
    return true;
  });
  if (!has.slice && (has.sps || has.pps)) return H264UnitUse::kStoredOnly;
  key = has.idr;
  out.clear();
  if (!has.idr) {
    out.assign(unit.begin(), unit.end());
    return H264UnitUse::kWrite;
  }
  const auto split = unit.begin() + ptrdiff_t(has.setsGoAt);
  out.assign(unit.begin(), split);
  if (!has.sps) out.insert(out.end(), sets.sps().begin(), sets.sps().end());
  if (!has.pps) out.insert(out.end(), sets.pps().begin(), sets.pps().end());
  out.insert(out.end(), split, unit.end());
  return H264UnitUse::kWrite;
}

}  // namespace vexa
