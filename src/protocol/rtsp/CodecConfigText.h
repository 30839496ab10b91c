#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "common/StreamConfig.h"
#include "media/Mpeg4Configuration.h"

namespace vexa {

// Reads the picture size out of an MPEG-4 visual configuration (its video object layer header);
// nullopt when the configuration does not say.
using Mpeg4SizeReader = std::function<std::optional<PictureSize>(std::span<const uint8_t>)>;

// The value of an "sprop-parameter-sets" fmtp parameter (RFC 6184 section 8.1), Base64 SPS, then
// PPS, comma separated: decodes both into the configuration's parameter sets. Both lengths are
// cleared first; nothing more happens when the text has no comma or is too short to hold two
// sets. A set that does not fit its 256-byte field is refused (its length stays 0). Returns true
// when both sets were stored.
bool decodeSpropParameterSets(std::string_view text, StreamConfig& config);

// The value of an MPEG-4 "config" fmtp parameter (RFC 3016 section 5.2), hexadecimal digits in
// either case, ending at the first ';' or non-digit: from the visual object sequence start code
// on, up to kMaxMpeg4ConfigBytes bytes go into mpeg4Config (the rest zero) with their count in
// mpeg4ConfigLength, and sizeReader, when given, sets width and height from those bytes.
// Returns false, changing nothing, when the text holds no start code.
bool convertMpeg4Config(std::string_view text, StreamConfig& config,
                        const Mpeg4SizeReader& sizeReader = readMpeg4PictureSize);

// An "a=cliprect" value of four comma-separated numbers a,b,c,d: width c - a, height d - b.
// nullopt when there are fewer than four or they span no picture.
std::optional<PictureSize> parseClipRect(std::string_view value);

}  // namespace vexa
