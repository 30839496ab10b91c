#include "camera/RtspAnswer.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kVersion = "RTSP/1.0";
constexpr std::string_view kServer = "vexa-camera";
constexpr std::string_view kEnd = "\r\n";
constexpr std::string_view kSchemeSeparator = "://";

}  // namespace

std::string_view rtspReason(RtspStatus status) {
  switch (status) {
    case RtspStatus::Ok:
      return "OK";
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
                       std::string_view contentType, std::string_view body) {
  std::string answer(kVersion);
  answer.append(" ").append(std::to_string(int(status))).append(" ");
  answer.append(rtspReason(status)).append(kEnd);
  if (!cseq.empty()) answer.append("CSeq: ").append(cseq).append(kEnd);
  answer.append("Server: ").append(kServer).append(kEnd);
  answer.append(extraHeaders);
  if (!body.empty()) {
    answer.append("Content-Type: ").append(contentType).append(kEnd);
    answer.append("Content-Length: ").append(std::to_string(body.size())).append(kEnd);
  }
  answer.append(kEnd).append(body);
  return answer;
}

RtspTarget parseRtspTarget(std::string_view url) {
  if (const size_t scheme = url.find(kSchemeSeparator); scheme != std::string_view::npos) {
    url.remove_prefix(scheme + kSchemeSeparator.size());
    const size_t path = url.find('/');
    url = path == std::string_view::npos ? std::string_view() : url.substr(path);
  }
  url = url.substr(0, url.find('?'));
  while (url.starts_with('/')) url.remove_prefix(1);
  while (url.ends_with('/')) url.remove_suffix(1);
  const size_t slash = url.find('/');
  RtspTarget target;
  target.stream = url.substr(0, slash);
  if (slash != std::string_view::npos) target.track = url.substr(slash + 1);
  if (target.stream == "*") target.stream.clear();
  return target;
}

}  // namespace vexa::camera
