#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "camera/HttpRequest.h"
#include "camera/MediaPlayout.h"
#include "camera/RtspAnswer.h"
#include "camera/RtspCounters.h"
#include "camera/RtspServerOptions.h"
#include "camera/RtspStreams.h"

namespace vexa::camera {

// The RTSP side of one client connection: answers its requests, holds the one session it sets
// up (a SETUP without a Session header joins the connection's session, as clients that set up
// audio after video expect), and produces the session's media while it plays.
class RtspSession {
 public:
  using Clock = MediaPlayout::Clock;

  RtspSession(const RtspServerOptions& options, const std::vector<StreamDefinition>& streams,
              RtspCounters& counters);

  // The answer to one request (header through its empty line).
  std::string answer(std::string_view header, Clock::time_point now);
  // An interleaved frame from the client: receiver reports on a channel set up are counted.
  void onInterleavedFrame(uint8_t channel, std::span<const uint8_t> packet);

  // Appends the media due by now.
  void produceDue(Clock::time_point now, std::vector<uint8_t>& out);
  std::optional<Clock::time_point> nextDue() const;

  const std::string& sessionId() const { return sessionId_; }
  bool playing() const { return playout_ && playout_->playing(); }

 private:
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

  const RtspServerOptions& options_;
  const std::vector<StreamDefinition>& streams_;
  RtspCounters& counters_;
  std::mt19937 random_;
  std::string sessionId_;  // empty: no session
  const StreamDefinition* stream_ = nullptr;
  std::unique_ptr<MediaPlayout> playout_;
};

}  // namespace vexa::camera
