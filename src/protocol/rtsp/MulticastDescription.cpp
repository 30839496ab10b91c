#include "protocol/rtsp/MulticastDescription.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kMediaLine = "m=";
constexpr std::string_view kAttributeLine = "a=";
constexpr std::string_view kConnectionLine = "c=";
constexpr std::string_view kIpv4Connection = "c=IN IP4 ";
// Lines a section may hold before or between its attributes (RFC 4566 section 5: i, c, b, k come
// before the a= lines). Standard servers write "b=AS:..." first; they must not end the section.
constexpr std::array<std::string_view, 4> kLinesBeforeAttributes = {"i=", "c=", "b=", "k="};
constexpr std::string_view kRtpmap = "rtpmap";
constexpr std::string_view kFmtp = "fmtp";
constexpr std::string_view kClipRect = "cliprect";
constexpr std::string_view kFrameRate = "framerate";
constexpr std::string_view kControl = "control";
constexpr std::string_view kVideo = "video";
constexpr std::string_view kAudio = "audio";
constexpr char kFmtpParameterSeparator = ';';
constexpr std::string_view kMpeg4ConfigParameter = "config";
constexpr std::string_view kSpropParameter = "sprop-parameter-sets";
constexpr std::string_view kMpeg4Codec = "MP4V-ES/90000";
constexpr std::string_view kJpegCodec = "JPEG/90000";
constexpr std::string_view kH264Codec = "H264/90000";
constexpr uint32_t kMaxPort = 65535;
constexpr long long kMaxCount = 0xFFFFFFFF;

constexpr std::array<std::pair<std::string_view, AudioCodecId>, 6> kAudioCodecs = {{
    {"PCMA/8000", kAudioCodecPcma},
    {"PCMU/8000", kAudioCodecPcmu},
    {"G726-16/8000", kAudioCodecG726_16},
    {"G726-24/8000", kAudioCodecG726_24},
    {"G726-32/8000", kAudioCodecG726_32},
    {"G726-40/8000", kAudioCodecG726_40},
}};

// Lines without their ends; a camera's "\n" alone ends a line too.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::string_view line = takeUntil(text, '\n');
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

// "c=IN IP4 239.1.2.3/16": the address, without the TTL (which RFC 4566 requires for a group,
// but which some servers leave out). Empty for other address types.
std::string connectionAddress(std::string_view line) {
  if (!line.starts_with(kIpv4Connection)) return {};
  std::string_view address = line.substr(kIpv4Connection.size());
  return std::string(trimBlanks(address.substr(0, address.find('/'))));
}

uint32_t parsePort(std::string_view text) {
  const long long value = parseLeadingInteger(text);
  return value < 0 || value > kMaxPort ? 0 : uint32_t(value);
}

// "m=video 5000 RTP/AVP 96": type "video", port 5000.
std::pair<std::string_view, uint32_t> readMediaLine(std::string_view line) {
  std::string_view rest = line.substr(kMediaLine.size());
  const std::string_view type = takeUntil(rest, ' ');
  return {type, parsePort(takeUntil(rest, ' '))};
}

// The text after the payload type of an rtpmap or fmtp value ("96 H264/90000").
std::string_view afterPayloadType(std::string_view value) {
  const size_t blank = value.find(' ');
  return blank == std::string_view::npos ? std::string_view() : trimBlanks(value.substr(blank + 1));
}

// The codec text of an fmtp value: MPEG-4 "config", else H.264 "sprop-parameter-sets".
// Parameter names in any case; each value ends at its ';'.
std::string fmtpCodecText(std::string_view value) {
  std::string_view parameters = afterPayloadType(value);
  std::string config;
  std::string sprop;
  while (!parameters.empty()) {
    std::string_view parameter = trimBlanks(takeUntil(parameters, kFmtpParameterSeparator));
    const std::string_view name = trimBlanks(takeUntil(parameter, '='));
    if (config.empty() && equalsIgnoringCase(name, kMpeg4ConfigParameter))
      config = trimBlanks(parameter);
    if (sprop.empty() && equalsIgnoringCase(name, kSpropParameter)) sprop = trimBlanks(parameter);
  }
  return config.empty() ? sprop : config;
}

struct Attribute {
  std::string_view name;
  std::string_view value;
};

// "a=name:value"; a flag attribute ("a=recvonly") has no value.
Attribute readAttribute(std::string_view line) {
  std::string_view rest = line.substr(kAttributeLine.size());
  const std::string_view name = takeUntil(rest, ':');
  return {name, rest};
}

bool isLineBeforeAttributes(std::string_view line) {
  for (const std::string_view prefix : kLinesBeforeAttributes)
    if (line.starts_with(prefix)) return true;
  return false;
}

struct Section {
  MulticastVideoSlot slot;
  std::string codecName;
  std::string connection;
};

class DescriptionParsing {
 public:
  DescriptionParsing(std::string_view text, MulticastDescription& description)
      : lines_(splitLines(text)), description_(description) {}

  void parse() {
    std::string sessionGroup;
    for (; at_ < lines_.size() && !isMediaLine(); ++at_)
      if (sessionGroup.empty() && lines_[at_].starts_with(kConnectionLine))
        sessionGroup = connectionAddress(lines_[at_]);
    while (at_ < lines_.size()) {
      const auto [type, port] = readMediaLine(lines_[at_++]);
      if (type == kVideo) readVideo(port);
      if (type == kAudio) readAudio(port);
      while (at_ < lines_.size() && !isMediaLine()) ++at_;
    }
    if (description_.readConnection != 1) return;
    // A section's own group serves it; the session's serves a section without one.
    const std::string& group = videoGroup_.empty() ? sessionGroup : videoGroup_;
    if (!group.empty()) description_.groupAddress = group;
  }

