#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// The parts of a camera address "[scheme://][user[:password]@]host[:port][/path]".
struct UrlParts {
  std::string scheme;                // "rtsp", "http"; empty when none is written
  std::optional<std::string> user;   // percent-decoded; none without user information
  std::string password;              // percent-decoded
  std::string host;                  // an IPv6 address without its brackets
  std::optional<uint16_t> port;      // the leading digits after ':', as written
  std::string path;                  // from the first '/' after the host; empty when none
};

// Never fails: whatever is not a part of another kind is the host.
UrlParts splitUrl(std::string_view url);

// Whether a host is an IPv6 address (it holds a ':'), which a URL writes in brackets.
bool isIpv6Literal(std::string_view host);
// The host as a URL writes it: an IPv6 address in brackets.
std::string urlHost(std::string_view host);

// "%40" and the like decoded; a '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text);

}  // namespace vexa
