#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "camera/ConnectionEnds.h"
#include "camera/HttpRequest.h"
#include "camera/MediaPlayout.h"
#include "camera/PacketTransport.h"
#include "camera/RequestLog.h"
#include "camera/RtspAnswer.h"
#include "camera/RtspCounters.h"
#include "camera/RtspServerOptions.h"
#include "camera/RtspStreams.h"
#include "camera/ServerAuthenticator.h"

namespace vexa::camera {

// What every connection of one server shares.
struct RtspShared {
  const RtspServerOptions& options;
  const std::vector<StreamDefinition>& streams;
  RtspCounters& counters;
  ServerAuthenticator& auth;
  RequestLog& log;
};

// The RTSP side of one client connection: answers its requests, holds the one session it sets
// up (a SETUP without a Session header joins the connection's session, as clients that set up
// audio after video expect), and produces the session's media while it plays. Each track goes
// interleaved on the connection or as UDP datagrams, as its SETUP asked; datagrams need the
// connection's ends, from the local address to the peer's. Requests are logged, redirected,
// and checked for credentials before they are served.
class RtspSession {
 public:
  using Clock = MediaPlayout::Clock;

  // connection: the number the request log gives the connection.
  RtspSession(const RtspShared& shared, uint64_t connection,
              std::optional<ConnectionEnds> ends = std::nullopt);

  // The answer to one request (header through its empty line).
  std::string answer(std::string_view header, Clock::time_point now);
  // The answer to bytes that make no request, before the connection closes.
  std::string malformedAnswer() const;
  // An interleaved frame from the client: receiver reports on a channel set up are counted.
  void onInterleavedFrame(uint8_t channel, std::span<const uint8_t> packet);

  // Sends the media due by now: datagrams at once, interleaved frames appended to out.
  void produceDue(Clock::time_point now, std::vector<uint8_t>& out);
  // Takes the RTCP datagrams that arrived at the session's ports and counts the receiver
  // reports; true when the client was heard from.
  bool receiveDatagrams();
  std::optional<Clock::time_point> nextDue() const;

  const std::string& sessionId() const { return sessionId_; }
  bool playing() const { return playout_ && playout_->playing(); }

 private:
  std::string reply(RtspStatus status, std::string_view cseq, std::string_view headers,
                    std::string_view contentType = {}, std::string_view body = {}) const;
  // The answer for a request that is redirected or lacks credentials; nullopt for one served.
  std::optional<std::string> gate(const HttpRequest& request, const std::string& cseq);
  std::string dispatch(const HttpRequest& request, const std::string& cseq, Clock::time_point now);
  std::string describe(const HttpRequest& request, const std::string& cseq);
  std::string setup(const HttpRequest& request, const std::string& cseq);
  std::string play(const HttpRequest& request, const std::string& cseq, Clock::time_point now);
  std::string teardown(const HttpRequest& request, const std::string& cseq);
  std::string getParameter(const HttpRequest& request, const std::string& cseq);

  const StreamDefinition* findStream(const std::string& name) const;
  // Ok, or the status that refuses a request naming a session.
  RtspStatus checkSession(const HttpRequest& request, bool required) const;
  std::string sessionHeader() const;
  std::string rtpInfo(const std::string& base) const;
  RtpStreamIdentity newIdentity();
  // The road a SETUP chose, and the Transport answer that describes it (without the SSRC);
  // nullptr when its ports cannot be opened.
  std::unique_ptr<PacketTransport> openTransport(const TransportChoice& choice,
                                                 InterleavedChannels channels,
                                                 std::string& description);
  // The stream's track sent to the multicast group, at the ports the camera gives it.
  std::unique_ptr<PacketTransport> openMulticast(const StreamDefinition& stream, bool video,
                                                 std::string& description);
  void countRtcp(const RtpStream& stream, std::optional<uint8_t> channel,
                 std::span<const uint8_t> packet);

  const RtspShared& shared_;
  const RtspServerOptions& options_;
  RtspCounters& counters_;
  const uint64_t connection_;
  const std::optional<ConnectionEnds> ends_;
  std::mt19937 random_;
  std::string sessionId_;  // empty: no session
  const StreamDefinition* stream_ = nullptr;
  std::vector<uint8_t> interleaved_;  // frames not yet handed out; outlives the transports
  std::unique_ptr<MediaPlayout> playout_;
};

}  // namespace vexa::camera
