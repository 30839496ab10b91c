#include "protocol/http/MjpegStreamParser.h"

#include <string_view>

#include "common/Base64.h"
#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kContentType = "Content-Type:";
constexpr std::string_view kContentLength = "Content-Length:";
constexpr std::string_view kMultipartType = "multipart/x-mixed-replace";
constexpr std::string_view kJpegType = "image/jpeg";
constexpr std::string_view kBoundaryKey = "boundary=";
constexpr std::string_view kBoundaryDashes = "--";
constexpr size_t kNotFound = std::string_view::npos;

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
  return findText(text, needle, 0, KeyMatch::IgnoreCase) != kNotFound;
}

// RFC 2046 section 5.1.1: a boundary has at most 70 characters.
constexpr size_t kMaxBoundaryLength = 70;

// Where a search within one header stands. Headers are searched only within their largest size
// from where they start, so that a header that never ends costs no more than that per read.
struct HeaderSearch {
  size_t at = kNotFound;   // where it was found
  bool beyondReach = false;  // not found, and the header has outgrown any header: give it up
  bool found() const { return at != kNotFound; }
};

// The end of the line at or after from (CR or LF: some cameras end lines in LF alone).
HeaderSearch lineEndWithin(std::string_view s, size_t from, size_t headerAt) {
  const size_t reach = headerAt + size_t(MjpegStreamParser::kMaxPartHeaderBytes);
  const size_t at = s.substr(0, reach).find_first_of(kLineEnds, from);
  return {at, at == kNotFound && s.size() >= reach};
}

// The empty line that ends the header starting at headerAt, written with either line end; `at`
// is where the header's last line ends.
HeaderSearch headerEndWithin(std::string_view s, size_t headerAt) {
  const size_t reach = headerAt + size_t(MjpegStreamParser::kMaxPartHeaderBytes);
  const std::string_view window = s.substr(0, reach);
  for (size_t at = window.find('\n', headerAt); at != kNotFound; at = window.find('\n', at + 1)) {
    const size_t next = at + 1 < window.size() && window[at + 1] == '\r' ? at + 2 : at + 1;
    if (next < window.size() && window[next] == '\n') return {at + 1, false};
  }
  return {kNotFound, s.size() >= reach};
}

// Cameras write the parameter as boundary=b, boundary="b" or "; boundary=b; other=..". Empty when
// there is none, or none a multipart body may have.
std::string boundaryFromType(std::string_view type) {
  const size_t keyAt = findText(type, kBoundaryKey, 0, KeyMatch::IgnoreCase);
  if (keyAt == kNotFound) return {};
  std::string_view value = trimBlanks(type.substr(keyAt + kBoundaryKey.size()));
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    value = value.substr(0, value.find('"'));
  } else {
    value = value.substr(0, value.find_first_of("; \t\r\n"));
  }
  return value.size() <= kMaxBoundaryLength ? std::string(value) : std::string();
}

bool hasBytes(std::string_view s, size_t at, uint8_t first, uint8_t second) {
  return at + 1 < s.size() && uint8_t(s[at]) == first && uint8_t(s[at + 1]) == second;
}

bool hasCrLfAt(std::string_view s, size_t at) { return hasBytes(s, at, '\r', '\n'); }

}  // namespace

std::string buildMjpegRequest(const std::string& userName, const std::string& password) {
  std::string request =
      "GET / HTTP/1.1\r\n"
      "Accept: text/* image/jpeg audio/pcm\r\n"
      "User-Agent: Oxbel2 Player\r\n"
      "Cache-Control: no-cache\r\n";
  if (!userName.empty()) {
    request += "Authorization: Basic " + base64::encode(userName + ":" + password) + "\r\n";
  }
  request += "\r\n";
  return request;
}

void MjpegStreamParser::parse(ByteBuffer& buffer, const PictureSink& onPicture) {
  while (parseOne(buffer, onPicture) == Step::Continue) {
  }
  if (buffer.size() > kMaxPendingBytes) {
    DebugTrace("mjpeg: %d bytes without a complete part, dropped", buffer.size());
    buffer.clear();
  }
}

