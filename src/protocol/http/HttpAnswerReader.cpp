#include "protocol/http/HttpAnswerReader.h"

#include <algorithm>
#include <cctype>

#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kContentLength = "Content-Length";
constexpr std::string_view kTransferEncoding = "Transfer-Encoding";
constexpr std::string_view kChunked = "chunked";
constexpr char kChunkExtension = ';';
constexpr int kHexBase = 16;

// RFC 9110 section 6.4.1: these answers end at their empty line whatever the head says.
bool neverHasBody(int code) {
  return (code >= 100 && code < 200) || code == 204 || code == 304;
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// The size that begins a chunk line (RFC 9112 section 7.1), extensions ignored; nullopt for no
// hex digits, too many, or anything else before the extensions.
std::optional<uint64_t> chunkSizeOf(std::string_view line) {
  const std::string_view digits = trimBlanks(line.substr(0, line.find(kChunkExtension)));
  if (digits.empty() || digits.size() > HttpAnswerReader::kMaxChunkSizeDigits) return std::nullopt;
  uint64_t size = 0;
  for (const char c : digits) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    const int value = std::isdigit(static_cast<unsigned char>(c)) != 0
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    size = size * kHexBase + uint64_t(value);
  }
  return size;
}

}  // namespace

HttpAnswerReader::State HttpAnswerReader::feed(std::string_view bytes) {
  if (state_ != State::kIncomplete) return state_;
  if (bytes.size() > kMaxAnswerBytes - received_.size()) {
    DebugTrace("http answer: beyond %zu bytes", kMaxAnswerBytes);
    return fail();
  }
  received_.append(bytes);
  return headEnd_ ? readBody() : readHead();
}

HttpAnswerReader::State HttpAnswerReader::close() {
  if (state_ != State::kIncomplete) return state_;
  if (headEnd_ && framing_ == Framing::kUntilClose) return complete(received_);
  return fail();
}

HttpAnswerReader::State HttpAnswerReader::fail() {
  state_ = State::kFailed;
  received_.clear();
  body_.clear();
  return state_;
}

HttpAnswerReader::State HttpAnswerReader::complete(std::string answer) {
  answer_ = std::move(answer);
  received_.clear();
  body_.clear();
  state_ = State::kComplete;
  return state_;
}

HttpAnswerReader::State HttpAnswerReader::readHead() {
  headEnd_ = findHeadEnd(received_);
  if (!headEnd_) {
    if (received_.size() > kMaxHeadBytes) return fail();
    return state_;
  }
  if (headEnd_->headLength > kMaxHeadBytes) return fail();
  head_ = withCrLfLineEnds(std::string_view(received_).substr(0, headEnd_->headLength));
  statusCode_ = statusCodeOf(std::string_view(head_).substr(0, head_.find('\r')));
  if (!chooseFraming()) return fail();
  chunkAt_ = headEnd_->bodyOffset;
  return readBody();
}

// False when the head announces a body beyond the cap: waiting for it would only end in failure.
bool HttpAnswerReader::chooseFraming() {
  if (neverHasBody(statusCode_)) {
    framing_ = Framing::kNoBody;
  } else if (findText(headerValue(head_, kTransferEncoding), kChunked, 0, KeyMatch::IgnoreCase) !=
             std::string::npos) {
    framing_ = Framing::kChunked;
  } else if (const std::string length = headerValue(head_, kContentLength);
             hasHeader(head_, kContentLength) && allDigits(trimBlanks(length))) {
    // A negative or non-numeric length is no length at all: the answer then runs to the close.
    const std::optional<uint64_t> value = parseDecimal(length, kMaxAnswerBytes);
    if (!value || *value > kMaxAnswerBytes - headEnd_->bodyOffset) return false;
    framing_ = Framing::kLength;
    contentLength_ = *value;
  } else {
    framing_ = Framing::kUntilClose;
  }
  return true;
}

HttpAnswerReader::State HttpAnswerReader::readBody() {
  switch (framing_) {
    case Framing::kNoBody:
      return complete(received_);
    case Framing::kLength:
      if (received_.size() - headEnd_->bodyOffset >= contentLength_) return complete(received_);
      return state_;
    case Framing::kChunked:
      return readChunks();
    case Framing::kUntilClose:
      return state_;
  }
  return state_;
}

std::optional<std::string_view> HttpAnswerReader::nextChunkLine() {
  const size_t lineEnd = received_.find('\n', chunkAt_);
  if (lineEnd == std::string::npos) return std::nullopt;
  std::string_view line = std::string_view(received_).substr(chunkAt_, lineEnd - chunkAt_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  chunkAt_ = lineEnd + 1;
  return line;
}

// RFC 9112 section 7.1: size line, data, line end; a zero size, then trailer lines up to an
// empty one. The decoding position only moves over whole parts.
HttpAnswerReader::State HttpAnswerReader::readChunks() {
  while (state_ == State::kIncomplete) {
    if (chunkPart_ == ChunkPart::kData) {
      const size_t take = size_t(std::min<uint64_t>(chunkLeft_, received_.size() - chunkAt_));
      body_.append(received_, chunkAt_, take);
      chunkAt_ += take;
      chunkLeft_ -= take;
      if (chunkLeft_ > 0) return state_;
      chunkPart_ = ChunkPart::kDataEnd;
      continue;
    }
    const size_t lineStart = chunkAt_;
    const std::optional<std::string_view> line = nextChunkLine();
    if (!line) {
      if (received_.size() - lineStart > kMaxHeadBytes) return fail();
      return state_;
    }
    if (chunkPart_ == ChunkPart::kDataEnd) {
      if (!line->empty()) return fail();
      chunkPart_ = ChunkPart::kSize;
    } else if (chunkPart_ == ChunkPart::kTrailer) {
      if (line->empty()) return complete(received_.substr(0, headEnd_->bodyOffset) + body_);
    } else {
      const std::optional<uint64_t> size = chunkSizeOf(*line);
      if (!size || *size > kMaxAnswerBytes - body_.size()) return fail();
      chunkLeft_ = *size;
      chunkPart_ = *size == 0 ? ChunkPart::kTrailer : ChunkPart::kData;
    }
  }
  return state_;
}

}  // namespace vexa
