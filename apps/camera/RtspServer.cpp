#include "camera/RtspServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "camera/FrameProducer.h"
#include "camera/JpegEncoder.h"
#include "camera/MulticastTransport.h"
#include "camera/RtspMessageReader.h"
#include "camera/RtspSession.h"
#include "camera/TcpListener.h"
#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

using Clock = RtspSession::Clock;

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr int kMaxKeyFrameInterval = 1000;
constexpr int kMinReportIntervalMs = 10;
constexpr int kLingerMs = 1000;
constexpr std::string_view kEndOfHeader = "\r\n\r\n";
constexpr std::string_view kHttpVersionPrefix = "HTTP/1.";
constexpr std::string_view kBadRequest = "400 Bad Request";
constexpr std::string_view kClose = "Connection: close\r\n";
constexpr size_t kDrainBytes = 4096;

int millisecondsUntil(Clock::time_point due, Clock::time_point now) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
  return int(std::clamp<int64_t>(left, 0, TcpConnection::kWaitSliceMs));
}

// Sends a refusal and closes the connection after it.
void refuse(TcpConnection& connection, const std::string& answer,
            const std::atomic<bool>& stopping) {
  if (connection.sendText(answer, stopping, RtspServer::kSendStallLimitMs) == IoResult::Done) {
    connection.finish(stopping, kLingerMs);
  }
}

}  // namespace

RtspServer::RtspServer(RtspServerOptions options)
    : options_(std::move(options)),
      auth_({options_.user, options_.password, options_.auth, options_.nonceLifetimeSeconds},
            options_.clock),
      log_(options_.logRequests),
      tcp_([this](TcpConnection& connection,
                  const std::atomic<bool>& stopping) { serve(connection, stopping); },
           std::chrono::milliseconds(options_.dropAfterMs)) {}

RtspServer::~RtspServer() {
  stop();
}

std::string RtspServer::validateOptions() const {
  const RtspServerOptions& o = options_;
  if (o.width < kMinSide || o.height < kMinSide || o.width > kMaxSide || o.height > kMaxSide) {
    return "the picture size must be 16 to 4096 on each side";
  }
  if (o.fps < FrameProducer::kMinFps || o.fps > FrameProducer::kMaxFps) {
    return "the frame rate must be 1 to 120";
  }
  if (o.quality < JpegEncoder::kMinQuality || o.quality > JpegEncoder::kMaxQuality) {
    return "the quality must be 1 to 100";
  }
  if (o.keyFrameInterval < 0 || o.keyFrameInterval > kMaxKeyFrameInterval) {
    return "the key frame interval must be 0 to 1000";
  }
  if (o.maxRtpPacketSize < RtspServerOptions::kMinRtpPacketSize ||
      o.maxRtpPacketSize > RtspServerOptions::kMaxRtpPacketSize) {
    return "the RTP packet size must be 256 to 65535";
  }
  if (o.h264PayloadType < 96 || o.h264PayloadType > 127) {
    return "the H.264 payload type must be dynamic (96 to 127)";
  }
  if (o.senderReportIntervalMs < kMinReportIntervalMs) return "the report interval is too short";
  if (o.sessionTimeoutSeconds < 0) return "the session time-out must not be negative";
  if (std::string why = checkAuthSettings(auth_.settings()); !why.empty()) return why;
  if (o.dropAfterMs < 0) return "the drop time must not be negative";
  if (!o.multicastGroup.empty() && !isMulticastGroup(o.multicastGroup)) {
    return "the multicast group must be an IPv4 address in 224.0.0.0/4";
  }
  if (o.multicastSetup && o.multicastGroup.empty()) return "multicast SETUP needs a group";
  if (!bindableAddress(o.bindAddress, o.port)) return "cannot listen on " + o.bindAddress;
  return {};
}

bool RtspServer::startTalk() {
  if (options_.audio == AudioCodec::None) return true;
  std::unique_ptr<TalkWavWriter> wav;
  if (!options_.talkWavPath.empty()) {
    wav = TalkWavWriter::create(options_.talkWavPath, lastError_);
    if (!wav) return false;
  }
  talk_ = std::make_unique<TalkReceiver>(
      options_.audio, [this](const Endpoint& sender) { return sessionPeers_.holdsSession(sender); },
      std::move(wav));
  const auto local = bindableAddress(options_.bindAddress, options_.talkPort);
  return local && talk_->start(*local, lastError_);
}

