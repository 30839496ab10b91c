#include "protocol/rtsp/RtspHeaders.h"

#include "common/TextFields.h"

namespace vexa {

namespace {
std::string headerKey(std::string_view name) { return "\r\n" + std::string(name) + ":"; }
}  // namespace

std::string rtspHeaderValue(std::string_view answer, std::string_view name) {
  return extractField(answer, headerKey(name), ':', '\r', KeyMatch::IgnoreCase);
}

std::optional<AnswerHead> readAnswerHead(std::string_view text) {
  constexpr std::string_view kHeaderEnd = "\r\n\r\n";
  const size_t end = text.find(kHeaderEnd);
  if (end == std::string_view::npos) return std::nullopt;
  AnswerHead head;
  head.header = text.substr(0, end + 2);
  head.bodyOffset = end + kHeaderEnd.size();
  head.contentLength = parseLeadingInteger(rtspHeaderValue(head.header, "Content-Length"));
  return head;
}

bool hasRtspHeader(std::string_view answer, std::string_view name) {
  return findText(answer, headerKey(name), 0, KeyMatch::IgnoreCase) != std::string_view::npos;
}

}  // namespace vexa
