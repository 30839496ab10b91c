#include "protocol/rtsp/RtspTunnel.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include "common/Base64.h"
#include "net/WorkerLoop.h"
#include "platform/Endpoint.h"

namespace vexa::rtsp {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kUserAgent = "ZIDizura Vazado v1.16.2";
constexpr int kCookieDigits = 20;

// The status code is a whole word: "HTTP/1.0 2000" is no success.
bool hasStatus(std::string_view statusLine, std::string_view code) {
  if (!statusLine.starts_with("HTTP/1.0 ") && !statusLine.starts_with("HTTP/1.1 ")) return false;
  const std::string_view status = statusLine.substr(std::string_view("HTTP/1.x ").size());
  return status.starts_with(code) && (status.size() == code.size() || status[code.size()] == ' ');
}

bool opensTunnel(std::string_view statusLine) { return hasStatus(statusLine, "200"); }

std::string authorizationLine(const auth::Credentials& credentials) {
  return credentials.user.empty() ? std::string() : auth::basicAuthorizationLine(credentials);
}

std::string tunnelHead(std::string_view method, std::string_view path, std::string_view cookie) {
  std::string head;
  head.append(method).append(" ").append(path.empty() ? "/" : path).append(" HTTP/1.0\r\n");
  head.append("User-Agent: ").append(kUserAgent).append("\r\n");
  head.append("x-sessioncookie: ").append(cookie).append("\r\n");
  return head;
}

}  // namespace

TunnelOpening readTunnelOpening(std::string_view received) {
  const size_t end = received.find(kHeaderEnd);
  if (end == std::string_view::npos) return {};
  const size_t lineEnd = received.find("\r\n");
  const std::string_view statusLine = received.substr(0, lineEnd);
  if (opensTunnel(statusLine)) {
    return {.kind = TunnelOpening::Kind::kOpen, .headerLength = end + kHeaderEnd.size()};
  }
  return {.kind = TunnelOpening::Kind::kRefused,
          .headerLength = end + kHeaderEnd.size(),
          .statusLine = std::string(statusLine)};
}

bool refusesCredentials(std::string_view statusLine) { return hasStatus(statusLine, "401"); }

std::string drawTunnelCookie() {
  std::random_device source;
  std::uniform_int_distribution<int> digit(0, 15);
  std::string cookie;
  for (int i = 0; i < kCookieDigits; ++i) cookie.push_back("0123456789abcdef"[digit(source)]);
  return cookie;
}

std::string tunnelGetRequest(std::string_view path, std::string_view cookie,
                             const auth::Credentials& credentials) {
  return tunnelHead("GET", path, cookie) + "Accept: application/x-rtsp-tunnelled\r\n" +
         "Pragma: no-cache\r\nCache-Control: no-cache\r\n" + authorizationLine(credentials) +
         "\r\n";
}

std::string tunnelPostHeader(std::string_view path, std::string_view cookie,
                             const auth::Credentials& credentials) {
  return tunnelHead("POST", path, cookie) + "Content-Type: application/x-rtsp-tunnelled\r\n" +
         "Pragma: no-cache\r\nCache-Control: no-cache\r\n" + "Content-Length: 32767\r\n" +
         authorizationLine(credentials) + "\r\n";
}

int TunnelPost::open(const std::string& address, uint16_t port) {
  close();
  const std::vector<platform::Endpoint> found = platform::resolveHost(address, port);
  if (found.empty()) return EHOSTUNREACH;
  const platform::Endpoint& to = found.front();
  if (const int error = socket_.create(platform::Socket::Type::Stream, 0, to.family()); error != 0)
    return error;
  if (const int error = socket_.selectEvents(platform::kFdWrite); error != 0) return error;
  const int result = socket_.connect(to);
  return result == platform::kWouldBlock ? 0 : result;
}

bool TunnelPost::start(std::string_view header) {
  int result = platform::kWouldBlock;
  for (int waited = 0; result == platform::kWouldBlock && goesOn_() && waited < kConnectTimeoutMs;
       waited += platform::kNetEventWaitMs) {
    result = socket_.finishConnect(platform::kNetEventWaitMs);
  }
  return result == 0 && sendAll(header);
}

bool TunnelPost::sendEncoded(std::string_view bytes) { return sendAll(base64::encode(bytes)); }

bool TunnelPost::sendAll(std::string_view text) {
  while (goesOn_() && !text.empty()) {
    const ssize_t sent = socket_.send(text.data(), text.size());
    if (sent < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      socket_.waitWritable(platform::kNetEventWaitMs);
      continue;
    }
    text.remove_prefix(size_t(sent));
  }
  return text.empty();
}

void TunnelPost::close() { shutDownAndClose(socket_); }

}  // namespace vexa::rtsp
