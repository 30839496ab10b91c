#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vexa::rtp {

// NAL unit types (ITU-T H.264 table 7-1) and the packet types of RFC 6184 table 1.
constexpr uint8_t kNalTypeMask = 0x1F;
constexpr uint8_t kNalNriMask = 0x60;
constexpr uint8_t kNalNonIdrSlice = 1;
constexpr uint8_t kNalIdrSlice = 5;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalSei = 6;
constexpr uint8_t kNalAccessUnitDelimiter = 9;
constexpr uint8_t kNalLastSingleType = 23;
constexpr uint8_t kNalStapA = 24;
constexpr uint8_t kNalStapB = 25;
constexpr uint8_t kNalMtap16 = 26;
constexpr uint8_t kNalMtap24 = 27;
constexpr uint8_t kNalFuA = 28;
constexpr uint8_t kNalFuB = 29;

// The decode thread's input area: the largest access unit that can be decoded.
constexpr size_t kMaxAccessUnitSize = 1310720;

constexpr uint8_t nalType(uint8_t header) {
  return header & kNalTypeMask;
}

// The type of an Annex B unit's first NAL unit: the header after a 00 01 whose 00 lies within the
// first five bytes, so both the 3- and the 4-byte start code are found. Nullopt without one.
inline std::optional<uint8_t> firstNalType(std::span<const uint8_t> unit) {
  constexpr size_t kStartCodeSearch = 5;
  for (size_t i = 0; i < kStartCodeSearch && i + 2 < unit.size(); ++i) {
    if (unit[i] == 0 && unit[i + 1] == 1) return nalType(unit[i + 2]);
  }
  return std::nullopt;
}

// Calls visit(nal) for each NAL unit of an Annex B unit, in order, each running from its header to
// the next 00 00 01 (trailing zeros of a 4-byte start code stay with it) until visit returns false.
template <typename Visit>
void forEachNalUnit(std::span<const uint8_t> unit, Visit&& visit) {
  const auto startCodeAt = [&](size_t at) {
    return at + 2 < unit.size() && unit[at] == 0 && unit[at + 1] == 0 && unit[at + 2] == 1;
  };
  for (size_t at = 0; at + 3 < unit.size(); ++at) {
    if (!startCodeAt(at)) continue;
    size_t end = at + 3;
    while (end < unit.size() && !startCodeAt(end)) ++end;
    if (!visit(unit.subspan(at + 3, end - at - 3))) return;
    at = end - 1;
  }
}

// A unit a decoder can start from after loss.
inline bool beginsWithKeyNal(std::span<const uint8_t> unit) {
  const std::optional<uint8_t> type = firstNalType(unit);
  return type == kNalIdrSlice || type == kNalSps;
}

}  // namespace vexa::rtp
