#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::auth {

enum class DigestAlgorithm { kMd5, kMd5Sess, kSha256, kSha256Sess };

// The algorithm a challenge names, in any case; MD5 when it names none (RFC 2617 section
// 3.2.1); nullopt for one this client cannot compute.
std::optional<DigestAlgorithm> digestAlgorithm(std::string_view written);

// The algorithm's hash of text, in lower-case hex.
std::string digestHex(DigestAlgorithm algorithm, std::string_view text);

// What one Digest answer is computed from (RFC 7616 section 3.4.1).
struct DigestInput {
  DigestAlgorithm algorithm = DigestAlgorithm::kMd5;
  std::string_view user;
  std::string_view password;
  std::string_view realm;
  std::string_view nonce;
  std::string_view method;
  std::string_view uri;
  std::string_view cnonce;  // used by qop=auth and the -sess algorithms
  uint32_t nc = 0;          // counts with qop=auth only
  bool qopAuth = false;     // false: the RFC 2069 form, response = H(HA1:nonce:HA2)
};

// The "response" value.
std::string digestResponse(const DigestInput& input);

// nc as it goes on the wire: 8 lower-case hex digits.
std::string nonceCount(uint32_t nc);

// The echoed challenge parts that are not inputs of the hash.
struct DigestEcho {
  std::string_view algorithm;  // as the challenge wrote it; omitted when empty
  std::string_view opaque;     // omitted when empty
};

// The whole header line, "Authorization: Digest ...\r\n".
std::string digestAuthorizationLine(const DigestInput& input, const DigestEcho& echo);

}  // namespace vexa::auth
