#include "protocol/rtsp/RtspHeaders.h"

#include <algorithm>
#include <limits>

#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr char kParameterSeparator = ';';

std::optional<uint32_t> cseqOf(std::string_view head) {
  if (!hasHeader(head, "CSeq")) return std::nullopt;
  const auto value = parseDecimal(headerValue(head, "CSeq"), std::numeric_limits<uint32_t>::max());
  if (!value) return std::nullopt;
  return uint32_t(*value);
}

}  // namespace

std::optional<RtspAnswer> readRtspAnswer(std::string_view received) {
  const std::optional<HeadEnd> end = findHeadEnd(received);
  if (!end) return std::nullopt;
  RtspAnswer answer;
  answer.head = withCrLfLineEnds(received.substr(0, end->headLength));
  answer.statusLine = answer.head.substr(0, answer.head.find('\r'));
  answer.statusCode = statusCodeOf(answer.statusLine);
  answer.cseq = cseqOf(answer.head);
  std::optional<uint64_t> announced = 0;
  if (hasHeader(answer.head, "Content-Length")) {
    announced = parseDecimal(headerValue(answer.head, "Content-Length"), kMaxAnswerBytes);
  }
  if (!announced) {
    answer.refused = true;
    answer.length = end->bodyOffset;
    return answer;
  }
  if (*announced > received.size() - end->bodyOffset) return std::nullopt;
  answer.length = end->bodyOffset + size_t(*announced);
  answer.body = withCrLfLineEnds(received.substr(end->bodyOffset, size_t(*announced)));
  return answer;
}

std::optional<SessionHeader> readSessionHeader(std::string_view head) {
  constexpr std::string_view kTimeout = "timeout";
  if (!hasHeader(head, "Session")) return std::nullopt;
  const std::string value = headerValue(head, "Session");
  std::string_view rest = value;
  SessionHeader session{std::string(trimBlanks(takeUntil(rest, kParameterSeparator))), {}};
  if (session.id.empty()) return std::nullopt;
  while (!rest.empty()) {
    std::string_view parameter = takeUntil(rest, kParameterSeparator);
    const std::string_view name = trimBlanks(takeUntil(parameter, '='));
    if (!equalsIgnoringCase(name, kTimeout)) continue;
    const long long seconds = parseLeadingInteger(trimBlanks(parameter));
    if (seconds > 0 && seconds <= std::numeric_limits<uint32_t>::max()) {
      session.timeoutSeconds = uint32_t(seconds);
    }
  }
  return session;
}

bool mayBeginAnswer(std::string_view received) {
  const auto begins = [&](std::string_view version) {
    const size_t n = std::min(received.size(), version.size());
    return received.substr(0, n) == version.substr(0, n);
  };
  return begins(kRtspVersionPrefix) || begins(kHttpVersionPrefix);
}

}  // namespace vexa
