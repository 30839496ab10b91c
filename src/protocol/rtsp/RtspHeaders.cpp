#include "protocol/rtsp/RtspHeaders.h"

#include "common/TextFields.h"

namespace vexa {

std::string rtspHeaderValue(std::string_view answer, std::string_view name) {
  const std::string key = "\r\n" + std::string(name) + ":";
  return extractField(answer, key, ':', '\r', KeyMatch::IgnoreCase);
}

}  // namespace vexa
