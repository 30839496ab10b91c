#pragma once

#include <string>
#include <string_view>

namespace vexa {

// A header's value in an RTSP answer as the field rule cuts it (keeping the blank after the
// colon). Names match in any case (cameras differ) and only at a line start, so that a status
// line such as "454 Session Not Found" is never taken for the header.
std::string rtspHeaderValue(std::string_view answer, std::string_view name);
// Whether the answer has that header at all, by the same rule.
bool hasRtspHeader(std::string_view answer, std::string_view name);

}  // namespace vexa