bool RtspServer::start() {
  lastError_ = validateOptions();
  if (!lastError_.empty()) return false;
  if (!startTalk()) return false;
  // Descriptions of the group name its ports instead, the sound's among them.
  const bool groupDescribed = !options_.multicastGroup.empty() && !options_.multicastSetup;
  streams_ = defineStreams(options_, std::random_device{}(), groupDescribed ? 0 : talkPort());
  if (groupDescribed) {
    describeForGroup(streams_, options_);
    if (!broadcast_.start(streams_, lastError_)) {
      stop();
      return false;
    }
  }
  const int error = tcp_.start(options_.bindAddress, options_.port);
  if (error != 0) {
    lastError_ = "cannot listen on " +
                 bindableAddress(options_.bindAddress, options_.port)->text() + ": " +
                 std::strerror(error);
    stop();
    return false;
  }
  return true;
}

void RtspServer::stop() {
  tcp_.stop();
  broadcast_.stop();
  if (talk_) talk_->stop();
}

void RtspServer::serve(TcpConnection& connection, const std::atomic<bool>& stopping) {
  std::string opening;
  Opening kind = Opening::Undecided;
  const IoResult read = readOpening(connection, opening, kind, stopping);
  if (read == IoResult::TooLarge) refuse(connection, tunnelAnswer(kBadRequest, kClose), stopping);
  if (read != IoResult::Done) return;
  if (kind == Opening::Rtsp) {
    RtspSession session(shared_, connection.number(), connection.ends());
    const Intake intake = [&](std::string& into, size_t maxBytes, int waitMs) {
      if (opening.empty()) return connection.receiveSome(into, maxBytes, waitMs);
      const size_t taken = std::min(maxBytes, opening.size());
      into.append(opening, 0, taken);
      opening.erase(0, taken);
      return IoResult::Done;
    };
    runSession(connection, session, intake, false, stopping);
    return;
  }
  const size_t headerEnd = opening.find(kEndOfHeader) + kEndOfHeader.size();
  const auto request = parseHttpRequest(std::string_view(opening).substr(0, headerEnd));
  if (request) {
    log_.record({connection.number(),
                 request->method,
                 request->target,
                 {},
                 {},
                 request->header("Authorization").has_value()});
  }
  const std::string refusal =
      request ? refuseTunnel(*request, kind) : tunnelAnswer(kBadRequest, kClose);
  if (!refusal.empty()) {
    refuse(connection, refusal, stopping);
    return;
  }
  const std::string cookie(*request->header(kSessionCookieHeader));
  if (kind == Opening::TunnelGet) {
    serveTunnelGet(connection, cookie, opening.substr(headerEnd), stopping);
  } else {
    serveTunnelPost(connection, cookie, std::string_view(opening).substr(headerEnd), stopping);
  }
}

IoResult RtspServer::readOpening(TcpConnection& connection, std::string& opening, Opening& kind,
                                 const std::atomic<bool>& stopping) const {
  const auto timeout = std::chrono::seconds(options_.sessionTimeoutSeconds);
  const auto started = Clock::now();
  while (!stopping.load(std::memory_order_relaxed)) {
    kind = classifyOpening(opening);
    if (kind == Opening::Rtsp) return IoResult::Done;
    if (kind != Opening::Undecided && opening.find(kEndOfHeader) != std::string::npos) {
      return IoResult::Done;
    }
    if (opening.size() >= RtspMessageReader::kMaxHeaderBytes) return IoResult::TooLarge;
    if (timeout.count() > 0 && Clock::now() - started > timeout) return IoResult::TimedOut;
    const IoResult read = connection.receiveSome(
        opening, RtspMessageReader::kMaxHeaderBytes - opening.size(), TcpConnection::kWaitSliceMs);
    if (read != IoResult::Done) return read;
  }
  return IoResult::Stopped;
}

std::string RtspServer::refuseTunnel(const HttpRequest& request, Opening kind) {
  const auto cookie = request.header(kSessionCookieHeader);
  const auto accept = request.header("Accept");
  const bool acceptsTunnel = accept && accept->find(kTunnelContentType) != std::string_view::npos;
  if (!request.version.starts_with(kHttpVersionPrefix) || !cookie || cookie->empty() ||
      (kind == Opening::TunnelGet && !acceptsTunnel)) {
    return tunnelAnswer(kBadRequest, kClose);
  }
  const auto challenge =
      auth_.refusal(request.method, request.target, request.header("Authorization"));
  return challenge ? tunnelAnswer("401 Unauthorized", *challenge + std::string(kClose))
                   : std::string();
}

