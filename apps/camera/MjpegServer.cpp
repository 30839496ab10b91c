#include "camera/MjpegServer.h"

#include <cstring>
#include <span>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kRealm = "vexa-camera";
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

std::string unauthorisedAnswer() {
  std::string challenge = "WWW-Authenticate: Basic realm=\"";
  challenge.append(kRealm).append("\"\r\n");
  return simpleAnswer("401 Unauthorized", challenge);
}

bool isBoundaryCharacter(char c) {
  return c > ' ' && c < 0x7F;
}

}  // namespace

MjpegServer::MjpegServer(MjpegServerOptions options)
    : options_(std::move(options)),
      credentials_{options_.user, options_.password},
      delimiter_("\r\n--" + options_.boundary + "\r\n"),
      producer_(options_.width, options_.height, options_.fps, options_.quality),
      tcp_([this](TcpConnection& connection, const std::atomic<bool>& stopping) {
        serve(connection, stopping);
      }) {}

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
    lastError_ = "cannot listen on " + options_.bindAddress + ":" + std::to_string(options_.port) +
                 ": " + std::strerror(error);
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
  std::string refusal;
  if (!request) {
    refusal = simpleAnswer("400 Bad Request");
  } else if (request->method != "GET") {
    refusal = simpleAnswer("405 Method Not Allowed", "Allow: GET\r\n");
  } else if (!isAuthorised(*request, credentials_)) {
    unauthorised_.fetch_add(1, std::memory_order_relaxed);
    refusal = unauthorisedAnswer();
  }
  if (!refusal.empty()) {
    refuse(connection, refusal, stopping);
    return;
  }
  streamPictures(connection, stopping);
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
