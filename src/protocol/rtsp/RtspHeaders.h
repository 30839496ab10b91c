#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// A header's value in an RTSP answer as the field rule cuts it (keeping the blank after the
// colon). Names match in any case (cameras differ) and only at a line start, so that a status
// line such as "454 Session Not Found" is never taken for the header.
std::string rtspHeaderValue(std::string_view answer, std::string_view name);
// Whether the answer has that header at all, by the same rule.
bool hasRtspHeader(std::string_view answer, std::string_view name);

// An answer (headers and description) larger than this is not one a camera sends: the
// connection is given up rather than buffered without end.
constexpr int32_t kMaxAnswerBytes = 256 * 1024;

// The head of an answer whose empty line has arrived.
struct AnswerHead {
  std::string_view header;      // status and header lines, each with its line end
  size_t bodyOffset = 0;        // where the body (or the data after the answer) begins
  long long contentLength = 0;  // "Content-Length", 0 when absent
  // The whole answer's length as announced.
  long long length() const { return (long long)bodyOffset + contentLength; }
};
// nullopt while the empty line has not arrived.
std::optional<AnswerHead> readAnswerHead(std::string_view text);

}  // namespace vexa