MjpegStreamParser::Step MjpegStreamParser::parseOne(ByteBuffer& buffer,
                                                    const PictureSink& onPicture) {
  const std::string_view s = buffer.text();
  // Cameras differ in the case of header names ("Content-type:").
  const size_t typeAt = findText(s, kContentType, 0, KeyMatch::IgnoreCase);
  if (typeAt == kNotFound) {
    if (s.size() > size_t(kMaxPartHeaderBytes)) {
      // Garbage or the body of a dropped part: keep only what could begin the next header.
      buffer.eraseFront(int32_t(s.size()) - kMaxPartHeaderBytes);
      return Step::Wait;
    }
    // Drop what precedes the first line end; the line end may begin the next part.
    const size_t lineEnd = s.find(kCrLf);
    if (lineEnd != kNotFound) buffer.eraseFront(int32_t(lineEnd));
    return Step::Wait;
  }
  const size_t valueAt = typeAt + kContentType.size();
  const HeaderSearch typeEnd = lineEndWithin(s, valueAt, typeAt);
  if (typeEnd.beyondReach) return dropTypeField(buffer, typeAt);
  if (!typeEnd.found()) return Step::Wait;  // the type line has not fully arrived
  const std::string_view type = trimBlanks(s.substr(valueAt, typeEnd.at - valueAt));

  if (containsIgnoringCase(type, kMultipartType)) return takeBoundary(buffer, type, typeAt);
  if (!containsIgnoringCase(type, kJpegType)) {
    // Another type (an error page, a text part): drop it line by line.
    const size_t lineEnd = s.find(kCrLf);
    if (lineEnd == kNotFound) return Step::Wait;
    buffer.eraseFront(int32_t(lineEnd + kCrLf.size()));
    return Step::Continue;
  }
  return takePicture(buffer, typeAt, onPicture);
}

// A header that will not end is given up up to its type field: the next search starts after it.
MjpegStreamParser::Step MjpegStreamParser::dropTypeField(ByteBuffer& buffer, size_t typeAt) {
  DebugTrace("mjpeg: a header without end dropped");
  buffer.eraseFront(int32_t(typeAt + kContentType.size()));
  return Step::Continue;
}

MjpegStreamParser::Step MjpegStreamParser::takeBoundary(ByteBuffer& buffer, std::string_view type,
                                                        size_t typeAt) {
  const HeaderSearch headerEnd = headerEndWithin(buffer.text(), typeAt);
  if (headerEnd.beyondReach) return dropTypeField(buffer, typeAt);
  if (!headerEnd.found()) return Step::Wait;
  // A camera may announce its boundary again, as after a restart; one no body may have is not
  // taken.
  if (std::string boundary = boundaryFromType(type); !boundary.empty()) boundary_ = std::move(boundary);
  // The blank line stays: it leads into the first part.
  buffer.eraseFront(int32_t(headerEnd.at));
  return Step::Continue;
}

MjpegStreamParser::Step MjpegStreamParser::takePicture(ByteBuffer& buffer, size_t typeAt,
                                                       const PictureSink& onPicture) {
  const std::string_view s = buffer.text();
  const std::string_view header = s.substr(0, typeAt + kMaxPartHeaderBytes);
  const size_t lengthAt = findText(header, kContentLength, 0, KeyMatch::IgnoreCase);
  const size_t headerEnd =
      lengthAt == kNotFound ? kNotFound : header.find(kHeaderEnd, lengthAt);
  if (headerEnd == kNotFound) {
    if (header.size() == s.size()) return Step::Wait;
    // No usable header within reach: drop through this type field and look again.
    return dropTypeField(buffer, typeAt);
  }
  const size_t lengthValueAt = lengthAt + kContentLength.size();
  const size_t pictureAt = headerEnd + kHeaderEnd.size();

  const long long announced = parseLeadingInteger(s.substr(lengthValueAt, headerEnd - lengthValueAt));
  if (announced <= 0 || announced > kMaxPictureBytes) {
    // Unusable length: drop the part's header; its body is dropped line by line after it.
    DebugTrace("mjpeg: part of length %lld dropped", announced);
    buffer.eraseFront(int32_t(pictureAt));
    return Step::Continue;
  }
  const size_t length = size_t(announced);

  // After the picture: CR LF, then the delimiter line "--" + boundary and its CR LF. A camera that
  // writes the dashes into the boundary parameter itself sends the boundary as it stands.
  const size_t delimiterAt = pictureAt + length + kCrLf.size();
  const size_t boundaryLength = boundary_.size();
  size_t delimiterLength = boundaryLength + kBoundaryDashes.size();
  if (boundary_.starts_with(kBoundaryDashes) && hasCrLfAt(s, delimiterAt + boundaryLength)) {
    delimiterLength = boundaryLength;
  } else if (s.size() < delimiterAt + delimiterLength + kCrLf.size()) {
    return Step::Wait;
  }

  const bool valid = hasBytes(s, pictureAt, 0xFF, 0xD8) &&
                     hasBytes(s, pictureAt + length - 2, 0xFF, 0xD9) &&
                     hasCrLfAt(s, pictureAt + length) &&
                     hasCrLfAt(s, delimiterAt + delimiterLength);
  if (valid) {
    onPicture({buffer.data() + pictureAt, length});
  } else {
    DebugTrace("mjpeg: invalid part of %zu bytes dropped", length);
  }
  // The delimiter's CR LF stays and heads the next part.
  buffer.eraseFront(int32_t(delimiterAt + delimiterLength));
  return Step::Continue;
}

}  // namespace vexa
