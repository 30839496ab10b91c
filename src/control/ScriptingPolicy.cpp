#include "control/ScriptingPolicy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>

namespace vexa {

namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return lower;
}

std::optional<uint16_t> defaultPort(std::string_view scheme) {
  if (scheme == "http") return kHttpPort;
  if (scheme == "https") return kHttpsPort;
  return std::nullopt;
}

bool isSchemeText(std::string_view scheme) {
  return !scheme.empty() && std::isalpha(static_cast<unsigned char>(scheme.front())) &&
         std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '+' || c == '-' || c == '.';
         });
}

bool isHostText(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.';
  });
}

bool isIpv6Text(std::string_view host) {
  in6_addr address{};
  return inet_pton(AF_INET6, std::string(host).c_str(), &address) == 1;
}

// Digits only, 1 to 65535.
std::optional<uint16_t> portOf(std::string_view digits) {
  uint32_t port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      port == 0 || port > UINT16_MAX) {
    return std::nullopt;
  }
  return uint16_t(port);
}

bool isLoopback(const ScriptOrigin& origin) {
  if (origin.host == "localhost" || origin.host == "::1") return true;
  in_addr address{};
  return inet_pton(AF_INET, origin.host.c_str(), &address) == 1 &&
         (ntohl(address.s_addr) >> 24) == 127;
}

}  // namespace

std::optional<ScriptOrigin> parseScriptOrigin(std::string_view text) {
  const size_t schemeEnd = text.find(kSchemeEnd);
  if (schemeEnd == std::string_view::npos || !isSchemeText(text.substr(0, schemeEnd))) {
    return std::nullopt;
  }
  ScriptOrigin origin{.scheme = lowerCase(text.substr(0, schemeEnd))};
  std::string_view rest = text.substr(schemeEnd + kSchemeEnd.size());
  if (rest.ends_with('/')) rest.remove_suffix(1);

  std::string_view host;
  std::string_view port;
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = rest.substr(1, close - 1);
    if (!isIpv6Text(host)) return std::nullopt;
    rest.remove_prefix(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    port = rest.empty() ? std::string_view() : rest.substr(1);
    if (!rest.empty() && port.empty()) return std::nullopt;
  } else {
    const size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    if (!isHostText(host)) return std::nullopt;
    if (colon != std::string_view::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) return std::nullopt;
    }
  }
  origin.host = lowerCase(host);
  const std::optional<uint16_t> number = port.empty() ? defaultPort(origin.scheme) : portOf(port);
  if (!number) return std::nullopt;
  origin.port = *number;
  return origin;
}

bool ScriptingPolicy::allow(std::string_view origin) {
  std::optional<ScriptOrigin> parsed = parseScriptOrigin(origin);
  if (!parsed) return false;
  allowed_.push_back(std::move(*parsed));
  return true;
}

bool ScriptingPolicy::allows(std::string_view origin) const {
  const std::optional<ScriptOrigin> parsed = parseScriptOrigin(origin);
  if (!parsed) return false;
  if (defaultPort(parsed->scheme) && isLoopback(*parsed)) return true;
  return std::find(allowed_.begin(), allowed_.end(), *parsed) != allowed_.end();
}

}  // namespace vexa
