// The MPEG-4 decoder configuration: arbitrary bytes read as a "config" text, and as the binary
// configuration behind a visual object sequence start code, sent through the text the way a
// camera writes it. The stored bytes must be those sent, within the cap, and the size read from
// them a real one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "media/Mpeg4Configuration.h"
#include "protocol/rtsp/CodecConfigText.h"

namespace {

constexpr std::string_view kSequenceStart = "000001B0";
constexpr uint32_t kMaxDimension = (1u << 13) - 1;
constexpr char kHexDigits[] = "0123456789abcdef";

std::string asHex(std::span<const uint8_t> bytes) {
  std::string text(kSequenceStart);
  for (const uint8_t byte : bytes) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

bool isRealSize(const vexa::PictureSize& picture) {
  return picture.width > 0 && picture.width <= kMaxDimension && picture.height > 0 &&
         picture.height <= kMaxDimension;
}

// The size a reading left in the configuration: none, or a real one.
bool keptNoneOrRealSize(const vexa::StreamConfig& config) {
  const vexa::PictureSize kept{config.width, config.height};
  return kept == vexa::PictureSize{} || isRealSize(kept);
}

bool storedWithinCap(const vexa::StreamConfig& config) {
  return config.mpeg4ConfigLength <= vexa::kMaxMpeg4ConfigBytes &&
         std::all_of(config.mpeg4Config.begin() + config.mpeg4ConfigLength,
                     config.mpeg4Config.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  const std::optional<vexa::PictureSize> direct = vexa::readMpeg4PictureSize(input);
  if (direct && !isRealSize(*direct)) __builtin_trap();

  vexa::StreamConfig asText;
  vexa::convertMpeg4Config(std::string_view(reinterpret_cast<const char*>(data), size), asText);
  if (!storedWithinCap(asText) || !keptNoneOrRealSize(asText)) __builtin_trap();

  vexa::StreamConfig sent;
  if (!vexa::convertMpeg4Config(asHex(input), sent) || !storedWithinCap(sent)) __builtin_trap();
  const std::span<const uint8_t> stored(sent.mpeg4Config.data(), sent.mpeg4ConfigLength);
  const size_t startBytes = kSequenceStart.size() / 2;
  if (stored.size() != std::min(startBytes + size, vexa::kMaxMpeg4ConfigBytes) ||
      !std::equal(stored.begin() + startBytes, stored.end(), data)) {
    __builtin_trap();
  }
  const std::optional<vexa::PictureSize> fromStored = vexa::readMpeg4PictureSize(stored);
  if (vexa::PictureSize{sent.width, sent.height} != fromStored.value_or(vexa::PictureSize{})) {
    __builtin_trap();
  }
  return 0;
}
