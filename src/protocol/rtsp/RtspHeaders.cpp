#include "protocol/rtsp/RtspHeaders.h"

#include <algorithm>
#include <limits>

#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kRtspVersion = "RTSP/";
constexpr std::string_view kHttpVersion = "HTTP/";
constexpr int kStatusCodeDigits = 3;
constexpr char kParameterSeparator = ';';

std::string headerKey(std::string_view name) { return "\r\n" + std::string(name) + ":"; }

// The end of the head: the first empty line, however its line ends are written. The head keeps
// its last line end; the body starts after the empty line.
struct HeadEnd {
  size_t headLength;
  size_t bodyOffset;
};

std::optional<HeadEnd> findHeadEnd(std::string_view text) {
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    size_t next = at + 1;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') return HeadEnd{at + 1, next + 1};
  }
  return std::nullopt;
}

int statusCodeOf(std::string_view statusLine) {
  if (!statusLine.starts_with(kRtspVersion) && !statusLine.starts_with(kHttpVersion)) return 0;
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  const std::string_view code = statusLine.substr(blank + 1, kStatusCodeDigits);
  if (code.size() != kStatusCodeDigits ||
      !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return int(parseLeadingInteger(code));
}

std::optional<uint32_t> cseqOf(std::string_view head) {
  if (!hasRtspHeader(head, "CSeq")) return std::nullopt;
  const auto value = parseDecimal(rtspHeaderValue(head, "CSeq"), std::numeric_limits<uint32_t>::max());
  if (!value) return std::nullopt;
  return uint32_t(*value);
}

}  // namespace

std::string rtspHeaderValue(std::string_view answer, std::string_view name) {
  return extractField(answer, headerKey(name), ':', '\r', KeyMatch::IgnoreCase);
}

bool hasRtspHeader(std::string_view answer, std::string_view name) {
  return findText(answer, headerKey(name), 0, KeyMatch::IgnoreCase) != std::string_view::npos;
}

std::string withCrLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<RtspAnswer> readRtspAnswer(std::string_view received) {
  const std::optional<HeadEnd> end = findHeadEnd(received);
  if (!end) return std::nullopt;
  RtspAnswer answer;
  answer.head = withCrLfLineEnds(received.substr(0, end->headLength));
  answer.statusLine = answer.head.substr(0, answer.head.find('\r'));
  answer.statusCode = statusCodeOf(answer.statusLine);
  answer.cseq = cseqOf(answer.head);
  std::optional<uint64_t> announced = 0;
  if (hasRtspHeader(answer.head, "Content-Length")) {
    announced = parseDecimal(rtspHeaderValue(answer.head, "Content-Length"), kMaxAnswerBytes);
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
  if (!hasRtspHeader(head, "Session")) return std::nullopt;
  const std::string value = rtspHeaderValue(head, "Session");
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
  return begins(kRtspVersion) || begins(kHttpVersion);
}

}  // namespace vexa
