#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "net/SocketWorker.h"
#include "net/StreamFailure.h"
#include "platform/Clock.h"
#include "protocol/auth/Authenticator.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa::rtsp {

// Where a redirect sends the dialogue: a new connection and the stream's URL on it.
struct RedirectTarget {
  std::string host;
  uint16_t port = 0;
  std::string url;  // the Location, without any user information
};

// The request-and-answer bookkeeping of one RTSP connection, shared by both dialogues: the
// credentials a request carries, which answer belongs to the request in flight, what an answer
// asks for (go on, send again with credentials, go elsewhere, give up), when a request has gone
// unanswered too long, and when the playing session is due a keep-alive.
class RtspExchange {
 public:
  // A request unanswered this long means the camera does not answer.
  static constexpr uint32_t kAnswerTimeoutMs = 10000;
  // Redirects followed in one attempt at most: more is a loop.
  static constexpr int kMaxRedirects = 3;
  // The session time-out assumed when the server names none (RFC 2326 section 12.37).
  static constexpr uint32_t kDefaultSessionTimeoutSeconds = 60;
  // Low enough that a server announcing a time-out of a few seconds is still kept alive.
  static constexpr uint32_t kMinKeepAliveIntervalMs = 1000;

  // worker: the connection's, which the exchange sends on and ends when an answer asks it to.
  RtspExchange(SocketWorker& worker, const platform::Clock& clock);

  // A new attempt on a new connection: the credentials and the host the dialogue starts with.
  void begin(auth::Credentials credentials, std::string host);

  // The request as it goes on the wire (with its Authorization line once a challenge has been
  // taken); it becomes the request in flight. An optional request (the audio track's SETUP,
  // with the video set up) may fail without ending the dialogue.
  std::string prepare(std::string_view request, bool optional = false);
  // Prepares the request and sends it on the worker.
  void send(std::string_view request, bool optional = false);
  // A request outside the dialogue (a tunnel's GET) is now in flight: it times out like any.
  void expectAnswerTo(std::string_view method);

  enum class Next {
    kProceed,   // the answer is a success (or without a status line): the dialogue goes on
    kRetry,     // send the request again: with credentials, or a keep-alive as OPTIONS
    kRedirect,  // go to redirectTarget()
    kFail,      // failure says why
    kSkip,      // the optional request failed: go on without it
    kIgnore,    // not the answer to the request in flight
  };
  struct Verdict {
    Next next = Next::kProceed;
    std::optional<StreamFailure> failure;
  };
  Verdict judge(const RtspAnswer& answer);

  // What an answer can ask of a dialogue besides ending its connection, which the exchange does.
  struct Actions {
    std::function<void()> sendAgain;  // the request in flight once more
    std::function<void(const RedirectTarget&)> follow;
    std::function<void(const RtspAnswer&)> proceed;  // a success: the dialogue's next step
    std::function<void()> skip;                       // go on without the optional request
  };
  // Judges an answer of the dialogue and does what it asks.
  void take(const RtspAnswer& answer, const Actions& actions);
  // The same for an answer while playing, to a keep-alive: another try (with credentials, or as
  // OPTIONS), or the end of a session the server no longer knows. Anything else changes nothing.
  void takeWhilePlaying(const RtspAnswer& answer, const std::function<void()>& sendKeepAliveAgain);
  const RedirectTarget& redirectTarget() const { return redirect_; }
  // The method of the request in flight; empty when none waits.
  const std::string& pendingMethod() const { return pendingMethod_; }
  // A request has waited for its answer longer than kAnswerTimeoutMs.
  bool answerOverdue() const;

  // ---- keep-alive while playing ----
  // The session is playing from now on; its SETUP answer's time-out sets the interval
  // (half of it, at least kMinKeepAliveIntervalMs).
  void startKeepAlive(std::optional<uint32_t> sessionTimeoutSeconds);
  // The method of the keep-alive due now, if one is (it counts as sent): GET_PARAMETER, or
  // OPTIONS once the server showed it has no GET_PARAMETER (a 405 or 501 to it, which judge()
  // answers with kRetry, or a Public header that leaves it out).
  std::optional<std::string_view> keepAliveDue();
  std::string_view keepAliveMethod() const;
  uint32_t keepAliveIntervalMs() const { return keepAliveIntervalMs_; }

 private:
  bool takeRedirect(const RtspAnswer& answer);

  SocketWorker& worker_;
  const platform::Clock& clock_;
  auth::Authenticator authenticator_;
  auth::Credentials credentials_;
  std::string originalHost_;
  int redirects_ = 0;
  RedirectTarget redirect_;

  std::string pendingMethod_;
  std::optional<uint32_t> pendingCseq_;
  bool pendingOptional_ = false;
  uint32_t sentAt_ = 0;

  bool keepingAlive_ = false;
  bool keepAliveWithOptions_ = false;
  uint32_t keepAliveIntervalMs_ = 0;
  uint32_t lastKeepAliveAt_ = 0;
};

}  // namespace vexa::rtsp
