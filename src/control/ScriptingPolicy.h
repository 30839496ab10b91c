#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// A web page's origin: scheme and host in lower case, the port filled in for http (80) and
// https (443).
struct ScriptOrigin {
  std::string scheme;
  std::string host;  // an IPv6 address without its brackets
  uint16_t port = 0;
  bool operator==(const ScriptOrigin&) const = default;
};

// "scheme://host[:port]", a trailing '/' allowed; none for anything else: a path, user
// information, a port out of range or a scheme without a known default port and no port.
std::optional<ScriptOrigin> parseScriptOrigin(std::string_view text);

// Which pages may script and initialise the control. Any page could otherwise make it write
// files and send requests into the local network, so by default only pages served from this
// machine may (http or https on a loopback host, any port); further origins are allowed one by
// one, scheme, host and port exact.
class ScriptingPolicy {
 public:
  // False when origin is not one.
  bool allow(std::string_view origin);
  bool allows(std::string_view origin) const;

 private:
  std::vector<ScriptOrigin> allowed_;
};

}  // namespace vexa
