#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// A header's value in an answer head as the field rule cuts it (keeping the blank after the
// colon). Names match in any case (cameras differ) and only at a line start, so that a status
// line such as "454 Session Not Found" or a value naming a header is never taken for it. The
// head's lines end in "\r\n" (see withCrLfLineEnds); RTSP and HTTP answers share this.
std::string headerValue(std::string_view head, std::string_view name);
// Whether the head has that header at all, by the same rule.
bool hasHeader(std::string_view head, std::string_view name);

// text with every line end ("\r\n", "\n", or a lone "\r") written "\r\n".
std::string withCrLfLineEnds(std::string_view text);

// The version word a status line starts with, RTSP or HTTP.
constexpr std::string_view kRtspVersionPrefix = "RTSP/";
constexpr std::string_view kHttpVersionPrefix = "HTTP/";

// The end of a head: the first empty line, however its line ends are written. The head keeps its
// last line end; the body starts after the empty line.
struct HeadEnd {
  size_t headLength;
  size_t bodyOffset;
};
std::optional<HeadEnd> findHeadEnd(std::string_view text);

// The three-digit code of an RTSP or HTTP status line; 0 when it is not one.
int statusCodeOf(std::string_view statusLine);

}  // namespace vexa
