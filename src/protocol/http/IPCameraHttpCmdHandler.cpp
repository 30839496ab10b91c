#include "protocol/http/IPCameraHttpCmdHandler.h"

#include "common/Base64.h"
#include "common/DebugTrace.h"

namespace vexa {

namespace {

constexpr std::string_view kMethod = "GET";
constexpr std::string_view kVersion = " HTTP/1.1\r\n";
constexpr std::string_view kCrLf = "\r\n";
constexpr int kUnauthorized = 401;

bool fitsRequestLine(const std::string& target) {
  return target.size() <= IPCamera_Http_Cmd_Handler::kMaxTargetBytes &&
         target.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

IPCamera_Http_Cmd_Handler::IPCamera_Http_Cmd_Handler(std::function<std::string()> cnonce,
                                                     platform::NameResolver resolve)
    : authenticator_({}, std::move(cnonce)),
      worker_({.read = [this] { onRecv(); },
               .write = [this] { onSend(); },
               .quiet = [this] { onQuiet(); },
               .connected = [this](int error) { onConnected(error); },
               .closed = [this] { onClosed(); }},
              std::move(resolve)) {}

IPCamera_Http_Cmd_Handler::~IPCamera_Http_Cmd_Handler() {
  worker_.stop();
}

bool IPCamera_Http_Cmd_Handler::Request(const std::string& host, uint16_t port,
                                        const std::string& target, const std::string& user,
                                        const std::string& pass, int32_t timeoutMs) {
  if (worker_.hasThread()) {
    if (!worker_.finished()) return false;
    worker_.setAsideFinished();  // its thread may still be exiting: no waiting for it
  }
  if (!fitsRequestLine(target)) {
    DebugTrace("http command: target refused (%zu bytes, or a line break)", target.size());
    return false;
  }
  host_ = host;
  port_ = port;
  target_ = target;
  if (!user.empty() || !pass.empty()) {
    const std::string credentials = base64::encode(user + ":" + pass);
    if (credentials != credentials_) authenticator_.setCredentials({user, pass});
    credentials_ = credentials;
  }
  idle_ = IdleCountdown(timeoutMs);
  reader_.reset();
  requestSent_ = false;
  status_ = 0;
  if (worker_.play({.host = host_, .port = port_})) return true;
  status_ = kFailed;
  return false;
}

int32_t IPCamera_Http_Cmd_Handler::GetStatus() const {
  if (worker_.hasThread() && !worker_.finished()) return 0;
  const int32_t status = status_;
  // A worker that ended without an answer failed, whatever ended it.
  return status == 0 && worker_.finished() ? kFailed : status;
}

std::string IPCamera_Http_Cmd_Handler::GetResponse() const {
  std::lock_guard lock(answerLock_);
  return answer_;
}

void IPCamera_Http_Cmd_Handler::end(int32_t status) {
  status_ = status;
  worker_.requestStop();
}

void IPCamera_Http_Cmd_Handler::onConnected(int error) {
  if (error != 0) {
    end(kFailed);
    return;
  }
  // A new connection (the first, or the retry with credentials) takes the request afresh.
  reader_.reset();
  requestSent_ = false;
}

void IPCamera_Http_Cmd_Handler::onSend() {
  if (requestSent_) return;
  requestSent_ = true;
  if (!worker_.sendAll(requestText())) end(kFailed);
}

void IPCamera_Http_Cmd_Handler::onRecv() {
  if (!takeReceived()) return;
  onReaderState(reader_.state());
}

// One receive handed to the reader; false when nothing came.
bool IPCamera_Http_Cmd_Handler::takeReceived() {
  if (worker_.receive() <= 0) return false;
  reader_.feed(worker_.recvBuffer().text());
  worker_.recvBuffer().clear();
  return true;
}

void IPCamera_Http_Cmd_Handler::onQuiet() {
  if (idle_.expiresAfterQuietPeriod()) {
    DebugTrace("http command: no answer in time");
    end(kFailed);
  }
}

// What the peer sent before it closed is read first: an answer without a length ends here.
void IPCamera_Http_Cmd_Handler::onClosed() {
  if (reader_.state() != HttpAnswerReader::State::kIncomplete) return;
  while (reader_.state() == HttpAnswerReader::State::kIncomplete && takeReceived()) {
  }
  onReaderState(reader_.close());
}

void IPCamera_Http_Cmd_Handler::onReaderState(HttpAnswerReader::State state) {
  if (state == HttpAnswerReader::State::kComplete) {
    onAnswer();
  } else if (state == HttpAnswerReader::State::kFailed) {
    end(kFailed);
  }
}

// A challenge is answered on a new connection: a camera may close after its 401, and one that
// keeps it open loses nothing.
void IPCamera_Http_Cmd_Handler::onAnswer() {
  const int code = reader_.statusCode();
  if (code == kUnauthorized) {
    if (authenticator_.onUnauthorized(reader_.head()) == auth::Authenticator::Verdict::kRetry) {
      worker_.reconnect({.host = host_, .port = port_});
      return;
    }
  } else {
    authenticator_.onAnswered();
  }
  {
    std::lock_guard lock(answerLock_);
    answer_ = reader_.answer();
  }
  end(code == 0 ? kFailed : code);
}

std::string IPCamera_Http_Cmd_Handler::hostHeaderValue() const {
  // RFC 9112 section 3.2: IPv6 literals in brackets, the port unless it is the default.
  std::string value =
      host_.find(':') != std::string::npos && !host_.starts_with('[') ? "[" + host_ + "]" : host_;
  if (port_ != kDefaultPort) value += ":" + std::to_string(port_);
  return value;
}

// HTTP/1.1 requires the Host line (servers such as lighttpd answer 400 without it). The Basic
// line goes even with empty credentials until a challenge asks for something else.
std::string IPCamera_Http_Cmd_Handler::requestText() {
  std::string authorization = authenticator_.authorizationLine(kMethod, target_);
  if (authorization.empty()) authorization = "Authorization: Basic " + credentials_ + "\r\n";
  return std::string(kMethod) + " " + target_ + std::string(kVersion) +
         "Host: " + hostHeaderValue() + std::string(kCrLf) + authorization + std::string(kCrLf);
}

}  // namespace vexa
