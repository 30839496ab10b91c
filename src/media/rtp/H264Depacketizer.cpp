#include "media/rtp/H264Depacketizer.h"

#include <algorithm>
#include <array>

#include "common/DebugTrace.h"
#include "media/rtp/ByteReader.h"
#include "common/StreamConfig.h"

namespace vexa::rtp {

namespace {

constexpr std::array<uint8_t, 3> kShortStartCode = {0, 0, 1};
constexpr std::array<uint8_t, 4> kLongStartCode = {0, 0, 0, 1};

constexpr size_t kNalHeaderSize = 1;
constexpr size_t kStapAHeaderSize = 1;
constexpr size_t kFuAHeaderSize = 2;
constexpr uint8_t kFuStartBit = 0x80;
// Grown once to the usual size of a unit; later units reuse it.
constexpr size_t kInitialAssemblyCapacity = 64 * 1024;
static_assert(kMinInterleavedPayloadSize >= kFuAHeaderSize, "the gap rule reads the FU header");

// Calls visit with each NAL unit of a STAP-A; false when the sizes do not tile the payload
// exactly, a unit is empty or there is none.
template <typename Visit>
bool forEachAggregatedNal(std::span<const uint8_t> payload, Visit&& visit) {
  ByteReader reader(payload);
  if (!reader.skip(kStapAHeaderSize) || reader.empty()) return false;
  while (!reader.empty()) {
    uint16_t size = 0;
    std::span<const uint8_t> nal;
    if (!reader.readU16(size) || size == 0 || !reader.readBytes(size, nal)) return false;
    visit(nal);
  }
  return true;
}

bool stapACarries(std::span<const uint8_t> payload, bool (*wanted)(uint8_t type)) {
  bool found = false;
  forEachAggregatedNal(
      payload, [&](std::span<const uint8_t> nal) { found = found || wanted(nalType(nal[0])); });
  return found;
}

bool isKeyType(uint8_t type) {
  return type == kNalIdrSlice || type == kNalSps;
}
bool isSps(uint8_t type) {
  return type == kNalSps;
}
bool isSliceOrSps(uint8_t type) {
  return type == kNalNonIdrSlice || type == kNalIdrSlice || type == kNalSps;
}

// UDP road: may this packet, the first after a drop, begin the unit the decoder restarts from?
// A fragment must be the first of its NAL unit: at the start of a stream the first packet may
// fall anywhere in a unit.
bool startsKeyUnit(std::span<const uint8_t> payload) {
  if (payload.empty()) return false;
  const uint8_t type = nalType(payload[0]);
  if (type == kNalFuA) {
    // RFC 6184 section 5.8: the FU header's type is the fragmented unit's.
    return payload.size() >= kFuAHeaderSize && (payload[1] & kFuStartBit) != 0 &&
           isKeyType(nalType(payload[1]));
  }
  // RFC 6184 section 5.7.1: parameter sets often travel aggregated ahead of the IDR slice.
  if (type == kNalStapA) return stapACarries(payload, isKeyType);
  // RFC 6184 section 5.6.
  return isKeyType(type);
}

// UDP road: a packet that may come ahead of the slices of a unit (ITU-T H.264 section 7.4.1.2.3:
// delimiter, SEI, parameter sets) leaves open whether the unit is one to restart from. Encoders
// that start every unit with a delimiter would otherwise never be resumed.
bool leadsUnit(std::span<const uint8_t> payload) {
  if (payload.empty()) return false;
  const uint8_t type = nalType(payload[0]);
  return type == kNalAccessUnitDelimiter || type == kNalSei || type == kNalPps;
}

// Interleaved road: may assembly go on from this gap packet?
bool resumesAfterGap(std::span<const uint8_t> payload) {
  const uint8_t type = nalType(payload[0]);
  // RFC 6184 section 5.8: any fragment of a slice or SPS, the start or not.
  if (type == kNalFuA) return isSliceOrSps(nalType(payload[1]));
  // RFC 6184 section 5.7.1: an aggregated SPS counts as a single one.
  if (type == kNalStapA) return stapACarries(payload, isSps);
  // RFC 6184 section 5.6: of single units only an SPS.
  return type == kNalSps;
}

// Does this packet begin a NAL unit (rather than continue a fragmented one)?
bool beginsNalUnit(std::span<const uint8_t> payload) {
  const uint8_t type = nalType(payload[0]);
  // RFC 6184 section 5.8: only the first fragment, with the start bit.
  if (type == kNalFuA) return (payload[1] & kFuStartBit) != 0;
  return type <= kNalStapA;
}

// Whether an assembled unit holds an IDR slice or an SPS, behind any of its start codes.
bool holdsKeyNal(std::span<const uint8_t> unit) {
  bool found = false;
  forEachNalUnit(unit, [&](std::span<const uint8_t> nal) {
    found = isKeyType(nalType(nal[0]));
    return !found;
  });
  return found;
}

}  // namespace

H264Depacketizer::H264Depacketizer(Road road)
    : road_(road),
      startCode_(road == Road::Udp ? std::span<const uint8_t>(kShortStartCode)
                                   : std::span<const uint8_t>(kLongStartCode)),
      awaitingKeyUnit_(road == Road::Interleaved) {
  assembly_.reserve(kInitialAssemblyCapacity);
}

void H264Depacketizer::configure(const StreamConfig& config) {
  const size_t spsLength = std::min<size_t>(config.spsLength, config.sps.size());
  const size_t ppsLength = std::min<size_t>(config.ppsLength, config.pps.size());
  setParameterSets(std::span(config.sps).first(spsLength), std::span(config.pps).first(ppsLength));
}

void H264Depacketizer::setParameterSets(std::span<const uint8_t> sps,
                                        std::span<const uint8_t> pps) {
  parameterSets_.clear();
  for (std::span<const uint8_t> set : {sps, pps}) {
    if (set.empty()) continue;
    // The session description's store for each set is the cap.
    set = set.first(std::min(set.size(), kParameterSetSize));
    parameterSets_.insert(parameterSets_.end(), startCode_.begin(), startCode_.end());
    parameterSets_.insert(parameterSets_.end(), set.begin(), set.end());
  }
  parameterSetsPending_ = !parameterSets_.empty();
}

PushResult H264Depacketizer::push(const RtpPacket& packet, bool lossBefore) {
  if (unitReady_) {
    unitReady_ = false;
    assembly_.clear();
  }
  return road_ == Road::Udp ? pushUdp(packet, lossBefore) : pushInterleaved(packet, lossBefore);
}

std::span<const uint8_t> H264Depacketizer::completedUnit() const {
  return unitReady_ ? std::span<const uint8_t>(assembly_) : std::span<const uint8_t>();
}

void H264Depacketizer::reset() {
  startOver();
  unitReady_ = false;
  dropping_ = true;
  atUnitStart_ = true;
  discarding_ = true;
  awaitingKeyUnit_ = road_ == Road::Interleaved;
  parameterSetsPending_ = !parameterSets_.empty();
}

PushResult H264Depacketizer::pushUdp(const RtpPacket& packet, bool lossBefore) {
  if (lossBefore) {
    dropping_ = true;
    atUnitStart_ = false;
    startOver();
  }
  if (atUnitStart_ && !leadsUnit(packet.payload)) {
    atUnitStart_ = false;
    if (startsKeyUnit(packet.payload)) dropping_ = false;
  }
  if (dropping_) {
    // The packet after this marker may begin a unit to restart from.
    if (packet.marker) atUnitStart_ = true;
    return PushResult::kIgnored;
  }
  return assemble(packet);
}

PushResult H264Depacketizer::pushInterleaved(const RtpPacket& packet, bool lossBefore) {
  if (packet.payload.size() < kMinInterleavedPayloadSize) {
    dropPacket("too short", packet.payload);
    return PushResult::kIgnored;
  }
  if (lossBefore) {
    discarding_ = true;
    startOver();
    if (packet.marker ||
        (packet.payloadType == kInterleavedH264PayloadType && resumesAfterGap(packet.payload))) {
      discarding_ = false;
    }
  }
  if (awaitingKeyUnit_ && discarding_ && beginsNalUnit(packet.payload)) {
    // A session begins at a unit boundary, usually with a key unit: dropping up to the first
    // marker would throw that unit away and hold the first picture back a whole key interval.
    discarding_ = false;
  }
  if (discarding_) {
    if (packet.marker) discarding_ = false;
    return PushResult::kIgnored;
  }
  return assemble(packet);
}

PushResult H264Depacketizer::assemble(const RtpPacket& packet) {
  const bool appended = oversize_ || appendPayload(packet.payload);
  if (packet.marker) return completeUnit();
  return appended ? PushResult::kTaken : PushResult::kIgnored;
}

bool H264Depacketizer::appendPayload(std::span<const uint8_t> payload) {
  if (payload.empty()) return dropPacket("empty payload", payload);
  const uint8_t header = payload[0];
  const uint8_t type = nalType(header);
  if (type >= kNalNonIdrSlice && type <= kNalLastSingleType) {
    // RFC 6184 section 5.6: a single NAL unit packet is the NAL unit itself.
    appendNal(header, payload.subspan(kNalHeaderSize), true);
    return true;
  }
  switch (type) {
    case kNalStapA:
      return appendStapA(payload);
    case kNalFuA:
      return appendFuA(payload);
    case kNalStapB:
    case kNalMtap16:
    case kNalMtap24:
      // RFC 6184 sections 5.7.1 and 5.7.2: these carry a decoding order number and belong to the
      // interleaved packetisation mode, which is never negotiated here.
      return dropPacket("interleaved-mode aggregation packet", payload);
    case kNalFuB:
      // RFC 6184 section 5.8: FU-B starts a fragmented unit in interleaved mode only.
      return dropPacket("FU-B", payload);
    default:
      // RFC 6184 table 1: 0, 30 and 31 are reserved or undefined.
      return dropPacket("reserved NAL type", payload);
  }
}

bool H264Depacketizer::appendStapA(std::span<const uint8_t> payload) {
  // RFC 6184 section 5.7.1: after the STAP-A header, each NAL unit behind its 16-bit size.
  // A size that does not fit drops the whole packet, including the units already appended.
  const size_t before = assembly_.size();
  const bool wellFormed = forEachAggregatedNal(payload, [&](std::span<const uint8_t> nal) {
    appendNal(nal[0], nal.subspan(kNalHeaderSize), true);
  });
  if (wellFormed) return true;
  if (!oversize_) assembly_.resize(before);
  return dropPacket("STAP-A sizes do not match its length", payload);
}

bool H264Depacketizer::appendFuA(std::span<const uint8_t> payload) {
  // RFC 6184 section 5.8: FU indicator, FU header, then a piece of the NAL unit. The unit's own
  // header is the indicator's NRI with the FU header's type. A fragment whose start was lost still
  // gets a start code when it opens the unit, so the decoder can find the rest.
  if (payload.size() < kFuAHeaderSize) return dropPacket("FU-A without its header", payload);
  const uint8_t indicator = payload[0];
  const uint8_t fuHeader = payload[1];
  const uint8_t header = uint8_t((indicator & kNalNriMask) | nalType(fuHeader));
  appendNal(header, payload.subspan(kFuAHeaderSize),
            assembly_.empty() || (fuHeader & kFuStartBit) != 0);
  return true;
}

void H264Depacketizer::appendNal(uint8_t header, std::span<const uint8_t> body,
                                 bool withStartCode) {
  if (oversize_) return;
  const size_t added = (withStartCode ? startCode_.size() + kNalHeaderSize : 0) + body.size();
  if (assembly_.size() + added > kMaxAccessUnitSize) {
    oversize_ = true;
    assembly_.clear();
    return;
  }
  if (withStartCode) {
    assembly_.insert(assembly_.end(), startCode_.begin(), startCode_.end());
    assembly_.push_back(header);
  }
  assembly_.insert(assembly_.end(), body.begin(), body.end());
}

PushResult H264Depacketizer::completeUnit() {
  if (oversize_) {
    dropUnit("larger than the decoder's input area", kMaxAccessUnitSize);
    return PushResult::kIgnored;
  }
  if (assembly_.empty()) return PushResult::kIgnored;
  if (awaitingKeyUnit_) {
    // Until the first key unit the decoder has nothing to predict from.
    if (!holdsKeyNal(assembly_)) {
      dropUnit("no key unit yet", assembly_.size());
      return PushResult::kIgnored;
    }
    awaitingKeyUnit_ = false;
  }
  if (parameterSetsPending_) {
    if (assembly_.size() + parameterSets_.size() > kMaxAccessUnitSize) {
      dropUnit("too large with the parameter sets in front", assembly_.size());
      return PushResult::kIgnored;
    }
    assembly_.insert(assembly_.begin(), parameterSets_.begin(), parameterSets_.end());
    parameterSetsPending_ = false;
  }
  unitReady_ = true;
  return PushResult::kComplete;
}

void H264Depacketizer::dropUnit(const char* why, size_t size) {
  DebugTrace("H.264: dropped an access unit of at least %zu bytes: %s", size, why);
  ++droppedUnits_;
  startOver();
}

void H264Depacketizer::startOver() {
  assembly_.clear();
  oversize_ = false;
}

bool H264Depacketizer::dropPacket(const char* why, std::span<const uint8_t> payload) {
  DebugTrace("H.264: dropped a packet with %zu payload bytes: %s", payload.size(), why);
  ++droppedPackets_;
  return false;
}

}  // namespace vexa::rtp
