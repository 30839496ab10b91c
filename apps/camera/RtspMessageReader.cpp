#include "camera/RtspMessageReader.h"

#include <algorithm>
#include <charconv>

#include "camera/HttpRequest.h"
#include "camera/RtpStream.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kEndOfHeader = "\r\n\r\n";
constexpr std::string_view kLineBreaks = "\r\n";

// Nullopt for anything but plain decimal digits within the body limit.
std::optional<size_t> contentLength(std::string_view header) {
  const auto request = parseHttpRequest(header);
  if (!request) return 0;
  const auto value = request->header("Content-Length");
  if (!value) return 0;
  size_t length = 0;
  const char* end = value->data() + value->size();
  const auto [next, error] = std::from_chars(value->data(), end, length);
  if (error != std::errc() || next != end || length > RtspMessageReader::kMaxBodyBytes) {
    return std::nullopt;
  }
  return length;
}

}  // namespace

void RtspMessageReader::append(std::string_view bytes) {
  buffer_.append(bytes.substr(0, std::min(bytes.size(), room())));
}

std::optional<RtspMessageReader::Message> RtspMessageReader::next() {
  if (failed_) return std::nullopt;
  // Some clients end a request with an extra line break.
  buffer_.erase(0, std::min(buffer_.find_first_not_of(kLineBreaks), buffer_.size()));
  if (buffer_.empty()) return std::nullopt;
  if (uint8_t(buffer_[0]) == kInterleavedMagic) return nextFrame();
  return nextRequest();
}

std::optional<RtspMessageReader::Message> RtspMessageReader::nextFrame() {
  if (buffer_.size() < kInterleavedHeaderSize) return std::nullopt;
  const size_t length = size_t(uint8_t(buffer_[2])) << 8 | uint8_t(buffer_[3]);
  if (buffer_.size() < kInterleavedHeaderSize + length) return std::nullopt;
  Message message;
  message.kind = Kind::Interleaved;
  message.channel = uint8_t(buffer_[1]);
  const auto* first = reinterpret_cast<const uint8_t*>(buffer_.data()) + kInterleavedHeaderSize;
  message.data.assign(first, first + length);
  buffer_.erase(0, kInterleavedHeaderSize + length);
  return message;
}

std::optional<RtspMessageReader::Message> RtspMessageReader::nextRequest() {
  const size_t end = buffer_.find(kEndOfHeader);
  if (end == std::string::npos || end + kEndOfHeader.size() > kMaxHeaderBytes) {
    if (buffer_.size() < kMaxHeaderBytes) return std::nullopt;
    failed_ = true;
    return Message{};
  }
  const size_t headerSize = end + kEndOfHeader.size();
  const std::string_view header(buffer_.data(), headerSize);
  const auto bodySize = contentLength(header);
  if (!bodySize) {
    failed_ = true;
    return Message{};
  }
  if (buffer_.size() < headerSize + *bodySize) return std::nullopt;
  Message message;
  message.kind = Kind::Request;
  message.header = buffer_.substr(0, headerSize);
  message.body = buffer_.substr(headerSize, *bodySize);
  buffer_.erase(0, headerSize + *bodySize);
  return message;
}

}  // namespace vexa::camera
