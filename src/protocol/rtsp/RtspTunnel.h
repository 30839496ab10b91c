#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Socket.h"
#include "protocol/auth/Authenticator.h"

namespace vexa::rtsp {

// What the camera's first answer on the GET connection says of the tunnel.
struct TunnelOpening {
  enum class Kind { kIncomplete, kOpen, kRefused };
  Kind kind = Kind::kIncomplete;
  size_t headerLength = 0;  // through the empty line: the RTSP answers start after it
  std::string statusLine;   // when refused
};

// A "200" status of either HTTP version opens the tunnel: proxies rewrite 1.0 to 1.1.
TunnelOpening readTunnelOpening(std::string_view received);
// The status line's code is 401: the credentials were missing or wrong.
bool refusesCredentials(std::string_view statusLine);

// 20 lower-case hexadecimal digits from the system's random source: cookies drawn from the
// clock repeat within a second, and a server then pairs neither connection.
std::string drawTunnelCookie();

// The two HTTP requests that open the tunnel; an Authorization line when a user name is set.
std::string tunnelGetRequest(std::string_view path, std::string_view cookie,
                             const auth::Credentials& credentials);
std::string tunnelPostHeader(std::string_view path, std::string_view cookie,
                             const auth::Credentials& credentials);

// The tunnel's POST connection: it only ever sends. Its owner's worker thread opens it beside the
// GET connection and writes on it, so the pair needs one thread; goesOn is that worker's run flag.
class TunnelPost {
 public:
  // A POST connection that does not take its connect within this long is given up.
  static constexpr int kConnectTimeoutMs = 10000;

  explicit TunnelPost(std::function<bool()> goesOn) : goesOn_(std::move(goesOn)) {}
  TunnelPost(const TunnelPost&) = delete;
  TunnelPost& operator=(const TunnelPost&) = delete;

  // Starts a connect without waiting; 0 or an errno value.
  int open(const std::string& address, uint16_t port);
  // Waits until the connection is writable, then sends the header; false when it never was.
  bool start(std::string_view header);
  // One request or one RTCP frame as one Base64 text, never split or joined with another.
  bool sendEncoded(std::string_view bytes);
  void close();

 private:
  bool sendAll(std::string_view text);

  std::function<bool()> goesOn_;
  platform::Socket socket_;
};

}  // namespace vexa::rtsp
