// Reads arbitrary bytes as a series of 401 answers to one authenticated dialogue: the challenges
// of each, the verdict (never a retry for a challenge over the caps), and the request sent again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/auth/Authenticator.h"

namespace {
constexpr std::string_view kRequest =
    "DESCRIBE rtsp://127.0.0.1:8554/x RTSP/1.0\r\nCSeq: 2\r\n\r\n";
// Between answers; an empty answer stands for one other than 401.
constexpr char kAnswerSeparator = '\0';

// Whether any challenge of the answer is small enough to be answered at all.
bool anyWithinCaps(const std::vector<vexa::auth::Challenge>& challenges) {
  return std::any_of(challenges.begin(), challenges.end(), [](const auto& challenge) {
    return challenge.parameterCount <= vexa::auth::kMaxChallengeParameters &&
           challenge.nonce.size() <= vexa::auth::kMaxNonceBytes;
  });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  vexa::auth::Authenticator authenticator({"user", "pass\"word"}, [] { return "0a4f113b"; });
  int retriesInARow = 0;
  for (size_t from = 0; from <= input.size();) {
    const size_t end = std::min(input.find(kAnswerSeparator, from), input.size());
    const std::string_view answer = input.substr(from, end - from);
    from = end + 1;
    if (answer.empty()) {
      authenticator.onAnswered();
      retriesInARow = 0;
      continue;
    }
    const std::vector<vexa::auth::Challenge> challenges = vexa::auth::readChallenges(answer);
    if (challenges.size() > vexa::auth::kMaxChallenges) __builtin_trap();
    if (authenticator.onUnauthorized(answer) == vexa::auth::Authenticator::Verdict::kRefused) {
      if (authenticator.refusal().empty()) __builtin_trap();
      retriesInARow = 0;
      continue;
    }
    // An oversized challenge is never answered.
    if (!anyWithinCaps(challenges)) __builtin_trap();
    // One retry, and one more for a stale nonce: never a loop.
    if (++retriesInARow > 2) __builtin_trap();
    // Exactly one line inserted, after the request line, whatever the server wrote.
    const std::string sent = authenticator.authorize(kRequest);
    const size_t firstLineEnd = kRequest.find('\n') + 1;
    const size_t insertedEnd = sent.find('\n', firstLineEnd) + 1;
    if (sent.compare(0, firstLineEnd, kRequest.substr(0, firstLineEnd)) != 0 ||
        sent.compare(firstLineEnd, 15, "Authorization: ") != 0 ||
        sent.compare(insertedEnd, std::string::npos, kRequest.substr(firstLineEnd)) != 0 ||
        std::count(sent.begin(), sent.end(), '\r') != std::count(sent.begin(), sent.end(), '\n')) {
      __builtin_trap();
    }
  }
  return 0;
}
