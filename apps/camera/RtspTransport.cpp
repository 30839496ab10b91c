#include "camera/RtspTransport.h"

#include <charconv>

#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kTcpProfile = "RTP/AVP/TCP";
constexpr std::string_view kInterleaved = "interleaved=";
constexpr unsigned kMaxChannel = 255;

std::string_view nextPiece(std::string_view& text, char separator) {
  const size_t end = text.find(separator);
  const std::string_view piece = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  return trimBlanks(piece);
}

std::optional<uint8_t> readChannel(std::string_view text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || value > kMaxChannel) return std::nullopt;
  return uint8_t(value);
}

std::optional<InterleavedChannels> readChannels(std::string_view value) {
  const size_t dash = value.find('-');
  const auto rtp = readChannel(value.substr(0, dash));
  if (!rtp) return std::nullopt;
  if (dash == std::string_view::npos) {
    if (*rtp == kMaxChannel) return std::nullopt;
    return InterleavedChannels{*rtp, uint8_t(*rtp + 1)};
  }
  const auto rtcp = readChannel(value.substr(dash + 1));
  if (!rtcp || *rtcp == *rtp) return std::nullopt;
  return InterleavedChannels{*rtp, *rtcp};
}

}  // namespace

TransportChoice chooseInterleavedTransport(std::string_view header) {
  TransportChoice choice;
  while (!header.empty()) {
    std::string_view transport = nextPiece(header, ',');
    const std::string_view profile = nextPiece(transport, ';');
    if (profile.size() != kTcpProfile.size() ||
        findText(profile, kTcpProfile, 0, KeyMatch::IgnoreCase) != 0) {
      continue;
    }
    choice.offered = true;
    choice.valid = true;
    while (!transport.empty()) {
      const std::string_view parameter = nextPiece(transport, ';');
      if (findText(parameter, kInterleaved, 0, KeyMatch::IgnoreCase) != 0) continue;
      choice.channels = readChannels(parameter.substr(kInterleaved.size()));
      choice.valid = choice.channels.has_value();
    }
    return choice;
  }
  return choice;
}

}  // namespace vexa::camera
