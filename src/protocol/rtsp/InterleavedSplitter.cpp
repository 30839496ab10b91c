#include "protocol/rtsp/InterleavedSplitter.h"

#include "common/DebugTrace.h"

namespace vexa {

namespace {
// "RTSP/" (or "HTTP/"): the shortest text that tells an answer from garbage.
constexpr size_t kAnswerPrefixSize = 5;
}  // namespace

size_t InterleavedSplitter::split(ByteBuffer& buffer, const FrameSink& onFrame,
                                  const AnswerSink& onAnswer) {
  size_t skipped = 0;
  while (buffer.size() >= int32_t(kFrameHeaderSize)) {
    const bool frame = buffer.data()[0] == kFrameMarker;
    const Step step = frame ? takeFrame(buffer, onFrame) : takeAnswer(buffer, onAnswer);
    if (step == Step::kWait) break;
    if (step == Step::kGarbage) skipped += resynchronise(buffer, bool(onAnswer));
  }
  if (skipped > 0) DebugTrace("interleaved: %zu bytes of garbage skipped", skipped);
  return skipped;
}

InterleavedSplitter::Step InterleavedSplitter::takeFrame(ByteBuffer& buffer,
                                                         const FrameSink& onFrame) {
  const uint8_t* bytes = buffer.data();
  const size_t length = (size_t(bytes[2]) << 8) | bytes[3];
  if (size_t(buffer.size()) < kFrameHeaderSize + length) return Step::kWait;
  // A channel never set up (a metadata track, say) is still framed: stepping over it by its length
  // keeps the framing, where searching its body for a "$" would take noise for a frame header.
  if (bytes[1] <= kHighestChannel) {
    onFrame(bytes[1], {bytes + kFrameHeaderSize, length});
  } else {
    DebugTrace("interleaved: a %zu-byte frame on channel %u skipped", length, unsigned(bytes[1]));
  }
  buffer.eraseFront(int32_t(kFrameHeaderSize + length));
  return Step::kTaken;
}

InterleavedSplitter::Step InterleavedSplitter::takeAnswer(ByteBuffer& buffer,
                                                          const AnswerSink& onAnswer) {
  const std::string_view text = buffer.text();
  if (!onAnswer || !mayBeginAnswer(text)) return Step::kGarbage;
  if (text.size() < kAnswerPrefixSize) return Step::kWait;
  if (const std::optional<RtspAnswer> answer = readRtspAnswer(text)) {
    const size_t length = answer->length;
    onAnswer(*answer);
    buffer.eraseFront(int32_t(length));
    return Step::kTaken;
  }
  // An answer that never ends is garbage too: the stream must not wait on it for ever.
  return text.size() > size_t(kMaxAnswerBytes) ? Step::kGarbage : Step::kWait;
}

// Drops everything before the next "$" or answer after the first byte; none: everything.
size_t InterleavedSplitter::resynchronise(ByteBuffer& buffer, bool answersExpected) {
  const std::string_view text = buffer.text();
  size_t next = 1;
  for (; next < text.size(); ++next) {
    if (uint8_t(text[next]) == kFrameMarker) break;
    if (answersExpected && mayBeginAnswer(text.substr(next))) break;
  }
  buffer.eraseFront(int32_t(next));
  return next;
}

}  // namespace vexa
