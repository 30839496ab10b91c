#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::auth {

enum class Scheme { kBasic, kDigest, kOther };

// One challenge of a "WWW-Authenticate" header, with the parameters an answer needs.
struct Challenge {
  Scheme scheme = Scheme::kOther;
  std::string schemeName;  // as written, for telling the user what could not be answered
  std::string realm;
  std::string nonce;
  std::string opaque;
  std::string algorithm;  // as written; empty when the challenge named none
  std::string qop;        // the options as written
  bool qopGiven = false;
  bool qopAuth = false;  // "auth" is among the options
  bool stale = false;
  size_t parameterCount = 0;  // every name=value of the challenge, known or not
};

// Bounds on what a hostile answer can make the reader do.
constexpr size_t kMaxChallengeHeaders = 16;
constexpr size_t kMaxChallengeHeaderBytes = 8 * 1024;
constexpr size_t kMaxChallenges = 32;
// A challenge beyond these is refused: a camera's takes a handful of parameters and a nonce of
// some dozens of bytes, and every byte of the nonce goes back in each authorised request.
constexpr size_t kMaxChallengeParameters = 32;
constexpr size_t kMaxNonceBytes = 1024;

// Every challenge of every "WWW-Authenticate" header in an answer's head (status line and
// headers), in the server's order. Reading stops at the empty line that ends the head.
std::vector<Challenge> readChallenges(std::string_view answerHead);

}  // namespace vexa::auth
