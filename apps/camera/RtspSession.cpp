#include "camera/RtspSession.h"

#include <cstdio>

#include "camera/MulticastBroadcast.h"
#include "camera/MulticastTransport.h"
#include "camera/RtspTransport.h"
#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kVersion = "RTSP/1.0";
constexpr std::string_view kMethods = "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER";
// Methods of RTSP that this camera does not serve; anything else is not RTSP at all.
constexpr std::string_view kRefusedMethods[] = {"PAUSE", "ANNOUNCE", "RECORD", "SET_PARAMETER",
                                                "REDIRECT"};
constexpr std::string_view kSdpType = "application/sdp";
constexpr std::string_view kCname = "vexa-camera";
constexpr std::string_view kEnd = "\r\n";

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// The URL without a trailing '/' or the track part, so that track names can follow it.
std::string aggregateUrl(std::string url, const RtspTarget& target) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  if (!target.track.empty() && url.ends_with("/" + target.track)) {
    url.resize(url.size() - target.track.size() - 1);
  }
  return url;
}

}  // namespace

RtspSession::RtspSession(const RtspShared& shared, uint64_t connection,
                         std::optional<ConnectionEnds> ends)
    : shared_(shared),
      options_(shared.options),
      counters_(shared.counters),
      connection_(connection),
      ends_(ends),
      random_(std::random_device{}()) {}

std::string RtspSession::reply(RtspStatus status, std::string_view cseq, std::string_view headers,
                               std::string_view contentType, std::string_view body) const {
  return rtspAnswer(status, cseq, headers, contentType, body,
                    options_.lfOnly ? LineEnds::Lf : LineEnds::CrLf);
}

std::string RtspSession::malformedAnswer() const {
  return reply(RtspStatus::BadRequest, {}, {});
}

std::string RtspSession::answer(std::string_view header, Clock::time_point now) {
  const auto request = parseHttpRequest(header);
  if (!request) return malformedAnswer();
  const std::string cseq(request->header("CSeq").value_or(""));
  shared_.log.record({connection_, request->method, request->target, cseq,
                      std::string(request->header("Session").value_or("")),
                      request->header("Authorization").has_value()});
  if (request->version != kVersion) return reply(RtspStatus::VersionNotSupported, cseq, {});
  if (cseq.empty()) return malformedAnswer();
  if (auto refusal = gate(*request, cseq)) return *refusal;
  return dispatch(*request, cseq, now);
}

std::optional<std::string> RtspSession::gate(const HttpRequest& request, const std::string& cseq) {
  if (const Redirect* redirect = findRedirect(options_.redirects, request.target)) {
    return reply(RtspStatus::MovedPermanently, cseq, "Location: " + redirect->location + "\r\n");
  }
  // Clients ask what a server offers before they know it wants credentials.
  if (request.method == "OPTIONS") return std::nullopt;
  auto challenge =
      shared_.auth.refusal(request.method, request.target, request.header("Authorization"));
  if (!challenge) return std::nullopt;
  return reply(RtspStatus::Unauthorized, cseq, *challenge);
}

std::string RtspSession::dispatch(const HttpRequest& request, const std::string& cseq,
                                  Clock::time_point now) {
  const std::string& method = request.method;
  if (method == "OPTIONS") {
    return reply(RtspStatus::Ok, cseq, "Public: " + std::string(kMethods) + "\r\n");
  }
  if (method == "DESCRIBE") return describe(request, cseq);
  if (method == "SETUP") return setup(request, cseq);
  if (method == "PLAY") return play(request, cseq, now);
  if (method == "TEARDOWN") return teardown(request, cseq);
  if (method == "GET_PARAMETER") return getParameter(request, cseq);
  for (std::string_view refused : kRefusedMethods) {
    if (method == refused) {
      return reply(RtspStatus::MethodNotAllowed, cseq, "Allow: " + std::string(kMethods) + "\r\n");
    }
  }
  return reply(RtspStatus::NotImplemented, cseq, {});
}