 private:
  bool isMediaLine() const { return lines_[at_].starts_with(kMediaLine); }

  // Calls take(attribute) for each attribute line of the section; a line of another kind ends
  // them, except for the lines that may precede attributes.
  template <typename Take>
  void forEachAttribute(std::string& connection, Take&& take) {
    for (; at_ < lines_.size(); ++at_) {
      const std::string_view line = lines_[at_];
      if (line.starts_with(kAttributeLine) && line.size() >= kAttributeLine.size() + 1) {
        take(readAttribute(line));
      } else if (isLineBeforeAttributes(line)) {
        if (connection.empty() && line.starts_with(kConnectionLine))
          connection = connectionAddress(line);
      } else {
        return;
      }
    }
  }

  void readVideo(uint32_t port) {
    Section section;
    section.slot.port = port;
    forEachAttribute(section.connection, [&](const Attribute& attribute) {
      MulticastVideoSlot& slot = section.slot;
      if (attribute.name == kRtpmap) section.codecName = afterPayloadType(attribute.value);
      if (attribute.name == kFmtp) slot.configText = fmtpCodecText(attribute.value);
      if (attribute.name == kClipRect) slot.clip = parseClipRect(attribute.value);
      if (attribute.name == kFrameRate)
        slot.frameRate = uint32_t(std::clamp(parseLeadingInteger(attribute.value), 0LL, kMaxCount));
      if (attribute.name == kControl) slot.control = attribute.value;
    });
    fill(std::move(section));
  }

  void fill(Section section) {
    MulticastVideoSlot* slot = nullptr;
    if (section.codecName == kMpeg4Codec) slot = &description_.mpeg4;
    if (section.codecName == kJpegCodec) slot = &description_.jpeg;
    if (section.codecName == kH264Codec)
      slot = description_.h264First.has ? &description_.h264Second : &description_.h264First;
    if (slot == nullptr) return;
    *slot = std::move(section.slot);
    slot->has = 1;
    // The first playable video section's group; the handler joins one group for it.
    if (!videoGroupTaken_) videoGroup_ = std::move(section.connection);
    videoGroupTaken_ = true;
  }

  void readAudio(uint32_t port) {
    description_.audioPort = port;
    std::string ignoredConnection;
    forEachAttribute(ignoredConnection, [&](const Attribute& attribute) {
      if (attribute.name == kControl) description_.audioControl = attribute.value;
      if (attribute.name != kRtpmap) return;
      const std::string_view codecName = afterPayloadType(attribute.value);
      for (const auto& [name, codec] : kAudioCodecs) {
        if (codecName != name) continue;
        description_.audioCodec = codec;
        description_.hasAudio = 1;
      }
    });
  }

  std::vector<std::string_view> lines_;
  size_t at_ = 0;
  MulticastDescription& description_;
  std::string videoGroup_;
  bool videoGroupTaken_ = false;
};

// RTCP goes to the next port up (RFC 3550 section 11), so the last port has no room for it.
bool takesPortPair(uint32_t port) {
  return port > 0 && port < kMaxPort;
}

void setVideoPorts(uint32_t port, StreamConfig& config) {
  if (!takesPortPair(port)) {
    DebugTrace("multicast: video port %u not taken\n", port);
    return;
  }
  config.videoRtpPort = uint16_t(port);
  config.videoRtcpPort = uint16_t(port + 1);
}

}  // namespace

void parseMulticastDescription(std::string_view text, MulticastDescription& description) {
  DescriptionParsing(text, description).parse();
}

const MulticastVideoSlot* playedVideoSlot(const MulticastDescription& description, uint32_t model) {
  const MulticastVideoSlot* slot = nullptr;
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4) slot = &description.mpeg4;
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG) slot = &description.jpeg;
  // Both H.264 models play the first H.264 section.
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264 ||
      model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2) {
    slot = &description.h264First;
  }
  return slot != nullptr && slot->has ? slot : nullptr;
}

void applyMulticastDescription(const MulticastDescription& description, StreamConfig& config,
                               const Mpeg4SizeReader& mpeg4SizeReader) {
  config.audioCodec = description.audioCodec;
  const uint32_t model = config.model;
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4 && description.mpeg4.has) {
    setVideoPorts(description.mpeg4.port, config);
    convertMpeg4Config(description.mpeg4.configText, config, mpeg4SizeReader);
    if (description.mpeg4.clip) {
      config.width = description.mpeg4.clip->width;
      config.height = description.mpeg4.clip->height;
    }
  }
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG && description.jpeg.has)
    setVideoPorts(description.jpeg.port, config);
  // Both H.264 models play the first H.264 section.
  if ((model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264 ||
       model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2) &&
      description.h264First.has) {
    setVideoPorts(description.h264First.port, config);
    decodeSpropParameterSets(description.h264First.configText, config);
  }
  if (description.hasAudio && takesPortPair(description.audioPort)) {
    config.audioRtpPort = uint16_t(description.audioPort);
    config.audioRtcpPort = uint16_t(description.audioPort + 1);
  }
}

}  // namespace vexa
