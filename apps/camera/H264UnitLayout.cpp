#include "camera/H264UnitLayout.h"

#include <algorithm>
#include <array>

namespace vexa::camera {
namespace {

constexpr std::array<uint8_t, 4> kStartCode = {0, 0, 0, 1};
// H.264 section 7.3.2.4: primary_pic_type 7 (any slice type may follow), then the stop bit.
constexpr uint8_t kAnyPrimaryPicture = 0xF0;
// Section D.1.6, payload type 5: a UUID of our own and a short text. Neither holds two zero
// bytes in a row, so the payload needs no emulation prevention.
constexpr uint8_t kUserDataUnregistered = 5;
constexpr std::array<uint8_t, 16> kSeiUuid = {0x76, 0x65, 0x78, 0x61, 0x2D, 0x63, 0x61, 0x6D,
                                              0x4E, 0x41, 0x4C, 0x2D, 0x53, 0x45, 0x49, 0x31};
constexpr std::string_view kSeiText = "vexa-camera";
constexpr uint8_t kRbspStopBit = 0x80;

bool isVcl(const NalUnit& unit) {
  const uint8_t type = nal::typeOf(unit);
  return type >= 1 && type <= nal::kIdrSlice;
}

bool isParameterSet(const NalUnit& unit) {
  const uint8_t type = nal::typeOf(unit);
  return type == nal::kSps || type == nal::kPps;
}

NalUnit makeUserDataSei() {
  NalUnit sei = {nal::kSei, kUserDataUnregistered, uint8_t(kSeiUuid.size() + kSeiText.size())};
  sei.insert(sei.end(), kSeiUuid.begin(), kSeiUuid.end());
  sei.insert(sei.end(), kSeiText.begin(), kSeiText.end());
  sei.push_back(kRbspStopBit);
  return sei;
}

}  // namespace

bool parseH264Extras(std::string_view list, H264UnitLayout& layout) {
  size_t at = 0;
  while (true) {
    const size_t comma = std::min(list.find(',', at), list.size());
    const std::string_view item = list.substr(at, comma - at);
    if (item == "aud") {
      layout.delimiter = true;
    } else if (item == "sei") {
      layout.sei = true;
    } else {
      return false;
    }
    if (comma == list.size()) return true;
    at = comma + 1;
  }
}

const NalUnit& accessUnitDelimiter() {
  static const NalUnit delimiter = {nal::kAccessUnitDelimiter, kAnyPrimaryPicture};
  return delimiter;
}

const NalUnit& userDataSei() {
  static const NalUnit sei = makeUserDataSei();
  return sei;
}

std::vector<NalUnit> arrangeAccessUnit(std::vector<NalUnit> units, const H264UnitLayout& layout) {
  if (!layout.parameterSetsInBand) std::erase_if(units, isParameterSet);
  const bool key = std::ranges::any_of(
      units, [](const NalUnit& unit) { return nal::typeOf(unit) == nal::kIdrSlice; });
  if (layout.sei && key) {
    // SEI must come before the first slice; after the parameter sets the encoder repeats.
    units.insert(std::ranges::find_if(units, isVcl), userDataSei());
  }
  if (layout.delimiter) units.insert(units.begin(), accessUnitDelimiter());
  return units;
}

std::vector<uint8_t> toAnnexB(const std::vector<NalUnit>& units) {
  std::vector<uint8_t> stream;
  for (const NalUnit& unit : units) {
    stream.insert(stream.end(), kStartCode.begin(), kStartCode.end());
    stream.insert(stream.end(), unit.begin(), unit.end());
  }
  return stream;
}

}  // namespace vexa::camera