const StreamDefinition* RtspSession::findStream(const std::string& name) const {
  for (const StreamDefinition& stream : shared_.streams) {
    if (stream.name == name) return &stream;
  }
  return nullptr;
}

RtspStatus RtspSession::checkSession(const HttpRequest& request, bool required) const {
  const auto given = request.header("Session");
  if (!given) return required ? RtspStatus::SessionNotFound : RtspStatus::Ok;
  // The id alone: a client that echoes the time-out parameter names no session of this server.
  const std::string_view id = trimBlanks(*given);
  return !sessionId_.empty() && id == sessionId_ ? RtspStatus::Ok : RtspStatus::SessionNotFound;
}

std::string RtspSession::sessionHeader() const {
  std::string header = "Session: " + sessionId_;
  if (options_.sessionTimeoutSeconds > 0) {
    header += ";timeout=" + std::to_string(options_.sessionTimeoutSeconds);
  }
  return header.append(kEnd);
}

RtpStreamIdentity RtspSession::newIdentity() {
  RtpStreamIdentity identity;
  identity.ssrc = uint32_t(random_());
  identity.firstSequence = uint16_t(random_());
  identity.timestampBase = uint32_t(random_());
  return identity;
}

std::string RtspSession::describe(const HttpRequest& request, const std::string& cseq) {
  const RtspTarget target = parseRtspTarget(request.target);
  const StreamDefinition* stream = findStream(target.stream);
  if (!stream || !target.track.empty()) return reply(RtspStatus::NotFound, cseq, {});
  if (stream->description.empty()) {
    DebugTrace("RtspSession: %s: %s\n", stream->name.c_str(), stream->unavailable.c_str());
    return reply(RtspStatus::UnsupportedMediaType, cseq, {});
  }
  // Track URLs are the base and a control attribute put together, so the base ends in '/'.
  const std::string base = aggregateUrl(request.target, target) + "/";
  return reply(RtspStatus::Ok, cseq, "Content-Base: " + base + "\r\n", kSdpType,
               stream->description);
}

std::string RtspSession::setup(const HttpRequest& request, const std::string& cseq) {
  const RtspTarget target = parseRtspTarget(request.target);
  const StreamDefinition* stream = findStream(target.stream);
  const bool video = target.track == kVideoTrack;
  const bool audio = target.track == kAudioTrack && options_.audio != AudioCodec::None;
  if (!stream || (!video && !audio)) return reply(RtspStatus::NotFound, cseq, {});
  if (stream->description.empty()) return reply(RtspStatus::UnsupportedMediaType, cseq, {});
  if (const RtspStatus status = checkSession(request, false); status != RtspStatus::Ok) {
    return reply(status, cseq, {});
  }
  // One session per connection, serving one stream, set up before it plays.
  if ((stream_ && stream_ != stream) || playing()) {
    return reply(RtspStatus::MethodNotValidInThisState, cseq, {});
  }
  const TransportChoice transport = chooseTransport(request.header("Transport").value_or(""),
                                                    ends_.has_value() && !options_.refuseUdp,
                                                    options_.multicastSetup);
  if (!transport.offered) return reply(RtspStatus::UnsupportedTransport, cseq, {});
  if (!transport.valid) return reply(RtspStatus::BadRequest, cseq, {});
  const InterleavedChannels channels =
      transport.channels.value_or(video ? InterleavedChannels{0, 1} : InterleavedChannels{2, 3});
  const RtpStream* other = playout_ ? (video ? playout_->audio() : playout_->video()) : nullptr;
  const auto taken = other ? other->transport().channels() : std::nullopt;
  if (transport.kind == TransportKind::Interleaved && taken &&
      (taken->rtp == channels.rtp || taken->rtcp == channels.rtp || taken->rtp == channels.rtcp ||
       taken->rtcp == channels.rtcp)) {
    return reply(RtspStatus::BadRequest, cseq, {});
  }

  std::unique_ptr<VideoSource> videoSource;
  std::unique_ptr<ToneEncoder> toneEncoder;
  if (video) {
    videoSource = makeVideoSource(stream->video);
  } else {
    toneEncoder = std::make_unique<ToneEncoder>();
    if (!toneEncoder->open(options_.audio)) toneEncoder.reset();
  }
  if (!videoSource && !toneEncoder) return reply(RtspStatus::InternalServerError, cseq, {});
  std::string description;
  auto packetTransport = transport.kind == TransportKind::Multicast
                             ? openMulticast(*stream, video, description)
                             : openTransport(transport, channels, description);
  if (!packetTransport) return reply(RtspStatus::InternalServerError, cseq, {});

  if (sessionId_.empty()) {
    sessionId_ = hex8(uint32_t(random_()));
    stream_ = stream;
    playout_ = std::make_unique<MediaPlayout>(
        options_.fps, std::chrono::milliseconds(options_.senderReportIntervalMs),
        std::string(kCname));
  }
  const uint8_t payloadType =
      video ? stream->payloadType : audioCodecInfo(options_.audio)->payloadType;
  const uint32_t clockRate = video ? kVideoClockRate : kAudioClockRate;
  RtpStream rtp(payloadType, clockRate, std::move(packetTransport), newIdentity());
  // The group's listeners are not this client alone: no SSRC is promised them.
  const std::string ssrc =
      transport.kind == TransportKind::Multicast ? std::string() : ";ssrc=" + hex8(rtp.ssrc());
  const std::string transportHeader = "Transport: " + description + ssrc;
  if (video) {
    playout_->setVideo(std::move(videoSource), std::move(rtp));
  } else {
    playout_->setAudio(std::move(toneEncoder), std::move(rtp));
  }
  return reply(RtspStatus::Ok, cseq, transportHeader + "\r\n" + sessionHeader());
}

