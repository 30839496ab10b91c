#include "camera/H264Packetizer.h"

#include <algorithm>

namespace vexa::camera {
namespace {

constexpr uint8_t kForbiddenBit = 0x80;
constexpr uint8_t kNriMask = 0x60;
constexpr uint8_t kStapA = 24;
constexpr uint8_t kFuA = 28;
constexpr uint8_t kFuStart = 0x80;
constexpr uint8_t kFuEnd = 0x40;
constexpr size_t kNalHeaderSize = 1;
constexpr size_t kFuAHeaderSize = 2;
constexpr size_t kStapAHeaderSize = 1;
constexpr size_t kStapASizeField = 2;
constexpr size_t kMaxStapAUnit = 0xFFFF;

bool isParameterSet(const NalUnit& unit) {
  const uint8_t type = nal::typeOf(unit);
  return type == nal::kSps || type == nal::kPps;
}

// RFC 6184 section 5.8: the NAL header's F and NRI go into the FU indicator, its type into the
// FU header; the header byte itself is not sent.
void appendFragments(const NalUnit& unit, size_t maxPayloadSize, std::vector<RtpPayload>& out) {
  const uint8_t indicator = uint8_t((unit[0] & (kForbiddenBit | kNriMask)) | kFuA);
  const uint8_t type = nal::typeOf(unit);
  const size_t room = maxPayloadSize - kFuAHeaderSize;
  for (size_t at = kNalHeaderSize; at < unit.size(); at += room) {
    const size_t length = std::min(room, unit.size() - at);
    uint8_t header = type;
    if (at == kNalHeaderSize) header |= kFuStart;
    if (at + length == unit.size()) header |= kFuEnd;
    RtpPayload payload = {indicator, header};
    payload.insert(payload.end(), unit.begin() + std::ptrdiff_t(at),
                   unit.begin() + std::ptrdiff_t(at + length));
    out.push_back(std::move(payload));
  }
}

// RFC 6184 section 5.7.1: a STAP-A header, then each unit after its 16-bit size. The header
// carries the highest NRI of the units and F when any unit has it.
RtpPayload aggregate(const std::vector<const NalUnit*>& units) {
  uint8_t header = kStapA;
  for (const NalUnit* unit : units) {
    header |= (*unit)[0] & kForbiddenBit;
    header = uint8_t((header & ~kNriMask) | std::max(header & kNriMask, (*unit)[0] & kNriMask));
  }
  RtpPayload payload = {header};
  for (const NalUnit* unit : units) {
    payload.push_back(uint8_t(unit->size() >> 8));
    payload.push_back(uint8_t(unit->size()));
    payload.insert(payload.end(), unit->begin(), unit->end());
  }
  return payload;
}

void appendUnit(const NalUnit& unit, size_t maxPayloadSize, std::vector<RtpPayload>& out) {
  // RFC 6184 section 5.6: a NAL unit that fits is its own payload.
  if (unit.size() <= maxPayloadSize) {
    out.push_back(unit);
  } else {
    appendFragments(unit, maxPayloadSize, out);
  }
}

}  // namespace

std::vector<RtpPayload> packetizeH264(const std::vector<NalUnit>& accessUnit, size_t maxPayloadSize,
                                      bool aggregateParameterSets) {
  std::vector<RtpPayload> out;
  if (maxPayloadSize <= kFuAHeaderSize) return out;
  std::vector<const NalUnit*> parameterSets;
  size_t aggregateSize = kStapAHeaderSize;
  const auto flushParameterSets = [&] {
    if (parameterSets.size() > 1) {
      out.push_back(aggregate(parameterSets));
    } else {
      for (const NalUnit* unit : parameterSets) appendUnit(*unit, maxPayloadSize, out);
    }
    parameterSets.clear();
    aggregateSize = kStapAHeaderSize;
  };
  for (const NalUnit& unit : accessUnit) {
    if (unit.empty()) continue;
    const size_t entrySize = kStapASizeField + unit.size();
    if (aggregateParameterSets && isParameterSet(unit) && unit.size() <= kMaxStapAUnit &&
        kStapAHeaderSize + entrySize <= maxPayloadSize) {
      if (aggregateSize + entrySize > maxPayloadSize) flushParameterSets();
      parameterSets.push_back(&unit);
      aggregateSize += entrySize;
      continue;
    }
    flushParameterSets();
    appendUnit(unit, maxPayloadSize, out);
  }
  flushParameterSets();
  return out;
}

}  // namespace vexa::camera
