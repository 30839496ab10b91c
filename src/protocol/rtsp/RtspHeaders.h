#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/HeaderFields.h"

namespace vexa {

// An answer (headers and description) larger than this is not one a camera sends: the
// connection is given up rather than buffered without end.
constexpr int32_t kMaxAnswerBytes = 256 * 1024;

// One answer on an RTSP or HTTP connection whose head and announced body have arrived. Its line
// ends are made "\r\n" whatever the server wrote (some write "\n" alone, some mix both), so that
// every field reader can cut values at '\r'.
struct RtspAnswer {
  int statusCode = 0;       // 0 when the first line is not a status line
  std::string statusLine;   // "RTSP/1.0 404 Not Found", without its line end
  std::string head;         // the status line and the headers, each ending in "\r\n"
  std::string body;         // the announced body, its line ends made "\r\n" too
  size_t length = 0;        // bytes the answer took of the received text
  std::optional<uint32_t> cseq;
  // The head announces a body no answer has (a Content-Length that is no number, or one beyond
  // kMaxAnswerBytes): the answer is not one to wait for. length then covers the head alone.
  bool refused = false;

  bool success() const { return statusCode >= 200 && statusCode < 300; }
  bool redirect() const { return statusCode >= 300 && statusCode < 400; }
  // Head, empty line and body, as the description readers take an answer.
  std::string text() const { return head + "\r\n" + body; }
};

// The "Session" header of an answer (RFC 2326 section 12.37): the session id, optionally followed
// by parameters. Later requests carry the id alone.
struct SessionHeader {
  std::string id;
  std::optional<uint32_t> timeoutSeconds;  // ";timeout=N" when given
};
// nullopt when the answer has no Session header or an empty id.
std::optional<SessionHeader> readSessionHeader(std::string_view head);

// The answer at the start of received; nullopt while its empty line or part of its body has not
// arrived. A refused answer comes back as soon as its head has.
std::optional<RtspAnswer> readRtspAnswer(std::string_view received);

// Whether received may be the start of an answer: it begins with "RTSP/" or "HTTP/", or with a
// part of either when it is shorter.
bool mayBeginAnswer(std::string_view received);

}  // namespace vexa
