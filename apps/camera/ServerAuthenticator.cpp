#include "camera/ServerAuthenticator.h"

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/random_seed.h>
}

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "camera/HttpRequest.h"
#include "common/Base64.h"
#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kBasic = "Basic";
constexpr std::string_view kDigest = "Digest";
constexpr std::string_view kAlgorithm = "MD5";
constexpr std::string_view kQop = "auth";
constexpr size_t kMd5Bytes = 16;
constexpr size_t kNonceCountDigits = 8;
constexpr int kRandomWords = 4;  // 128 bits of nonce or opaque
constexpr uint32_t kMsPerSecond = 1000;

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string toLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string md5Hex(std::string_view text) {
  uint8_t digest[kMd5Bytes];
  av_md5_sum(digest, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  std::string hex;
  char pair[3];
  for (uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

std::string randomHex() {
  std::string hex;
  char word[9];
  for (int i = 0; i < kRandomWords; ++i) {
    std::snprintf(word, sizeof word, "%08x", av_get_random_seed());
    hex += word;
  }
  return hex;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A quoted string from text[at] (the opening quote) with its backslash escapes undone; advances
// at past the closing quote. nullopt when it does not close.
std::optional<std::string> readQuoted(std::string_view text, size_t& at) {
  std::string value;
  for (++at; at < text.size(); ++at) {
    if (text[at] == '"') {
      ++at;
      return value;
    }
    if (text[at] == '\\' && at + 1 < text.size()) ++at;
    value += text[at];
  }
  return std::nullopt;
}

// The auth-params of a credentials header (RFC 7235 section 2.1): name=token or
// name="quoted string", separated by commas; names in lower case. nullopt when malformed.
std::optional<Fields> readFields(std::string_view text) {
  Fields fields;
  size_t at = 0;
  while (true) {
    while (at < text.size() && (isBlank(text[at]) || text[at] == ',')) ++at;
    if (at == text.size()) return fields;
    if (fields.size() == ServerAuthenticator::kMaxParameters) return std::nullopt;
    const size_t equals = text.find('=', at);
    if (equals == std::string_view::npos) return std::nullopt;
    std::string name = toLower(trimBlanks(text.substr(at, equals - at)));
    at = equals + 1;
    while (at < text.size() && isBlank(text[at])) ++at;
    std::optional<std::string> value;
    if (at < text.size() && text[at] == '"') {
      value = readQuoted(text, at);
    } else {
      const size_t comma = std::min(text.find(',', at), text.size());
      value = std::string(trimBlanks(text.substr(at, comma - at)));
      at = comma;
    }
    if (!value || name.empty()) return std::nullopt;
    fields.emplace_back(std::move(name), std::move(*value));
  }
}

std::optional<std::string_view> fieldOf(const Fields& fields, std::string_view name) {
  for (const auto& [key, value] : fields) {
    if (key == name) return std::string_view(value);
  }
  return std::nullopt;
}

// Exactly eight hexadecimal digits (RFC 7616 section 3.4).
std::optional<uint32_t> readNonceCount(std::string_view text) {
  uint32_t count = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, count, 16);
  if (text.size() != kNonceCountDigits || error != std::errc() || next != end) return std::nullopt;
  return count;
}

}  // namespace

std::string checkAuthSettings(const AuthSettings& settings) {
  if (settings.nonceLifetimeSeconds < 1 ||
      settings.nonceLifetimeSeconds > kMaxNonceLifetimeSeconds) {
    return "the nonce lifetime must be 1 to 86400 seconds";
  }
  return {};
}

ServerAuthenticator::ServerAuthenticator(AuthSettings settings, const platform::Clock* clock,
                                         std::string realm, NonceSource nonces)
    : settings_(std::move(settings)),
      realm_(std::move(realm)),
      clock_(clock ? *clock : platform::SystemClock::instance()),
      nonceSource_(nonces ? std::move(nonces) : NonceSource(randomHex)),
      opaque_(randomHex()) {}

AuthCounts ServerAuthenticator::counts() const {
  return {unauthorised_.load(std::memory_order_relaxed),
          authorised_.load(std::memory_order_relaxed), stale_.load(std::memory_order_relaxed)};
}

std::optional<std::string> ServerAuthenticator::refusal(
    std::string_view method, std::string_view uri, std::optional<std::string_view> authorization) {
  if (!required()) return std::nullopt;
  Verdict verdict = Verdict::Refused;
  if (authorization) {
    const std::string_view value = trimBlanks(*authorization);
    const size_t blank = std::min(value.find(' '), value.size());
    const std::string_view scheme = value.substr(0, blank);
    const std::string_view rest = value.substr(blank);
    if (settings_.scheme == AuthScheme::Basic && equalsIgnoringCase(scheme, kBasic)) {
      verdict = checkBasic(trimBlanks(rest));
    } else if (settings_.scheme == AuthScheme::Digest && equalsIgnoringCase(scheme, kDigest)) {
      verdict = checkDigest(method, uri, rest);
    }
  }
  if (verdict == Verdict::Accepted) {
    authorised_.fetch_add(1, std::memory_order_relaxed);
    return std::nullopt;
  }
  return challenge(verdict == Verdict::Stale);
}

ServerAuthenticator::Verdict ServerAuthenticator::checkBasic(std::string_view credentials) const {
  const std::vector<uint8_t> decoded = base64::decode(credentials);
  const std::string expected = settings_.user + ":" + settings_.password;
  const std::string_view given(reinterpret_cast<const char*>(decoded.data()), decoded.size());
  return given == expected ? Verdict::Accepted : Verdict::Refused;
}

ServerAuthenticator::Verdict ServerAuthenticator::checkDigest(std::string_view method,
                                                              std::string_view uri,
                                                              std::string_view text) {
  const auto fields = readFields(text);
  if (!fields) return Verdict::Refused;
  const auto field = [&](std::string_view name) {
    return fieldOf(*fields, name).value_or(std::string_view());
  };
  const auto algorithm = fieldOf(*fields, "algorithm");
  const auto count = readNonceCount(field("nc"));
  // The request's own URI only: an answer computed for another resource is no answer.
  if (field("username") != settings_.user || field("realm") != realm_ || field("uri") != uri ||
      field("opaque") != opaque_ || !equalsIgnoringCase(field("qop"), kQop) ||
      (algorithm && !equalsIgnoringCase(*algorithm, kAlgorithm)) || !count ||
      field("cnonce").empty()) {
    DebugTrace("ServerAuthenticator: Digest fields do not fit the challenge\n");
    return Verdict::Refused;
  }
  const std::string ha1 = md5Hex(settings_.user + ":" + realm_ + ":" + settings_.password);
  const std::string ha2 = md5Hex(std::string(method) + ":" + std::string(uri));
  const std::string expected =
      md5Hex(ha1 + ":" + std::string(field("nonce")) + ":" + std::string(field("nc")) + ":" +
             std::string(field("cnonce")) + ":" + std::string(field("qop")) + ":" + ha2);
  if (!equalsIgnoringCase(field("response"), expected)) return Verdict::Refused;

  std::lock_guard lock(mutex_);
  Nonce* nonce = findNonce(field("nonce"));
  const uint32_t lifetimeMs = uint32_t(settings_.nonceLifetimeSeconds) * kMsPerSecond;
  // The password was right: only the nonce is out of date.
  if (!nonce || uint32_t(clock_.tickCount() - nonce->issuedMs) >= lifetimeMs) return Verdict::Stale;
  if (*count <= nonce->lastCount) {
    DebugTrace("ServerAuthenticator: nonce count %u replayed\n", *count);
    return Verdict::Refused;
  }
  nonce->lastCount = *count;
  return Verdict::Accepted;
}

ServerAuthenticator::Nonce* ServerAuthenticator::findNonce(std::string_view value) {
  for (Nonce& nonce : nonces_) {
    if (nonce.value == value) return &nonce;
  }
  return nullptr;
}

std::string ServerAuthenticator::challenge(bool stale) {
  unauthorised_.fetch_add(1, std::memory_order_relaxed);
  if (settings_.scheme == AuthScheme::Basic) {
    return "WWW-Authenticate: Basic realm=\"" + realm_ + "\"\r\n";
  }
  if (stale) stale_.fetch_add(1, std::memory_order_relaxed);
  std::string nonce = nonceSource_();
  {
    std::lock_guard lock(mutex_);
    if (nonces_.size() >= kMaxNonces) nonces_.erase(nonces_.begin());
    nonces_.push_back({nonce, clock_.tickCount(), 0});
  }
  return "WWW-Authenticate: Digest realm=\"" + realm_ + "\", qop=\"" + std::string(kQop) +
         "\", algorithm=" + std::string(kAlgorithm) + ", nonce=\"" + nonce + "\", opaque=\"" +
         opaque_ + "\"" + (stale ? ", stale=true" : "") + "\r\n";
}

}  // namespace vexa::camera
