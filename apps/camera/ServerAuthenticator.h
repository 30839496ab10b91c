#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace vexa::camera {

enum class AuthScheme { Basic, Digest };

constexpr std::string_view kCameraRealm = "vexa-camera";
constexpr int kMaxNonceLifetimeSeconds = 86400;

// Who may watch: nobody is asked while user and password are both empty.
struct AuthSettings {
  std::string user;
  std::string password;
  AuthScheme scheme = AuthScheme::Basic;
  int nonceLifetimeSeconds = 60;  // Digest
};

// Empty, or why the settings cannot serve.
std::string checkAuthSettings(const AuthSettings& settings);

// What the check of requests came to, summed over all connections.
struct AuthCounts {
  uint64_t unauthorised = 0;  // 401 answers sent
  uint64_t authorised = 0;    // requests let through on their credentials
  uint64_t stale = 0;         // 401 answers with stale=true
  bool operator==(const AuthCounts&) const = default;
};

// The server side of HTTP authentication, shared by every connection of a server: Basic (RFC
// 7617) or Digest with MD5 and qop="auth" (RFC 7616). Each challenge carries a fresh nonce; a
// nonce lives nonceLifetimeSeconds, and its nonce count must rise with every request, so a
// replayed request is refused while a correct answer to an expired nonce is told it is stale.
class ServerAuthenticator {
 public:
  static constexpr size_t kMaxNonces = 256;  // the oldest is forgotten first
  static constexpr size_t kMaxParameters = 32;
  using NonceSource = std::function<std::string()>;

  // clock measures nonce ages (the system's when null); nonces draws the nonces (random ones
  // when empty).
  explicit ServerAuthenticator(AuthSettings settings, const platform::Clock* clock = nullptr,
                               std::string realm = std::string(kCameraRealm),
                               NonceSource nonces = {});

  const AuthSettings& settings() const { return settings_; }
  bool required() const { return !settings_.user.empty() || !settings_.password.empty(); }

  // nullopt when the request may proceed; otherwise the WWW-Authenticate header line (CR LF
  // ended) of the 401 answer it gets. authorization is the request's header value, if any.
  std::optional<std::string> refusal(std::string_view method, std::string_view uri,
                                     std::optional<std::string_view> authorization);

  AuthCounts counts() const;

 private:
  struct Nonce {
    std::string value;
    uint32_t issuedMs = 0;
    uint32_t lastCount = 0;  // 0: none used yet
  };
  enum class Verdict { Accepted, Refused, Stale };

  Verdict checkBasic(std::string_view credentials) const;
  Verdict checkDigest(std::string_view method, std::string_view uri, std::string_view fields);
  std::string challenge(bool stale);
  Nonce* findNonce(std::string_view value);

  const AuthSettings settings_;
  const std::string realm_;
  const platform::Clock& clock_;
  const NonceSource nonceSource_;
  const std::string opaque_;
  std::mutex mutex_;  // guards nonces_
  std::vector<Nonce> nonces_;
  std::atomic<uint64_t> unauthorised_{0};
  std::atomic<uint64_t> authorised_{0};
  std::atomic<uint64_t> stale_{0};
};

}  // namespace vexa::camera
