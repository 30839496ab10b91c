#include "camera/RtspServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "camera/FrameProducer.h"
#include "camera/JpegEncoder.h"
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

int millisecondsUntil(Clock::time_point due, Clock::time_point now) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
  return int(std::clamp<int64_t>(left, 0, TcpConnection::kWaitSliceMs));
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
  if (!bindableAddress(o.bindAddress, o.port)) return "cannot listen on " + o.bindAddress;
  return {};
}

bool RtspServer::start() {
  lastError_ = validateOptions();
  if (!lastError_.empty()) return false;
  streams_ = defineStreams(options_, std::random_device{}());
  const int error = tcp_.start(options_.bindAddress, options_.port);
  if (error != 0) {
    lastError_ = "cannot listen on " +
                 bindableAddress(options_.bindAddress, options_.port)->text() + ": " +
                 std::strerror(error);
    return false;
  }
  return true;
}

void RtspServer::stop() {
  tcp_.stop();
}

void RtspServer::serve(TcpConnection& connection, const std::atomic<bool>& stopping) {
  RtspSession session(shared_, connection.number(), connection.ends());
  RtspMessageReader reader;
  std::string received;
  std::vector<uint8_t> out;
  const auto timeout = std::chrono::seconds(options_.sessionTimeoutSeconds);
  auto lastHeard = Clock::now();
  while (!stopping.load(std::memory_order_relaxed)) {
    const auto due = session.nextDue();
    const int waitMs = due ? millisecondsUntil(*due, Clock::now()) : TcpConnection::kWaitSliceMs;
    received.clear();
    const IoResult read = connection.receiveSome(received, reader.room(), waitMs);
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
        session.onInterleavedFrame(message->channel, message->data);
      } else {
        const std::string answer = session.malformedAnswer();
        out.insert(out.end(), answer.begin(), answer.end());
        malformed = true;
        break;
      }
    }
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
