#include "camera/MjpegServer.h"

#include <cstdio>
#include <cstring>
#include <span>

#include "camera/TcpListener.h"
#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr int kFrameWaitMs = 100;
constexpr int kLingerMs = 1000;

std::span<const uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string simpleAnswer(std::string_view status, std::string_view extraHeaders = {}) {
  std::string answer = "HTTP/1.1 ";
  answer.append(status).append("\r\n").append(extraHeaders);
  answer.append("Content-Length: 0\r\nConnection: close\r\n\r\n");
  return answer;
}

std::string hexNumber(size_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%zX", value);
  return text;
}

bool isBoundaryCharacter(char c) {
  return c > ' ' && c < 0x7F;
}

}  // namespace

MjpegServer::MjpegServer(MjpegServerOptions options)
    : options_(std::move(options)),
      delimiter_("\r\n--" + options_.boundary + "\r\n"),
      ownPtz_(options_.ptz
                  ? nullptr
                  : std::make_unique<PtzControl>(options_.width, options_.height, options_.clock)),
      ptz_(options_.ptz ? *options_.ptz : *ownPtz_),
      auth_({options_.user, options_.password, options_.auth, options_.nonceLifetimeSeconds},
            options_.clock),
      log_(options_.logRequests),
      producer_(options_.width, options_.height, options_.fps, options_.quality, options_.videoDump,
                &ptz_, options_.fisheye),
      tcp_([this](TcpConnection& connection,
                  const std::atomic<bool>& stopping) { serve(connection, stopping); },
           std::chrono::milliseconds(options_.dropAfterMs)) {}

MjpegServer::~MjpegServer() {
  stop();
}

std::string MjpegServer::streamAnswerHeader(const std::string& boundary) {
  return "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + boundary +
         "\r\n\r\n";
}

std::string MjpegServer::partHeader(size_t jpegLength) {
  return "Content-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpegLength) + "\r\n\r\n";
}

std::string MjpegServer::commandAnswer(const PtzAnswer& answer, CgiFraming framing) {
  const std::string_view end = framing == CgiFraming::LfOnly ? "\n" : "\r\n";
  std::string body;
  for (const std::string& line : answer.lines) body.append(line).append(end);
  std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason;
  head.append(end).append("Content-Type: text/plain").append(end);
  switch (framing) {
    case CgiFraming::Length:
    case CgiFraming::LfOnly:
      head.append("Content-Length: " + std::to_string(body.size())).append(end);
      break;
    case CgiFraming::LengthLower:
      head.append("content-length: " + std::to_string(body.size())).append(end);
      break;
    case CgiFraming::Chunked:
      head.append("Transfer-Encoding: chunked").append(end);
      body = (body.empty() ? "" : hexNumber(body.size()) + "\r\n" + body + "\r\n") + "0\r\n\r\n";
      break;
    case CgiFraming::Close:
      break;
  }
  head.append("Connection: close").append(end).append(end);
  return head + body;
}

std::string MjpegServer::validateOptions() const {
  const auto& b = options_.boundary;
  if (b.empty() || b.size() > kMaxBoundaryLength) return "the boundary needs 1 to 70 characters";
  for (char c : b) {
    if (!isBoundaryCharacter(c)) return "the boundary must be printable text without blanks";
  }
  if (options_.fps < FrameProducer::kMinFps || options_.fps > FrameProducer::kMaxFps) {
    return "the frame rate must be 1 to 120";
  }
  if (options_.quality < JpegEncoder::kMinQuality || options_.quality > JpegEncoder::kMaxQuality) {
    return "the quality must be 1 to 100";
  }
  if (std::string why = checkAuthSettings(auth_.settings()); !why.empty()) return why;
  if (options_.dropAfterMs < 0) return "the drop time must not be negative";
  if (!bindableAddress(options_.bindAddress, options_.port)) {
    return "cannot listen on " + options_.bindAddress;
  }
  return {};
}

bool MjpegServer::start() {
  lastError_ = validateOptions();
  if (!lastError_.empty()) return false;
  if (!producer_.start()) {
    lastError_ = "cannot encode " + std::to_string(options_.width) + "x" +
                 std::to_string(options_.height) + " pictures";
    return false;
  }
  const int error = tcp_.start(options_.bindAddress, options_.port);
  if (error != 0) {
    lastError_ = "cannot listen on " +
                 bindableAddress(options_.bindAddress, options_.port)->text() + ": " +
                 std::strerror(error);
    producer_.stop();
    return false;
  }
  return true;
}

