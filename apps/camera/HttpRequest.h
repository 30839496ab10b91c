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

// The user name and password a server asks for; none when both are empty.
struct Credentials {
  std::string user;
  std::string password;

  bool required() const { return !user.empty() || !password.empty(); }
};

// True when no credentials are required or the request carries "Authorization: Basic" with the
// Base64 text of exactly user:password.
bool isAuthorised(const HttpRequest& request, const Credentials& credentials);

}  // namespace vexa::camera
