#include "camera/RtspAnswer.h"

#include "camera/HttpRequest.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kVersion = "RTSP/1.0";
constexpr std::string_view kServer = "vexa-camera";
constexpr std::string_view kEnd = "\r\n";
constexpr std::string_view kLfOnly = "\n";

// text with every CR LF made the given line end.
std::string withLineEnds(std::string_view text, LineEnds ends) {
  if (ends == LineEnds::CrLf) return std::string(text);
  std::string converted;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find(kEnd, at);
    if (end == std::string_view::npos) {
      converted.append(text.substr(at));
      break;
    }
    converted.append(text.substr(at, end - at)).append(kLfOnly);
    at = end + kEnd.size();
  }
  return converted;
}

}  // namespace

std::string_view rtspReason(RtspStatus status) {
  switch (status) {
    case RtspStatus::Ok:
      return "OK";
    case RtspStatus::MovedPermanently:
      return "Moved Permanently";
    case RtspStatus::Unauthorized:
      return "Unauthorized";
    case RtspStatus::BadRequest:
      return "Bad Request";
    case RtspStatus::NotFound:
      return "Not Found";
    case RtspStatus::MethodNotAllowed:
      return "Method Not Allowed";
    case RtspStatus::UnsupportedMediaType:
      return "Unsupported Media Type";
    case RtspStatus::SessionNotFound:
      return "Session Not Found";
    case RtspStatus::MethodNotValidInThisState:
      return "Method Not Valid in This State";
    case RtspStatus::UnsupportedTransport:
      return "Unsupported transport";
    case RtspStatus::InternalServerError:
      return "Internal Server Error";
    case RtspStatus::NotImplemented:
      return "Not Implemented";
    case RtspStatus::VersionNotSupported:
      return "RTSP Version not supported";
  }
  return "Unknown";
}

std::string rtspAnswer(RtspStatus status, std::string_view cseq, std::string_view extraHeaders,
                       std::string_view contentType, std::string_view body, LineEnds ends) {
  const std::string_view end = ends == LineEnds::CrLf ? kEnd : kLfOnly;
  std::string answer(kVersion);
  answer.append(" ").append(std::to_string(int(status))).append(" ");
  answer.append(rtspReason(status)).append(end);
  if (!cseq.empty()) answer.append("CSeq: ").append(cseq).append(end);
  answer.append("Server: ").append(kServer).append(end);
  answer.append(withLineEnds(extraHeaders, ends));
  const std::string sentBody = withLineEnds(body, ends);
  if (!sentBody.empty()) {
    answer.append("Content-Type: ").append(contentType).append(end);
    answer.append("Content-Length: ").append(std::to_string(sentBody.size())).append(end);
  }
  answer.append(end).append(sentBody);
  return answer;
}

RtspTarget parseRtspTarget(std::string_view url) {
  url = urlPath(url);
  const size_t slash = url.find('/');
  RtspTarget target;
  target.stream = url.substr(0, slash);
  if (slash != std::string_view::npos) target.track = url.substr(slash + 1);
  if (target.stream == "*") target.stream.clear();
  return target;
}

}  // namespace vexa::camera
