#include "protocol/rtsp/RtspExchange.h"

#include <algorithm>
#include <utility>

#include "common/DebugTrace.h"
#include "common/TextFields.h"
#include "common/UrlParts.h"
#include "protocol/rtsp/RtspRequests.h"

namespace vexa::rtsp {

namespace {

constexpr int kUnauthorized = 401;
constexpr int kMethodNotAllowed = 405;
constexpr int kNotImplemented = 501;
constexpr int kUnsupportedTransport = 461;
constexpr int kSessionNotFound = 454;
constexpr std::string_view kRtspScheme = "rtsp";
constexpr std::string_view kCseqKey = "\r\nCSeq: ";
constexpr uint32_t kMsPerSecond = 1000;
// Beyond an hour a session time-out is not one a camera means.
constexpr uint64_t kMaxKeepAliveIntervalMs = 3600 * kMsPerSecond;

// The method and CSeq of a request this system built: "METHOD url RTSP/1.0\r\nCSeq: n\r\n".
std::string methodOf(std::string_view request) { return std::string(request.substr(0, request.find(' '))); }

std::optional<uint32_t> cseqOf(std::string_view request) {
  const size_t at = request.find(kCseqKey);
  if (at == std::string_view::npos) return std::nullopt;
  return uint32_t(parseLeadingInteger(request.substr(at + kCseqKey.size())));
}

}  // namespace

RtspExchange::RtspExchange(SocketWorker& worker, const platform::Clock& clock)
    : worker_(worker), clock_(clock) {}

void RtspExchange::begin(auth::Credentials credentials, std::string host) {
  credentials_ = credentials;
  authenticator_.setCredentials(std::move(credentials));
  originalHost_ = std::move(host);
  redirects_ = 0;
  redirect_ = {};
  pendingMethod_.clear();
  pendingCseq_.reset();
  keepingAlive_ = false;
  keepAliveWithOptions_ = false;
}

std::string RtspExchange::prepare(std::string_view request, bool optional) {
  pendingOptional_ = optional;
  pendingMethod_ = methodOf(request);
  pendingCseq_ = cseqOf(request);
  sentAt_ = clock_.tickCount();
  return authenticator_.authorize(request);
}

void RtspExchange::send(std::string_view request, bool optional) {
  worker_.sendAll(prepare(request, optional));
}

void RtspExchange::expectAnswerTo(std::string_view method) {
  pendingOptional_ = false;
  pendingMethod_ = method;
  pendingCseq_.reset();
  sentAt_ = clock_.tickCount();
}

bool RtspExchange::answerOverdue() const {
  return !pendingMethod_.empty() && clock_.tickCount() - sentAt_ >= kAnswerTimeoutMs;
}

RtspExchange::Verdict RtspExchange::judge(const RtspAnswer& answer) {
  if (answer.refused) return {Next::kFail, StreamFailure{StreamFault::kAnswerUnreadable, {}}};
  // Servers that echo no CSeq are taken at their word; one that echoes another is answering an
  // earlier request (a keep-alive, say) that is no longer waited for.
  if (answer.cseq && pendingCseq_ && *answer.cseq != *pendingCseq_) return {Next::kIgnore, {}};
  const std::string method = std::exchange(pendingMethod_, {});
  pendingCseq_.reset();

  if (hasHeader(answer.head, "Public") &&
      headerValue(answer.head, "Public").find(kGetParameter) == std::string::npos) {
    keepAliveWithOptions_ = true;
  }
  if (answer.statusCode == kUnauthorized) {
    if (authenticator_.onUnauthorized(answer.head) == auth::Authenticator::Verdict::kRetry) {
      return {Next::kRetry, {}};
    }
    return {Next::kFail, StreamFailure{StreamFault::kAuthenticationRefused, authenticator_.refusal()}};
  }
  authenticator_.onAnswered();
  if (method == kGetParameter &&
      (answer.statusCode == kMethodNotAllowed || answer.statusCode == kNotImplemented)) {
    // The keep-alive goes again, as OPTIONS.
    keepAliveWithOptions_ = true;
    return {Next::kRetry, {}};
  }
  if (answer.redirect()) {
    if (takeRedirect(answer)) return {Next::kRedirect, {}};
    return {Next::kFail, errorAnswer(answer.statusLine, method)};
  }
  // A status line this reader does not know is let through, as older cameras need.
  if (answer.success() || answer.statusCode == 0) return {Next::kProceed, {}};
  const StreamFault fault = answer.statusCode == kUnsupportedTransport
                                ? StreamFault::kTransportRefused
                                : StreamFault::kErrorAnswer;
  return {pendingOptional_ ? Next::kSkip : Next::kFail, errorAnswer(answer.statusLine, method, fault)};
}

void RtspExchange::take(const RtspAnswer& answer, const Actions& actions) {
  const Verdict verdict = judge(answer);
  switch (verdict.next) {
    case Next::kProceed:
      actions.proceed(answer);
      return;
    case Next::kRetry:
      actions.sendAgain();
      return;
    case Next::kRedirect:
      actions.follow(redirect_);
      return;
    case Next::kFail:
      worker_.endConnection(*verdict.failure);
      return;
    case Next::kSkip:
      DebugTrace("rtsp: going on without it: %s", verdict.failure->cause().c_str());
      actions.skip();
      return;
    case Next::kIgnore:
      return;
  }
}

void RtspExchange::takeWhilePlaying(const RtspAnswer& answer,
                                    const std::function<void()>& sendKeepAliveAgain) {
  const Verdict verdict = judge(answer);
  if (verdict.next == Next::kRetry) {
    sendKeepAliveAgain();
  } else if (verdict.next == Next::kFail &&
             (answer.statusCode == kSessionNotFound ||
              verdict.failure->fault == StreamFault::kAuthenticationRefused)) {
    worker_.endConnection(*verdict.failure);
  }
}

// Only RTSP URLs are followed, and only a few times; the credentials go along only to the host
// they were given for, unless the Location brings its own.
bool RtspExchange::takeRedirect(const RtspAnswer& answer) {
  const std::string location(trimBlanks(headerValue(answer.head, "Location")));
  const UrlParts parts = splitUrl(location);
  if (redirects_ >= kMaxRedirects || !equalsIgnoringCase(parts.scheme, kRtspScheme) ||
      parts.host.empty()) {
    DebugTrace("rtsp: redirect to '%s' not followed", location.c_str());
    return false;
  }
  ++redirects_;
  redirect_ = {parts.host, parts.port.value_or(kDefaultPort),
               streamUrl(parts.host, parts.port.value_or(kDefaultPort), parts.path)};
  if (parts.user) {
    authenticator_.setCredentials({*parts.user, parts.password});
  } else if (!equalsIgnoringCase(parts.host, originalHost_)) {
    authenticator_.setCredentials({});
  } else {
    authenticator_.setCredentials(credentials_);
  }
  return true;
}

void RtspExchange::startKeepAlive(std::optional<uint32_t> sessionTimeoutSeconds) {
  const uint64_t timeoutMs =
      uint64_t(sessionTimeoutSeconds.value_or(kDefaultSessionTimeoutSeconds)) * kMsPerSecond;
  keepAliveIntervalMs_ =
      uint32_t(std::clamp<uint64_t>(timeoutMs / 2, kMinKeepAliveIntervalMs, kMaxKeepAliveIntervalMs));
  lastKeepAliveAt_ = clock_.tickCount();
  keepingAlive_ = true;
}

std::optional<std::string_view> RtspExchange::keepAliveDue() {
  if (!keepingAlive_ || clock_.tickCount() - lastKeepAliveAt_ < keepAliveIntervalMs_) {
    return std::nullopt;
  }
  lastKeepAliveAt_ = clock_.tickCount();
  return keepAliveMethod();
}

std::string_view RtspExchange::keepAliveMethod() const {
  return keepAliveWithOptions_ ? kOptions : kGetParameter;
}


}  // namespace vexa::rtsp
