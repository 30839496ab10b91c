#include "camera/HttpRequest.h"

#include <strings.h>

#include "common/Base64.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kBasicScheme = "Basic";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

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

bool isAuthorised(const HttpRequest& request, const Credentials& credentials) {
  if (!credentials.required()) return true;
  const auto value = request.header("Authorization");
  if (!value) return false;
  const size_t blank = value->find(' ');
  if (blank == std::string_view::npos ||
      !equalsIgnoringCase(value->substr(0, blank), kBasicScheme)) {
    return false;
  }
  const std::vector<uint8_t> decoded = base64::decode(trimBlanks(value->substr(blank + 1)));
  const std::string expected = credentials.user + ":" + credentials.password;
  return std::string_view(reinterpret_cast<const char*>(decoded.data()), decoded.size()) ==
         expected;
}

}  // namespace vexa::camera
