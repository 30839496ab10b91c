#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vexa::camera {

// RTSP tunnelled over HTTP: a client opens a GET connection that carries every answer and media
// frame, and a POST connection whose body is its requests in Base64; one cookie pairs them.

constexpr std::string_view kTunnelContentType = "application/x-rtsp-tunnelled";
constexpr std::string_view kSessionCookieHeader = "x-sessioncookie";

// What the first bytes of a connection on the RTSP port say it is.
enum class Opening { Undecided, Rtsp, TunnelGet, TunnelPost };
Opening classifyOpening(std::string_view bytes);

// An HTTP/1.0 answer that ends its header; status is code and reason.
std::string tunnelAnswer(std::string_view status, std::string_view extraHeaders = {});
// The answer that opens the GET side; the connection then stays open.
std::string tunnelOpenAnswer();

// Decodes a POST body that is a run of Base64 texts, each of them padded or not: whole 4-character
// groups are decoded as they complete, and '=' ends the group it pads so that the next text starts
// afresh. Characters outside the alphabet are skipped.
class Base64Stream {
 public:
  // Appends the bytes of the groups text completes to out.
  void append(std::string_view text, std::string& out);

 private:
  void flush(std::string& out);

  char group_[4] = {};
  size_t filled_ = 0;
};

// The meeting point of one tunnel's two halves: POST connections hand their decoded bytes in,
// the GET connection takes them out. Bounded, so that a client that floods the POST waits.
class Tunnel {
 public:
  static constexpr size_t kMaxPendingBytes = 65536;
  static constexpr int kWaitSliceMs = 100;

  // Blocks while the inbox is full; false once the tunnel closed or stop rose.
  bool post(std::string_view bytes, const std::atomic<bool>& stop);
  // Waits at most waitMs for posted bytes and appends at most maxBytes of them to into.
  void take(std::string& into, size_t maxBytes, int waitMs);
  void close();
  bool closed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string inbox_;
  bool closed_ = false;
};

// The open tunnels of one server by cookie.
class TunnelRegistry {
 public:
  // A new tunnel for the GET side; nullptr when the cookie is in use.
  std::shared_ptr<Tunnel> open(const std::string& cookie);
  // The tunnel a POST joins; nullptr for an unknown cookie.
  std::shared_ptr<Tunnel> find(const std::string& cookie) const;
  // Ends the tunnel: its POST connections close and the cookie is free again.
  void close(const std::string& cookie);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Tunnel>> tunnels_;
};

}  // namespace vexa::camera
