#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "camera/H264Encoder.h"

namespace vexa::camera {

using RtpPayload = std::vector<uint8_t>;

// RTP payloads of one H.264 access unit in non-interleaved mode (RFC 6184, packetization-mode=1):
// a NAL unit that fits goes alone, a larger one in FU-A fragments, and with aggregate set the
// sequence and picture parameter sets that open a key access unit share one STAP-A packet.
// Each payload holds at most maxPayloadSize bytes; the last one ends the access unit.
std::vector<RtpPayload> packetizeH264(const std::vector<NalUnit>& accessUnit, size_t maxPayloadSize,
                                      bool aggregateParameterSets);

}  // namespace vexa::camera