std::unique_ptr<PacketTransport> RtspSession::openTransport(const TransportChoice& choice,
                                                            InterleavedChannels channels,
                                                            std::string& description) {
  if (choice.kind == TransportKind::Interleaved) {
    description = "RTP/AVP/TCP;unicast;interleaved=" + std::to_string(channels.rtp) + "-" +
                  std::to_string(channels.rtcp);
    return std::make_unique<InterleavedTransport>(channels, interleaved_);
  }
  // Media leaves from the address the client reached, and goes only to the client itself.
  auto ports = UdpPortPair::open(ends_->local);
  if (!ports) {
    DebugTrace("RtspSession: no UDP ports on %s\n", ends_->local.text().c_str());
    return nullptr;
  }
  const ClientPorts client = choice.clientPorts;
  description = "RTP/AVP;unicast;client_port=" + std::to_string(client.rtp) + "-" +
                std::to_string(client.rtcp) + ";server_port=" + std::to_string(ports->rtpPort()) +
                "-" + std::to_string(ports->rtcpPort());
  return std::make_unique<DatagramTransport>(std::move(ports), ends_->peer, client);
}

std::unique_ptr<PacketTransport> RtspSession::openMulticast(const StreamDefinition& stream,
                                                            bool video, std::string& description) {
  const std::vector<StreamDefinition>& streams = shared_.streams;
  const size_t index = size_t(&stream - streams.data());
  const MulticastPorts ports{options_.multicastPort};
  const uint16_t port = video ? ports.videoPort(index) : ports.audioPort(streams.size());
  auto transport = MulticastTransport::open(options_.multicastGroup, port);
  if (!transport) return nullptr;
  description = "RTP/AVP;multicast;destination=" + options_.multicastGroup +
                ";port=" + std::to_string(port) + "-" + std::to_string(port + 1) +
                ";ttl=" + std::to_string(MulticastTransport::kHostOnlyTtl);
  return transport;
}

std::string RtspSession::rtpInfo(const std::string& base) const {
  std::string info;
  const std::pair<const RtpStream*, std::string_view> tracks[] = {{playout_->video(), kVideoTrack},
                                                                  {playout_->audio(), kAudioTrack}};
  for (const auto& [stream, track] : tracks) {
    if (!stream) continue;
    if (!info.empty()) info += ",";
    info += "url=" + base + "/" + std::string(track) +
            ";seq=" + std::to_string(stream->nextSequence()) +
            ";rtptime=" + std::to_string(stream->timestampAt(0));
  }
  return info;
}

