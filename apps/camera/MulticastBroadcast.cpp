#include "camera/MulticastBroadcast.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>

#include "camera/MulticastTransport.h"
#include "camera/ToneEncoder.h"

namespace vexa::camera {

namespace {

using Clock = MediaPlayout::Clock;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUnboundConnection = "c=IN IP4 0.0.0.0";
constexpr std::string_view kVideoSection = "m=video ";
constexpr std::string_view kAudioSection = "m=audio ";
constexpr std::string_view kPortZero = " 0 ";
// What senders of this kind announce ahead of the attributes, in kbit/s.
constexpr std::string_view kBandwidthLine = "b=AS:2000";
constexpr std::string_view kCname = "vexa-camera";
constexpr auto kLongestWait = std::chrono::milliseconds(10);

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(kLineEnd, start)) != std::string::npos;
       start = end + kLineEnd.size()) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool startsWith(const std::string& line, std::string_view prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

constexpr std::string_view kFmtp = "a=fmtp:";
constexpr std::string_view kConfigKey = "config=";

std::string connectionLine(const RtspServerOptions& options) {
  return "c=IN IP4 " + options.multicastGroup + "/0";
}

bool sessionConnection(const RtspServerOptions& options) {
  return options.multicastSessionConnection || options.multicastCommonDescription;
}

// Other senders write the MPEG-4 configuration in lower case and end it with ';'.
std::string commonConfigSpelling(std::string line) {
  const size_t key = line.find(kConfigKey);
  if (!startsWith(line, kFmtp) || key == std::string::npos) return line;
  size_t end = line.find(';', key);
  if (end == std::string::npos) {
    end = line.size();
    line.push_back(';');
  }
  for (size_t i = key + kConfigKey.size(); i < end; ++i) {
    line[i] = char(std::tolower(static_cast<unsigned char>(line[i])));
  }
  return line;
}

// One media section of a description as sent to the group: its port, then the group's connection
// line when it is not at session level, then the bandwidth line.
void appendSection(std::string& out, const std::vector<std::string>& section, uint16_t port,
                   const RtspServerOptions& options) {
  std::string media = section.front();
  if (const size_t zero = media.find(kPortZero); zero != std::string::npos) {
    media.replace(zero, kPortZero.size(), " " + std::to_string(port) + " ");
  }
  out.append(media).append(kLineEnd);
  if (!sessionConnection(options)) out.append(connectionLine(options)).append(kLineEnd);
  out.append(kBandwidthLine).append(kLineEnd);
  for (size_t i = 1; i < section.size(); ++i) {
    out.append(options.multicastCommonDescription ? commonConfigSpelling(section[i]) : section[i])
        .append(kLineEnd);
  }
}

struct Parts {
  std::string session;
  std::vector<std::string> video;
  std::vector<std::string> audio;
};

Parts partsOf(const std::string& description, const RtspServerOptions& options) {
  Parts parts;
  std::vector<std::string>* section = nullptr;
  for (const std::string& line : linesOf(description)) {
    if (startsWith(line, kVideoSection)) section = &parts.video;
    if (startsWith(line, kAudioSection)) section = &parts.audio;
    if (section != nullptr) {
      section->push_back(line);
    } else if (line == kUnboundConnection) {
      if (sessionConnection(options)) parts.session += connectionLine(options) + "\r\n";
    } else {
      parts.session.append(line).append(kLineEnd);
    }
  }
  return parts;
}

RtpStreamIdentity randomIdentity(std::mt19937& random) {
  return {uint32_t(random()), uint16_t(random()), uint32_t(random())};
}

}  // namespace

void describeForGroup(std::vector<StreamDefinition>& streams, const RtspServerOptions& options) {
  const MulticastPorts ports{options.multicastPort};
  const size_t streamCount = streams.size();
  std::string audioDescription;
  for (size_t i = 0; i < streamCount; ++i) {
    StreamDefinition& stream = streams[i];
    if (stream.description.empty()) continue;
    const Parts parts = partsOf(stream.description, options);
    stream.description = parts.session;
    if (!parts.video.empty()) {
      appendSection(stream.description, parts.video, ports.videoPort(i), options);
    }
    if (options.multicastCommonDescription && !parts.audio.empty()) {
      appendSection(stream.description, parts.audio, ports.audioPort(streamCount), options);
    } else if (audioDescription.empty() && !parts.audio.empty()) {
      audioDescription = parts.session;
      appendSection(audioDescription, parts.audio, ports.audioPort(streamCount), options);
    }
  }
  // Without sound, "/audio" is not found, as such cameras answer.
  if (!audioDescription.empty()) {
    streams.push_back({std::string(kMulticastAudioStream), {}, 0, audioDescription, {}});
  }
}

bool MulticastBroadcast::start(const std::vector<StreamDefinition>& streams, std::string& why) {
  const MulticastPorts ports{options_.multicastPort};
  std::mt19937 random{std::random_device{}()};
  const auto newPlayout = [&] {
    return std::make_unique<MediaPlayout>(
        options_.fps, std::chrono::milliseconds(options_.senderReportIntervalMs),
        std::string(kCname));
  };
  size_t videoStreams = 0;
  for (size_t i = 0; i < streams.size(); ++i) {
    const StreamDefinition& stream = streams[i];
    if (stream.name == kMulticastAudioStream) continue;
    ++videoStreams;
    if (stream.description.empty()) continue;
    auto source = makeVideoSource(stream.video);
    auto transport = MulticastTransport::open(options_.multicastGroup, ports.videoPort(i));
    if (!source || !transport) {
      why = "cannot send /" + stream.name + " to " + options_.multicastGroup;
      return false;
    }
    auto playout = newPlayout();
    playout->setVideo(std::move(source), RtpStream(stream.payloadType, kVideoClockRate,
                                                   std::move(transport), randomIdentity(random)));
    playouts_.push_back(std::move(playout));
  }
  if (const AudioCodecInfo* audio = audioCodecInfo(options_.audio)) {
    auto tone = std::make_unique<ToneEncoder>();
    auto transport =
        MulticastTransport::open(options_.multicastGroup, ports.audioPort(videoStreams));
    if (!tone->open(options_.audio) || !transport) {
      why = "cannot send the audio to " + options_.multicastGroup;
      return false;
    }
    auto playout = newPlayout();
    playout->setAudio(std::move(tone), RtpStream(audio->payloadType, kAudioClockRate,
                                                 std::move(transport), randomIdentity(random)));
    playouts_.push_back(std::move(playout));
  }
  const Clock::time_point now = Clock::now();
  for (const auto& playout : playouts_) playout->start(now);
  running_ = true;
  thread_ = std::thread([this] { run(); });
  return true;
}

void MulticastBroadcast::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  playouts_.clear();
}

void MulticastBroadcast::run() {
  while (running_.load(std::memory_order_relaxed)) {
    Clock::time_point now = Clock::now();
    Clock::time_point wake = now + kLongestWait;
    for (const auto& playout : playouts_) {
      packets_ += playout->produceDue(now, std::chrono::system_clock::now()).rtpPackets;
      if (const auto due = playout->nextDue()) wake = std::min(wake, *due);
    }
    std::this_thread::sleep_until(wake);
  }
}

}  // namespace vexa::camera
