#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/auth/Challenge.h"
#include "protocol/auth/Digest.h"

namespace vexa::auth {

struct Credentials {
  std::string user;
  std::string password;
};

// "Authorization: Basic ...\r\n" (RFC 7617).
std::string basicAuthorizationLine(const Credentials& credentials);

// Answers "401 Unauthorized" for one connection's requests, HTTP or RTSP alike. It holds no socket
// and no thread: the dialogue reports each answer and asks for the header to send.
class Authenticator {
 public:
  // cnonce source injectable for tests; default draws from av_get_random_seed.
  explicit Authenticator(Credentials credentials = {}, std::function<std::string()> cnonce = {});

  void setCredentials(Credentials credentials);  // forgets any accepted challenge

  enum class Verdict { kRetry, kRefused };
  // A 401 answer (its head) to the request just sent. kRetry: send that request again, with
  // authorize(). kRefused: no credentials, no usable challenge, or a 401 to a request that
  // already carried credentials for the current challenge. Exception: a Digest 401 with
  // stale=true after an authorised request adopts the new nonce and gives kRetry once (a
  // second stale in a row is refused).
  Verdict onUnauthorized(std::string_view answerHead);
  // Any answer other than 401: the credentials were taken; later 401s may be retried again.
  void onAnswered();

  // The request with its Authorization line inserted right after the request line; the request
  // unchanged while no challenge was accepted. Method and URI come from the request line itself.
  // Every call of a Digest session counts nc up (later requests reuse the nonce).
  std::string authorize(std::string_view request);
  // The Authorization header line (with "\r\n") for method and uri; empty while none applies.
  std::string authorizationLine(std::string_view method, std::string_view uri);

  // Why the last kRefused, a short text for the user.
  const std::string& refusal() const { return refusal_; }

 private:
  // The challenge being answered, with the per-nonce state of a Digest session.
  struct Accepted {
    Challenge challenge;
    DigestAlgorithm algorithm = DigestAlgorithm::kMd5;
    std::string cnonce;
    uint32_t nc = 0;
  };

  Verdict refuse(std::string reason);
  void accept(const Challenge& challenge);

  Credentials credentials_;
  std::function<std::string()> cnonce_;
  std::optional<Accepted> accepted_;
  bool retried_ = false;       // a retry was granted since the last answer other than 401
  bool staleRetried_ = false;  // that retry was for a stale nonce
  std::string refusal_;
};

}  // namespace vexa::auth
