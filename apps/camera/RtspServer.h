#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/HttpTunnel.h"
#include "camera/MulticastBroadcast.h"
#include "camera/RequestLog.h"
#include "camera/RtspCounters.h"
#include "camera/RtspServerOptions.h"
#include "camera/RtspSession.h"
#include "camera/RtspStreams.h"
#include "camera/ServerAuthenticator.h"
#include "camera/SessionPeers.h"
#include "camera/TalkReceiver.h"
#include "camera/TcpServer.h"

namespace vexa::camera {

// Serves the generated pictures and tone over RTSP/1.0, with RTP and RTCP interleaved on the
// connection (RFC 2326 section 10.12) or as UDP datagrams between the ports SETUP names:
// H.264 under /h264 (and at half size under /h264_2), RTP/JPEG under /jpeg, MPEG-4 visual under
// /mpeg4, each with the audio track the options name. The options make it play the parts of other
// servers: credentials, redirects, LF-only answers, no UDP, dropped connections. With audio, a
// UDP port takes the sound clients holding a session send back (talk). The same port
// takes RTSP tunnelled over HTTP: a GET connection for the answers and media, and POST
// connections with the requests in Base64, paired by their x-sessioncookie.
class RtspServer {
 public:
  static constexpr int kSendStallLimitMs = 10000;

  explicit RtspServer(RtspServerOptions options = {});
  RtspServer(const RtspServer&) = delete;
  RtspServer& operator=(const RtspServer&) = delete;
  ~RtspServer();

  // False, with lastError() saying why, for bad options or an address that cannot be bound.
  bool start();
  void stop();

  uint16_t port() const { return tcp_.port(); }
  const RtspServerOptions& options() const { return options_; }
  const std::string& lastError() const { return lastError_; }
  // The streams offered; valid after start().
  const std::vector<StreamDefinition>& streams() const { return streams_; }

  // Well-formed receiver reports clients sent on the RTCP channel or to the RTCP port of a
  // stream set up.
  uint64_t receiverReportsReceived() const {
    return counters_.receiverReports.load(std::memory_order_relaxed);
  }
  std::optional<ReceivedReport> lastReceiverReport() const { return counters_.lastReport(); }
  uint64_t senderReportsSent() const {
    return counters_.senderReports.load(std::memory_order_relaxed);
  }
  uint64_t rtpPacketsSent() const { return counters_.rtpPackets.load(std::memory_order_relaxed); }
  // RTP packets sent to the multicast group.
  uint64_t multicastPacketsSent() const { return broadcast_.packetsSent(); }
  uint64_t ignoredFrames() const { return counters_.ignoredFrames.load(std::memory_order_relaxed); }
  // Interleaved frames (RTCP) that came on a tunnel's POST connection.
  uint64_t postedFrames() const { return counters_.postedFrames.load(std::memory_order_relaxed); }
  // Bytes sent on a tunnel's GET connection after its request, counted and dropped.
  uint64_t droppedGetBytes() const {
    return counters_.droppedGetBytes.load(std::memory_order_relaxed);
  }
  size_t activeClients() const { return tcp_.activeConnections(); }
  AuthCounts authCounts() const { return auth_.counts(); }
  // Every request received, oldest first (the newest RequestLog::kMaxEntries).
  std::vector<LoggedRequest> requestLog() const { return log_.entries(); }

  // The receiver of clients' talk audio; null without audio or before start().
  const TalkReceiver* talk() const { return talk_.get(); }
  uint16_t talkPort() const { return talk_ ? talk_->port() : 0; }

  // Closes every open connection at once, and with it its session and UDP media.
  void dropAllConnections() { tcp_.dropAll(); }
  uint64_t droppedConnections() const { return tcp_.droppedConnections(); }

 private:
  std::string validateOptions() const;
  bool startTalk();
  // Takes at most maxBytes of the client's RTSP bytes, waiting at most waitMs for them.
  using Intake = std::function<IoResult(std::string& into, size_t maxBytes, int waitMs)>;

  void serve(TcpConnection& connection, const std::atomic<bool>& stopping);
  // Reads until the first bytes tell plain RTSP from a tunnel half, and a tunnel half through
  // its header.
  IoResult readOpening(TcpConnection& connection, std::string& opening, Opening& kind,
                       const std::atomic<bool>& stopping) const;
  // Answers the requests intake gives and sends media, all on connection, until either ends.
  void runSession(TcpConnection& connection, RtspSession& session, const Intake& intake,
                  bool tunnelled, const std::atomic<bool>& stopping);
  // The answer that refuses a tunnel request, or empty for one that may proceed.
  std::string refuseTunnel(const HttpRequest& request, Opening kind);
  void serveTunnelGet(TcpConnection& connection, const std::string& cookie, std::string rest,
                      const std::atomic<bool>& stopping);
  void serveTunnelPost(TcpConnection& connection, const std::string& cookie, std::string_view rest,
                       const std::atomic<bool>& stopping);

  const RtspServerOptions options_;
  std::vector<StreamDefinition> streams_;
  RtspCounters counters_;
  ServerAuthenticator auth_;
  RequestLog log_;
  TunnelRegistry tunnels_;
  const RtspShared shared_{options_, streams_, counters_, auth_, log_};
  TcpServer tcp_;
  MulticastBroadcast broadcast_{options_};
  SessionPeers sessionPeers_;
  std::unique_ptr<TalkReceiver> talk_;
  std::string lastError_;
};

}  // namespace vexa::camera
