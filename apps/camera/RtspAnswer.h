#pragma once

#include <string>
#include <string_view>

namespace vexa::camera {

// RTSP status codes the camera answers with (RFC 2326 section 7.1.1).
enum class RtspStatus {
  Ok = 200,
  MovedPermanently = 301,
  BadRequest = 400,
  Unauthorized = 401,
  NotFound = 404,
  MethodNotAllowed = 405,
  UnsupportedMediaType = 415,
  SessionNotFound = 454,
  MethodNotValidInThisState = 455,
  UnsupportedTransport = 461,
  InternalServerError = 500,
  NotImplemented = 501,
  VersionNotSupported = 505,
};

std::string_view rtspReason(RtspStatus status);

// CrLf as RFC 2326 wants; Lf for servers that end their lines with LF alone.
enum class LineEnds { CrLf, Lf };

// "RTSP/1.0 <code> <reason>", CSeq (when the request had one), Server, the extra header lines
// (each ending in CR LF), then Content-Type and Content-Length when there is a body. With Lf,
// every line of the answer and of its body ends in LF alone, and Content-Length counts the body
// so written.
std::string rtspAnswer(RtspStatus status, std::string_view cseq, std::string_view extraHeaders,
                       std::string_view contentType = {}, std::string_view body = {},
                       LineEnds ends = LineEnds::CrLf);

// A request URL's stream and track: "rtsp://host:port/h264/trackID=1" gives "h264" and
// "trackID=1"; a trailing '/' and a query are ignored (see urlPath). Empty stream for "*" or a URL
// without path.
struct RtspTarget {
  std::string stream;
  std::string track;
};

RtspTarget parseRtspTarget(std::string_view url);

}  // namespace vexa::camera
