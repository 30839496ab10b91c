#include "camera/HttpRequest.h"

#include <strings.h>

#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kSchemeSeparator = "://";

// The next line without its end (CR LF, or a bare LF from lax clients); advances text past it.
std::string_view takeLine(std::string_view& text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool splitRequestLine(std::string_view line, HttpRequest& request) {
  const size_t first = line.find(' ');
  const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos) return false;
  request.method = line.substr(0, first);
  request.target = line.substr(first + 1, second - first - 1);
  request.version = trimBlanks(line.substr(second + 1));
  return !request.method.empty() && !request.target.empty() && !request.version.empty();
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<std::string_view> HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return std::string_view(value);
  }
  return std::nullopt;
}

std::optional<HttpRequest> parseHttpRequest(std::string_view text) {
  HttpRequest request;
  if (!splitRequestLine(takeLine(text), request)) return std::nullopt;
  while (!text.empty()) {
    const std::string_view line = takeLine(text);
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    request.headers.emplace_back(trimBlanks(line.substr(0, colon)),
                                 trimBlanks(line.substr(colon + 1)));
  }
  return request;
}

std::string_view urlPath(std::string_view url) {
  if (const size_t scheme = url.find(kSchemeSeparator); scheme != std::string_view::npos) {
    url.remove_prefix(scheme + kSchemeSeparator.size());
    const size_t path = url.find('/');
    url = path == std::string_view::npos ? std::string_view() : url.substr(path);
  }
  url = url.substr(0, url.find('?'));
  while (url.starts_with('/')) url.remove_prefix(1);
  while (url.ends_with('/')) url.remove_suffix(1);
  return url;
}

}  // namespace vexa::camera
