#include "camera/RtspTransport.h"

#include <charconv>

#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kTcpProfile = "RTP/AVP/TCP";
constexpr std::string_view kUdpProfiles[] = {"RTP/AVP", "RTP/AVP/UDP"};
constexpr std::string_view kInterleaved = "interleaved=";
constexpr std::string_view kClientPort = "client_port=";
constexpr std::string_view kMulticast = "multicast";
constexpr unsigned kMaxChannel = 255;
constexpr unsigned kMaxPort = 0xFFFF;

std::string_view nextPiece(std::string_view& text, char separator) {
  const size_t end = text.find(separator);
  const std::string_view piece = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  return trimBlanks(piece);
}

bool equalsIgnoringCase(std::string_view text, std::string_view key) {
  return text.size() == key.size() && findText(text, key, 0, KeyMatch::IgnoreCase) == 0;
}

bool startsIgnoringCase(std::string_view text, std::string_view key) {
  return findText(text, key, 0, KeyMatch::IgnoreCase) == 0;
}

// A decimal number no larger than limit, and nothing else.
std::optional<unsigned> readNumber(std::string_view text, unsigned limit) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || value > limit) return std::nullopt;
  return value;
}

// "N-M" or "N" (then M = N + 1): two different numbers from lowest to limit.
std::optional<std::pair<unsigned, unsigned>> readRange(std::string_view value, unsigned lowest,
                                                       unsigned limit) {
  const size_t dash = value.find('-');
  const auto first = readNumber(value.substr(0, dash), limit);
  if (!first || *first < lowest) return std::nullopt;
  if (dash == std::string_view::npos) {
    if (*first == limit) return std::nullopt;
    return std::pair{*first, *first + 1};
  }
  const auto second = readNumber(value.substr(dash + 1), limit);
  if (!second || *second < lowest || *second == *first) return std::nullopt;
  return std::pair{*first, *second};
}

TransportChoice readInterleaved(std::string_view parameters) {
  TransportChoice choice;
  choice.offered = true;
  choice.valid = true;
  while (!parameters.empty()) {
    const std::string_view parameter = nextPiece(parameters, ';');
    if (!startsIgnoringCase(parameter, kInterleaved)) continue;
    const auto range = readRange(parameter.substr(kInterleaved.size()), 0, kMaxChannel);
    choice.channels.reset();
    if (range) choice.channels = InterleavedChannels{uint8_t(range->first), uint8_t(range->second)};
    choice.valid = choice.channels.has_value();
  }
  return choice;
}

// Not offered when the parameters do not make a unicast stream with client ports.
TransportChoice readDatagram(std::string_view parameters, bool multicast) {
  TransportChoice choice;
  choice.kind = TransportKind::Datagram;
  bool hasPorts = false;
  while (!parameters.empty()) {
    const std::string_view parameter = nextPiece(parameters, ';');
    if (equalsIgnoringCase(parameter, kMulticast)) {
      if (!multicast) return {};
      return {.offered = true, .valid = true, .kind = TransportKind::Multicast};
    }
    if (!startsIgnoringCase(parameter, kClientPort)) continue;
    const auto range = readRange(parameter.substr(kClientPort.size()), 1, kMaxPort);
    if (!range) return {};
    choice.clientPorts = {uint16_t(range->first), uint16_t(range->second)};
    hasPorts = true;
  }
  choice.offered = choice.valid = hasPorts;
  return choice;
}

}  // namespace

TransportChoice chooseTransport(std::string_view header, bool datagrams, bool multicast) {
  while (!header.empty()) {
    std::string_view transport = nextPiece(header, ',');
    const std::string_view profile = nextPiece(transport, ';');
    if (equalsIgnoringCase(profile, kTcpProfile)) return readInterleaved(transport);
    if (!datagrams && !multicast) continue;
    for (std::string_view udp : kUdpProfiles) {
      if (!equalsIgnoringCase(profile, udp)) continue;
      const TransportChoice choice = readDatagram(transport, multicast);
      const bool served = choice.kind == TransportKind::Multicast || datagrams;
      if (choice.offered && served) return choice;
    }
  }
  return {};
}

}  // namespace vexa::camera
