#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/HeaderFields.h"

namespace vexa {

// Collects one HTTP answer from the bytes of a connection, read by read, and tells when it is
// whole: by Content-Length, by chunks, at the close when neither is given, or at the empty line
// for answers that never have a body (1xx, 204, 304). Header names match in any case and only at
// line starts in the head; line ends may be "\r\n", "\n" or both mixed.
class HttpAnswerReader {
 public:
  // A camera's answer to a command is small; these bound what a broken one makes us hold.
  static constexpr size_t kMaxAnswerBytes = 4 * 1024 * 1024;
  static constexpr size_t kMaxHeadBytes = 64 * 1024;
  static constexpr size_t kMaxChunkSizeDigits = 16;

  enum class State { kIncomplete, kComplete, kFailed };

  // Takes the next bytes received; once complete or failed, further bytes are ignored.
  State feed(std::string_view bytes);
  // The connection closed: an answer without a length ends here, any other is cut short.
  State close();
  void reset() { *this = HttpAnswerReader(); }

  State state() const { return state_; }
  // Once complete: the status code (0 when the status line is unreadable) and the answer, bytes
  // as received, except that a chunked body comes de-chunked after the head.
  int statusCode() const { return statusCode_; }
  const std::string& answer() const { return answer_; }
  // The head with "\r\n" line ends, once it has arrived.
  const std::string& head() const { return head_; }

 private:
  enum class Framing { kLength, kChunked, kUntilClose, kNoBody };
  enum class ChunkPart { kSize, kData, kDataEnd, kTrailer };

  State fail();
  State complete(std::string answer);
  State readHead();
  State readBody();
  State readChunks();
  // One line of chunk framing at chunkAt_, without its line end; nullopt while incomplete.
  std::optional<std::string_view> nextChunkLine();
  bool chooseFraming();

  State state_ = State::kIncomplete;
  std::string received_;
  std::optional<HeadEnd> headEnd_;
  std::string head_;
  int statusCode_ = 0;
  Framing framing_ = Framing::kUntilClose;
  uint64_t contentLength_ = 0;
  // Chunk decoding goes on from where the last read left it.
  ChunkPart chunkPart_ = ChunkPart::kSize;
  size_t chunkAt_ = 0;
  uint64_t chunkLeft_ = 0;
  std::string body_;
  std::string answer_;
};

}  // namespace vexa
