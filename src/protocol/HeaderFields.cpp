#include "protocol/HeaderFields.h"

#include <algorithm>

#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr int kStatusCodeDigits = 3;

std::string headerKey(std::string_view name) {
  return "\r\n" + std::string(name) + ":";
}

}  // namespace

std::string headerValue(std::string_view head, std::string_view name) {
  return extractField(head, headerKey(name), ':', '\r', KeyMatch::IgnoreCase);
}

bool hasHeader(std::string_view head, std::string_view name) {
  return findText(head, headerKey(name), 0, KeyMatch::IgnoreCase) != std::string_view::npos;
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

std::optional<HeadEnd> findHeadEnd(std::string_view text) {
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    size_t next = at + 1;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') return HeadEnd{at + 1, next + 1};
  }
  return std::nullopt;
}

int statusCodeOf(std::string_view statusLine) {
  if (!statusLine.starts_with(kRtspVersionPrefix) && !statusLine.starts_with(kHttpVersionPrefix)) {
    return 0;
  }
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  const std::string_view code = statusLine.substr(blank + 1, kStatusCodeDigits);
  if (code.size() != kStatusCodeDigits ||
      !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return int(parseLeadingInteger(code));
}

}  // namespace vexa
