#include "protocol/rtsp/RtspHeaders.h"

#include "common/TextFields.h"

namespace vexa {

namespace {
std::string headerKey(std::string_view name) { return "\r\n" + std::string(name) + ":"; }
}  // namespace

std::string rtspHeaderValue(std::string_view answer, std::string_view name) {
  return extractField(answer, headerKey(name), ':', '\r', KeyMatch::IgnoreCase);
}

bool hasRtspHeader(std::string_view answer, std::string_view name) {
  return findText(answer, headerKey(name), 0, KeyMatch::IgnoreCase) != std::string_view::npos;
}

}  // namespace vexa
