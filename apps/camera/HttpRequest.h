#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::camera {

// A request header as HTTP and RTSP clients send it: request line, then "Name: value" lines.
struct HttpRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;

  // The value of the first header of that name, compared without case; nullopt when absent.
  std::optional<std::string_view> header(std::string_view name) const;
};

// Parses a header up to its empty line; lines without a colon are skipped. nullopt when the
// request line does not have three parts.
std::optional<HttpRequest> parseHttpRequest(std::string_view text);

// Header names and schemes compare without case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The path of a request URL (absolute, as RTSP sends it, or a bare path) without the slashes
// around it and without a query: "rtsp://h:554/h264/trackID=1/?x" and "/h264/trackID=1" both
// give "h264/trackID=1".
std::string_view urlPath(std::string_view url);

}  // namespace vexa::camera
