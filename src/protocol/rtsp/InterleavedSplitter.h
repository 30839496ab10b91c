#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "common/ByteBuffer.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa {

// Cuts RTP and RTCP out of an RTSP connection (RFC 2326 section 10.12): "$", a channel byte, a
// 16-bit length, then that many bytes. Answers to requests sent while playing (keep-alives) arrive
// between the frames and are handed over whole. Works in place in the receive buffer and erases
// what it consumed; garbage is skipped up to the next "$" or answer.
class InterleavedSplitter {
 public:
  static constexpr size_t kFrameHeaderSize = 4;
  static constexpr uint8_t kFrameMarker = '$';
  // Channels 0 and 1 carry video RTP and RTCP, 2 and 3 audio; frames on any other are skipped.
  static constexpr uint8_t kHighestChannel = 3;

  using FrameSink = std::function<void(uint8_t channel, std::span<const uint8_t> body)>;
  using AnswerSink = std::function<void(const RtspAnswer& answer)>;

  // Hands every complete frame and answer in buffer over, in order. Without onAnswer, answers
  // are garbage. Returns the bytes skipped as garbage.
  static size_t split(ByteBuffer& buffer, const FrameSink& onFrame,
                      const AnswerSink& onAnswer = {});

 private:
  enum class Step { kTaken, kWait, kGarbage };
  static Step takeFrame(ByteBuffer& buffer, const FrameSink& onFrame);
  static Step takeAnswer(ByteBuffer& buffer, const AnswerSink& onAnswer);
  static size_t resynchronise(ByteBuffer& buffer, bool answersExpected);
};

}  // namespace vexa