std::string RtspSession::play(const HttpRequest& request, const std::string& cseq,
                              Clock::time_point now) {
  if (const RtspStatus status = checkSession(request, true); status != RtspStatus::Ok) {
    return reply(status, cseq, {});
  }
  const RtspTarget target = parseRtspTarget(request.target);
  if (target.stream != stream_->name) {
    return reply(RtspStatus::MethodNotValidInThisState, cseq, {});
  }
  std::string headers = sessionHeader() + "Range: npt=0.000-\r\n";
  if (!playout_->playing()) {
    headers += "RTP-Info: " + rtpInfo(aggregateUrl(request.target, target)) + "\r\n";
    playout_->start(now);
  }
  return reply(RtspStatus::Ok, cseq, headers);
}

std::string RtspSession::teardown(const HttpRequest& request, const std::string& cseq) {
  if (const RtspStatus status = checkSession(request, true); status != RtspStatus::Ok) {
    return reply(status, cseq, {});
  }
  const std::string header = sessionHeader();
  sessionId_.clear();
  stream_ = nullptr;
  playout_.reset();
  return reply(RtspStatus::Ok, cseq, header);
}

std::string RtspSession::getParameter(const HttpRequest& request, const std::string& cseq) {
  // Clients send it to keep a session alive.
  if (const RtspStatus status = checkSession(request, false); status != RtspStatus::Ok) {
    return reply(status, cseq, {});
  }
  return reply(RtspStatus::Ok, cseq, sessionId_.empty() ? std::string() : sessionHeader());
}

void RtspSession::onInterleavedFrame(uint8_t channel, std::span<const uint8_t> packet) {
  const RtpStream* stream = playout_ ? playout_->streamOnChannel(channel) : nullptr;
  if (!stream || stream->transport().channels()->rtcp != channel) {
    counters_.ignoredFrames.fetch_add(1, std::memory_order_relaxed);
    DebugTrace("RtspSession: ignored a %zu-byte frame on channel %u\n", packet.size(),
               unsigned(channel));
    return;
  }
  countRtcp(*stream, channel, packet);
}

bool RtspSession::receiveDatagrams() {
  if (!playout_) return false;
  bool heard = false;
  playout_->receiveRtcp([&](const RtpStream& stream, std::span<const uint8_t> packet) {
    heard = true;
    countRtcp(stream, std::nullopt, packet);
  });
  return heard;
}

void RtspSession::countRtcp(const RtpStream& stream, std::optional<uint8_t> channel,
                            std::span<const uint8_t> packet) {
  const auto report = findReceiverReport(packet);
  if (!report) {
    counters_.ignoredFrames.fetch_add(1, std::memory_order_relaxed);
    DebugTrace("RtspSession: ignored %zu bytes of RTCP without a receiver report\n", packet.size());
    return;
  }
  counters_.recordReport({!channel.has_value(), channel.value_or(0), stream.ssrc(), *report});
}

void RtspSession::produceDue(Clock::time_point now, std::vector<uint8_t>& out) {
  if (!playout_) return;
  const auto produced = playout_->produceDue(now, std::chrono::system_clock::now());
  counters_.rtpPackets.fetch_add(produced.rtpPackets, std::memory_order_relaxed);
  counters_.senderReports.fetch_add(produced.senderReports, std::memory_order_relaxed);
  if (out.empty()) {
    out.swap(interleaved_);  // out's spare capacity serves the next round
  } else {
    out.insert(out.end(), interleaved_.begin(), interleaved_.end());
    interleaved_.clear();
  }
}

std::optional<RtspSession::Clock::time_point> RtspSession::nextDue() const {
  return playout_ ? playout_->nextDue() : std::nullopt;
}

}  // namespace vexa::camera