void RtspServer::serveTunnelGet(TcpConnection& connection, const std::string& cookie,
                                std::string rest, const std::atomic<bool>& stopping) {
  const std::shared_ptr<Tunnel> tunnel = tunnels_.open(cookie);
  if (!tunnel) {
    refuse(connection, tunnelAnswer("503 Service Unavailable", kClose), stopping);
    return;
  }
  counters_.droppedGetBytes.fetch_add(rest.size(), std::memory_order_relaxed);
  if (connection.sendText(tunnelOpenAnswer(), stopping, kSendStallLimitMs) == IoResult::Done) {
    // Media goes interleaved on this connection: the client may be behind a proxy, so no UDP.
    RtspSession session(shared_, connection.number());
    std::string dropped;
    const Intake intake = [&](std::string& into, size_t maxBytes, int waitMs) {
      tunnel->take(into, maxBytes, waitMs);
      // Some clients send RTCP here; it is counted and let go.
      dropped.clear();
      const IoResult read = connection.receiveSome(dropped, kDrainBytes, 0);
      counters_.droppedGetBytes.fetch_add(dropped.size(), std::memory_order_relaxed);
      return read;
    };
    runSession(connection, session, intake, true, stopping);
  }
  DebugTrace("RtspServer: tunnel %s closed\n", cookie.c_str());
  tunnels_.close(cookie);
}

void RtspServer::serveTunnelPost(TcpConnection& connection, const std::string& cookie,
                                 std::string_view rest, const std::atomic<bool>& stopping) {
  const std::shared_ptr<Tunnel> tunnel = tunnels_.find(cookie);
  if (!tunnel) {
    DebugTrace("RtspServer: closing a POST for unknown tunnel %s\n", cookie.c_str());
    return;
  }
  Base64Stream decoder;
  std::string received(rest), decoded;
  while (!stopping.load(std::memory_order_relaxed) && !tunnel->closed()) {
    decoded.clear();
    decoder.append(received, decoded);
    if (!decoded.empty() && !tunnel->post(decoded, stopping)) return;
    received.clear();
    if (connection.receiveSome(received, kDrainBytes, TcpConnection::kWaitSliceMs) !=
        IoResult::Done) {
      return;
    }
  }
}

void RtspServer::runSession(TcpConnection& connection, RtspSession& session, const Intake& intake,
                            bool tunnelled, const std::atomic<bool>& stopping) {
  RtspMessageReader reader;
  std::string received;
  std::vector<uint8_t> out;
  const auto timeout = std::chrono::seconds(options_.sessionTimeoutSeconds);
  auto lastHeard = Clock::now();
  const std::optional<ConnectionEnds> ends = connection.ends();
  // The client's talk audio is heard while its session lives.
  SessionPresence presence(sessionPeers_,
                           ends ? std::optional<Endpoint>(ends->peer) : std::nullopt);
  while (!stopping.load(std::memory_order_relaxed)) {
    const auto due = session.nextDue();
    const int waitMs = due ? millisecondsUntil(*due, Clock::now()) : TcpConnection::kWaitSliceMs;
    received.clear();
    const IoResult read = intake(received, reader.room(), waitMs);
    if (read != IoResult::Done) return;
    reader.append(received);
    bool malformed = false;
    while (auto message = reader.next()) {
      if (message->kind == RtspMessageReader::Kind::Request) {
        lastHeard = Clock::now();
        const std::string answer = session.answer(message->header, lastHeard);
        out.insert(out.end(), answer.begin(), answer.end());
      } else if (message->kind == RtspMessageReader::Kind::Interleaved) {
        if (options_.rtcpKeepsAlive) lastHeard = Clock::now();
        if (tunnelled) counters_.postedFrames.fetch_add(1, std::memory_order_relaxed);
        session.onInterleavedFrame(message->channel, message->data);
      } else {
        const std::string answer = session.malformedAnswer();
        out.insert(out.end(), answer.begin(), answer.end());
        malformed = true;
        break;
      }
    }
    presence.follow(!session.sessionId().empty());
    // RTCP over UDP keeps the session alive as requests do, unless told otherwise: clients of
    // that road may send no more requests once playing.
    if (session.receiveDatagrams() && options_.rtcpKeepsAlive) lastHeard = Clock::now();
    if (!malformed) session.produceDue(Clock::now(), out);
    if (!out.empty()) {
      if (connection.sendAll({out}, stopping, kSendStallLimitMs) != IoResult::Done) return;
      out.clear();
    }
    if (malformed) {
      DebugTrace("RtspServer: closing a connection after a malformed request\n");
      connection.finish(stopping, kLingerMs);
      return;
    }
    if (timeout.count() > 0 && Clock::now() - lastHeard > timeout) {
      DebugTrace("RtspServer: closing connection #%llu, silent for %d s\n",
                 static_cast<unsigned long long>(connection.number()),
                 options_.sessionTimeoutSeconds);
      return;
    }
  }
}

}  // namespace vexa::camera
