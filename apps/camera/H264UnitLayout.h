#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "camera/H264Encoder.h"

namespace vexa::camera {

// What goes into each H.264 access unit besides the encoder's slices, so that tests can play
// the streams of cameras that send delimiters and SEI, or that keep their parameter sets to the
// session description.
struct H264UnitLayout {
  bool delimiter = false;           // an access unit delimiter opens every unit
  bool sei = false;                 // a user-data SEI before the first slice of every key unit
  bool parameterSetsInBand = true;  // false: SPS and PPS only in the description

  bool operator==(const H264UnitLayout&) const = default;
};

// Reads a comma list of "aud" and "sei" into layout; false for an empty or unknown item.
bool parseH264Extras(std::string_view list, H264UnitLayout& layout);

// The delimiter and SEI units the camera sends, header byte included.
const NalUnit& accessUnitDelimiter();
const NalUnit& userDataSei();

// The encoder's units of one access unit rearranged by layout, in decoding order.
std::vector<NalUnit> arrangeAccessUnit(std::vector<NalUnit> units, const H264UnitLayout& layout);

// The units as an Annex B byte stream, each after a four-byte start code.
std::vector<uint8_t> toAnnexB(const std::vector<NalUnit>& units);

}  // namespace vexa::camera