void MjpegServer::stop() {
  tcp_.stop();
  producer_.stop();
}

void MjpegServer::serve(TcpConnection& connection, const std::atomic<bool>& stopping) {
  std::string header;
  const IoResult read =
      connection.readHeader(header, kMaxRequestHeaderBytes, stopping, kRequestTimeoutMs);
  if (read == IoResult::TooLarge) {
    refuse(connection, simpleAnswer("431 Request Header Fields Too Large"), stopping);
  }
  if (read != IoResult::Done) return;

  const auto request = parseHttpRequest(header);
  if (request) {
    log_.record({connection.number(),
                 request->method,
                 request->target,
                 {},
                 {},
                 request->header("Authorization").has_value()});
  }
  const std::string refusal = refusalOf(request);
  if (!refusal.empty()) {
    refuse(connection, refusal, stopping);
    return;
  }
  if (urlPath(request->target) == PtzControl::kPath) {
    answerCommand(connection, *request, stopping);
  } else {
    streamPictures(connection, stopping);
  }
}

void MjpegServer::answerCommand(TcpConnection& connection, const HttpRequest& request,
                                const std::atomic<bool>& stopping) {
  const size_t mark = request.target.find('?');
  const std::string_view query = mark == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(request.target).substr(mark + 1);
  const PtzAnswer answer = ptz_.handle(query);
  if (options_.logRequests) {
    std::fprintf(stderr, "vexa-camera: #%llu PTZ %.*s: %d, %s\n",
                 static_cast<unsigned long long>(connection.number()), int(query.size()),
                 query.data(), answer.status, ptz_.describe().c_str());
  }
  if (connection.sendText(commandAnswer(answer, options_.cgiFraming), stopping,
                          kSendStallLimitMs) == IoResult::Done) {
    connection.finish(stopping, kLingerMs);
  }
}

std::string MjpegServer::refusalOf(const std::optional<HttpRequest>& request) {
  if (!request) return simpleAnswer("400 Bad Request");
  if (const Redirect* redirect = findRedirect(options_.redirects, request->target)) {
    return simpleAnswer("301 Moved Permanently", "Location: " + redirect->location + "\r\n");
  }
  if (request->method != "GET") return simpleAnswer("405 Method Not Allowed", "Allow: GET\r\n");
  const auto challenge =
      auth_.refusal(request->method, request->target, request->header("Authorization"));
  return challenge ? simpleAnswer("401 Unauthorized", *challenge) : std::string();
}

void MjpegServer::refuse(TcpConnection& connection, const std::string& answer,
                         const std::atomic<bool>& stopping) {
  DebugTrace("MjpegServer: refused a request: %.*s\n", int(answer.find('\r')), answer.c_str());
  // Unread request bytes would turn the close into a reset that can destroy the answer in flight.
  if (connection.sendText(answer, stopping, kSendStallLimitMs) == IoResult::Done) {
    connection.finish(stopping, kLingerMs);
  }
}

void MjpegServer::streamPictures(TcpConnection& connection, const std::atomic<bool>& stopping) {
  // Each picture is followed by the delimiter that opens the next part, so a client sees a part
  // complete as soon as its picture has arrived.
  const std::string opening =
      streamAnswerHeader(options_.boundary) + "--" + options_.boundary + "\r\n";
  if (connection.sendText(opening, stopping, kSendStallLimitMs) != IoResult::Done) return;

  FrameProducer::Viewer viewer(producer_);
  uint64_t sent = 0;
  while (!stopping.load(std::memory_order_relaxed) && connection.peerStillOpen()) {
    const EncodedFrame frame = producer_.waitNewer(sent, kFrameWaitMs);
    if (!frame.jpeg) continue;
    sent = frame.sequence;
    const std::string head = partHeader(frame.jpeg->size());
    const IoResult result = connection.sendAll({bytesOf(head), *frame.jpeg, bytesOf(delimiter_)},
                                               stopping, kSendStallLimitMs);
    if (result != IoResult::Done) return;
    picturesServed_.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace vexa::camera
