#include "protocol/rtsp/CodecConfigText.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/Base64.h"
#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr size_t kNotFound = std::string_view::npos;
// Two Base64 sets and their comma: anything shorter cannot be a pair.
constexpr size_t kMinSpropTextSize = 10;
constexpr char kSetSeparator = ',';
// fmtp parameters are separated by ';' (RFC 4566 section 6). Cameras do not always put the
// parameter sets or the configuration last, so the value ends at the next separator.
constexpr char kParameterSeparator = ';';
constexpr std::string_view kVisualObjectSequenceStart = "000001B0";
constexpr char kClipRectSeparator = ',';
constexpr int kNotHex = -1;

std::string_view untilParameterEnd(std::string_view value) {
  return value.substr(0, value.find(kParameterSeparator));
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return kNotHex;
}

// Decodes one Base64 set into its fixed field; a set too large for the field is refused whole,
// since a truncated SPS or PPS would only mislead the decoder.
uint32_t storeParameterSet(std::string_view base64Text,
                           std::array<uint8_t, kParameterSetSize>& field, const char* name) {
  const std::vector<uint8_t> bytes = base64::decode(base64Text);
  if (bytes.size() > field.size()) {
    DebugTrace("sprop-parameter-sets: %s of %zu bytes refused\n", name, bytes.size());
    return 0;
  }
  std::copy(bytes.begin(), bytes.end(), field.begin());
  return uint32_t(bytes.size());
}

bool isCoordinate(long long value) {
  return value >= 0 && value <= std::numeric_limits<uint32_t>::max();
}

}  // namespace

bool decodeSpropParameterSets(std::string_view text, StreamConfig& config) {
  config.spsLength = 0;
  config.ppsLength = 0;
  text = untilParameterEnd(text);
  const size_t comma = text.find(kSetSeparator);
  if (comma == kNotFound || text.size() < kMinSpropTextSize) return false;
  // Further sets after the PPS (a second PPS) are not used.
  std::string_view ppsText = text.substr(comma + 1);
  ppsText = ppsText.substr(0, ppsText.find(kSetSeparator));
  config.spsLength = storeParameterSet(text.substr(0, comma), config.sps, "SPS");
  config.ppsLength = storeParameterSet(ppsText, config.pps, "PPS");
  return config.spsLength > 0 && config.ppsLength > 0;
}

bool convertMpeg4Config(std::string_view text, StreamConfig& config,
                        const Mpeg4SizeReader& sizeReader) {
  text = untilParameterEnd(text);
  const size_t start = findText(text, kVisualObjectSequenceStart, 0, KeyMatch::IgnoreCase);
  if (start == kNotFound) return false;
  std::array<uint8_t, kMaxMpeg4ConfigBytes> bytes{};
  size_t count = 0;
  for (size_t i = start; count < bytes.size() && i + 1 < text.size(); i += 2) {
    const int high = hexDigitValue(text[i]);
    const int low = hexDigitValue(text[i + 1]);
    if (high == kNotHex || low == kNotHex) break;
    bytes[count++] = uint8_t(high << 4 | low);
  }
  if (sizeReader) {
    if (const std::optional<PictureSize> size = sizeReader(std::span(bytes).first(count))) {
      config.width = size->width;
      config.height = size->height;
    }
  }
  config.mpeg4Config = bytes;
  config.mpeg4ConfigLength = uint32_t(count);
  return true;
}

std::optional<PictureSize> parseClipRect(std::string_view value) {
  const size_t first = value.find(kClipRectSeparator);
  if (first == kNotFound) return std::nullopt;
  const size_t second = value.find(kClipRectSeparator, first + 1);
  if (second == kNotFound) return std::nullopt;
  const size_t third = value.find(kClipRectSeparator, second + 1);
  if (third == kNotFound) return std::nullopt;
  const long long a = parseLeadingInteger(value.substr(0, first));
  const long long b = parseLeadingInteger(value.substr(first + 1, second - first - 1));
  const long long c = parseLeadingInteger(value.substr(second + 1, third - second - 1));
  const long long d = parseLeadingInteger(value.substr(third + 1));
  if (!isCoordinate(a) || !isCoordinate(b) || !isCoordinate(c) || !isCoordinate(d) || c < a ||
      d < b) {
    return std::nullopt;
  }
  return PictureSize{uint32_t(c - a), uint32_t(d - b)};
}

}  // namespace vexa
