#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::camera {

// Cuts what an RTSP client sends on its connection into requests (header and body) and
// interleaved frames ('$', channel, 16-bit length, data; RFC 2326 section 10.12).
class RtspMessageReader {
 public:
  static constexpr size_t kMaxHeaderBytes = 8192;
  static constexpr size_t kMaxBodyBytes = 65536;
  static constexpr size_t kMaxBufferedBytes = kMaxHeaderBytes + kMaxBodyBytes;

  enum class Kind { Request, Interleaved, Malformed };

  struct Message {
    Kind kind = Kind::Malformed;
    std::string header;  // request line and headers, through the empty line
    std::string body;
    uint8_t channel = 0;
    std::vector<uint8_t> data;  // the interleaved frame's packet
  };

  // How many more bytes append takes.
  size_t room() const { return kMaxBufferedBytes - buffer_.size(); }
  // Takes at most room() bytes; the rest is dropped.
  void append(std::string_view bytes);

  // The next complete message; nullopt while the next one is incomplete. Malformed for a header
  // that outgrows its limit or a bad Content-Length, after which the reader gives nothing more.
  std::optional<Message> next();

 private:
  std::optional<Message> nextFrame();
  std::optional<Message> nextRequest();

  std::string buffer_;
  bool failed_ = false;
};

}  // namespace vexa::camera
