#include "common/UrlParts.h"

#include <cctype>
#include <cstdint>

#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kSchemeSeparator = "://";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = char(std::tolower(static_cast<unsigned char>(c)));
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A number no port can have (negative, or above 65535) counts as none written: 0, never another
// port it would wrap onto.
uint16_t portOf(std::string_view digits) {
  const long long value = parseLeadingInteger(digits);
  return value >= 0 && value <= UINT16_MAX ? uint16_t(value) : 0;
}

// host[:port], where an IPv6 host is written in brackets (or bare, and then without a port).
void splitHostAndPort(std::string_view hostPort, UrlParts& parts) {
  if (hostPort.starts_with('[')) {
    const size_t close = hostPort.find(']');
    parts.host = std::string(hostPort.substr(1, close == std::string_view::npos ? close : close - 1));
    if (close != std::string_view::npos && close + 1 < hostPort.size() &&
        hostPort[close + 1] == ':') {
      parts.port = portOf(hostPort.substr(close + 2));
    }
    return;
  }
  const size_t colon = hostPort.find(':');
  const bool bareIpv6 = colon != std::string_view::npos && hostPort.find(':', colon + 1) != std::string_view::npos;
  if (colon == std::string_view::npos || bareIpv6) {
    parts.host = std::string(hostPort);
    return;
  }
  parts.host = std::string(hostPort.substr(0, colon));
  parts.port = portOf(hostPort.substr(colon + 1));
}

}  // namespace

bool isIpv6Literal(std::string_view host) { return host.find(':') != std::string_view::npos; }

std::string urlHost(std::string_view host) {
  if (isIpv6Literal(host) && !host.starts_with('[')) return "[" + std::string(host) + "]";
  return std::string(host);
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

UrlParts splitUrl(std::string_view url) {
  UrlParts parts;
  std::string_view rest = url;
  if (const size_t scheme = rest.find(kSchemeSeparator); scheme != std::string_view::npos) {
    parts.scheme = std::string(rest.substr(0, scheme));
    rest.remove_prefix(scheme + kSchemeSeparator.size());
  }
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) parts.path = std::string(rest.substr(slash));
  // The last '@' ends the user information: a password may hold a raw '@'.
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    parts.user = percentDecode(takeUntil(userInfo, ':'));
    parts.password = percentDecode(userInfo);
    authority.remove_prefix(at + 1);
  }
  splitHostAndPort(authority, parts);
  return parts;
}

}  // namespace vexa
