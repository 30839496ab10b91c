#include "protocol/auth/Authenticator.h"

#include <cstdio>
#include <vector>

#include "common/Base64.h"
#include "common/TextFields.h"

extern "C" {
#include <libavutil/random_seed.h>
}

namespace vexa::auth {

namespace {

constexpr std::string_view kRefused = "authentication refused";
constexpr std::string_view kUnsupported = "unsupported authentication: ";

std::string randomCnonce() {
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", av_get_random_seed(), av_get_random_seed());
  return text;
}

// Why a challenge is too large to be answered; empty when it is not.
std::string sizeProblem(const Challenge& challenge) {
  if (challenge.parameterCount > kMaxChallengeParameters) {
    return challenge.schemeName + " with " + std::to_string(challenge.parameterCount) +
           " parameters";
  }
  if (challenge.nonce.size() > kMaxNonceBytes) {
    return challenge.schemeName + " nonce of " + std::to_string(challenge.nonce.size()) + " bytes";
  }
  return {};
}

// Why a Digest challenge cannot be answered; empty when it can.
std::string digestProblem(const Challenge& challenge) {
  if (std::string problem = sizeProblem(challenge); !problem.empty()) return problem;
  if (!digestAlgorithm(challenge.algorithm)) return "Digest algorithm " + challenge.algorithm;
  // An empty qop list offers nothing either way: the challenge is read as giving none.
  if (challenge.qopGiven && !challenge.qopAuth && !trimBlanks(challenge.qop).empty()) {
    return challenge.qop;  // e.g. "auth-int"
  }
  if (challenge.nonce.empty()) return "Digest without nonce";
  return {};
}

struct Choice {
  const Challenge* challenge = nullptr;
  std::string unsupported;  // what could not be answered, when challenge is null
};

// The first usable Digest challenge in the server's order, else the first usable Basic one.
Choice choose(const std::vector<Challenge>& challenges) {
  const Challenge* basic = nullptr;
  std::string unusable;
  std::string otherScheme;
  for (const Challenge& challenge : challenges) {
    switch (challenge.scheme) {
      case Scheme::kDigest:
        if (std::string problem = digestProblem(challenge); !problem.empty()) {
          if (unusable.empty()) unusable = std::move(problem);
        } else {
          return {&challenge, {}};
        }
        break;
      case Scheme::kBasic:
        if (std::string problem = sizeProblem(challenge); !problem.empty()) {
          if (unusable.empty()) unusable = std::move(problem);
        } else if (basic == nullptr) {
          basic = &challenge;
        }
        break;
      case Scheme::kOther:
        if (otherScheme.empty()) otherScheme = challenge.schemeName;
        break;
    }
  }
  if (basic != nullptr) return {basic, {}};
  if (!unusable.empty()) return {nullptr, unusable};
  if (!otherScheme.empty()) return {nullptr, otherScheme};
  return {nullptr, "no challenge offered"};
}

struct RequestLine {
  std::string_view method;
  std::string_view uri;
};

// "DESCRIBE rtsp://h:8554/x RTSP/1.0": the method up to the first blank, the URI up to the next.
RequestLine splitRequestLine(std::string_view line) {
  const size_t methodEnd = line.find(' ');
  if (methodEnd == std::string_view::npos) return {line, {}};
  std::string_view rest = line.substr(methodEnd + 1);
  return {line.substr(0, methodEnd), rest.substr(0, rest.find(' '))};
}

}  // namespace

std::string basicAuthorizationLine(const Credentials& credentials) {
  return "Authorization: Basic " + base64::encode(credentials.user + ":" + credentials.password) +
         "\r\n";
}

Authenticator::Authenticator(Credentials credentials, std::function<std::string()> cnonce)
    : credentials_(std::move(credentials)),
      cnonce_(cnonce ? std::move(cnonce) : std::function<std::string()>(randomCnonce)) {}

void Authenticator::setCredentials(Credentials credentials) {
  credentials_ = std::move(credentials);
  accepted_.reset();
  retried_ = false;
  staleRetried_ = false;
}

Authenticator::Verdict Authenticator::onUnauthorized(std::string_view answerHead) {
  const std::vector<Challenge> challenges = readChallenges(answerHead);
  const Choice choice = choose(challenges);
  if (choice.challenge == nullptr) return refuse(std::string(kUnsupported) + choice.unsupported);
  if (credentials_.user.empty()) return refuse(std::string(kRefused));
  const bool staleNonce = choice.challenge->scheme == Scheme::kDigest && choice.challenge->stale;
  // After a retry the credentials themselves were refused, unless only the nonce had aged.
  if (retried_ && (!staleNonce || staleRetried_)) return refuse(std::string(kRefused));
  staleRetried_ = staleNonce;
  retried_ = true;
  accept(*choice.challenge);
  return Verdict::kRetry;
}

void Authenticator::onAnswered() {
  retried_ = false;
  staleRetried_ = false;
}

std::string Authenticator::authorize(std::string_view request) {
  const size_t lineEnd = request.find('\n');
  if (lineEnd == std::string_view::npos) return std::string(request);
  std::string_view requestLine = request.substr(0, lineEnd);
  if (!requestLine.empty() && requestLine.back() == '\r') requestLine.remove_suffix(1);
  const RequestLine parts = splitRequestLine(requestLine);
  const std::string line = authorizationLine(parts.method, parts.uri);
  std::string authorized(request.substr(0, lineEnd + 1));
  authorized += line;
  authorized += request.substr(lineEnd + 1);
  return authorized;
}

std::string Authenticator::authorizationLine(std::string_view method, std::string_view uri) {
  if (!accepted_ || credentials_.user.empty()) return {};
  const Challenge& challenge = accepted_->challenge;
  if (challenge.scheme == Scheme::kBasic) return basicAuthorizationLine(credentials_);
  ++accepted_->nc;
  const DigestInput input{.algorithm = accepted_->algorithm,
                          .user = credentials_.user,
                          .password = credentials_.password,
                          .realm = challenge.realm,
                          .nonce = challenge.nonce,
                          .method = method,
                          .uri = uri,
                          .cnonce = accepted_->cnonce,
                          .nc = accepted_->nc,
                          .qopAuth = challenge.qopAuth};
  return digestAuthorizationLine(input, {challenge.algorithm, challenge.opaque});
}

Authenticator::Verdict Authenticator::refuse(std::string reason) {
  refusal_ = std::move(reason);
  return Verdict::kRefused;
}

// A new nonce starts a new count with a fresh cnonce; the same nonce again keeps counting, so
// that the server never sees a count twice.
void Authenticator::accept(const Challenge& challenge) {
  const bool sameNonce = accepted_ && accepted_->challenge.scheme == challenge.scheme &&
                         accepted_->challenge.nonce == challenge.nonce;
  if (!sameNonce) {
    accepted_ = Accepted{};
    if (challenge.scheme == Scheme::kDigest) accepted_->cnonce = cnonce_();
  }
  accepted_->challenge = challenge;
  accepted_->algorithm = digestAlgorithm(challenge.algorithm).value_or(DigestAlgorithm::kMd5);
}

}  // namespace vexa::auth
