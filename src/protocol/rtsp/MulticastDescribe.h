#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/StreamConfig.h"

namespace vexa::rtsp {

// The multicast handler only asks: one DESCRIBE for the video (the stream's path, CSeq 0) and one
// for the audio (the fixed path "/audio", CSeq 1). A user name adds a Basic Authorization line
// right after the request line; the handler never sees a challenge, so nothing else is possible.
std::string multicastVideoDescribe(const StreamConfig& config);
std::string multicastAudioDescribe(const StreamConfig& config);

constexpr std::string_view kMulticastAudioPath = "/audio";

// An answer larger than this is not a description a camera sends: it is refused rather than
// buffered on.
constexpr size_t kMaxMulticastAnswerBytes = 64 * 1024;

enum class MulticastDescribeStep : uint32_t { kVideo = 0, kAudio = 1, kDone = 2 };

// The DESCRIBE of step without any Authorization line, for an authenticator to authorise once a
// 401 named its challenge.
std::string multicastDescribeToAuthorize(const StreamConfig& config, MulticastDescribeStep step);

// What the handler does after a read.
enum class MulticastReadAction {
  kWait,               // the answer is incomplete, or the video was refused: nothing to do
  kSendAudioDescribe,  // the video answer is in: send multicastAudioDescribe
  kFinish,             // both answers are in (or the audio one failed): parse descriptionText
  kGiveUp,             // the video answer was too large: close the connection, stay silent
  // A 401 (its head in challenge()): send the DESCRIBE again with credentials, or, when there
  // are none for it, take refuseAnswer()'s action.
  kAuthenticate,
};

// The read step of the two DESCRIBE answers, over the bytes the connection delivers in any cut.
// It keeps the media sections of both answers, each with the rtpmap line a camera of this family
// leaves out, in descriptionText.
class MulticastDescribeReading {
 public:
  explicit MulticastDescribeReading(uint32_t model) : model_(model) {}

  MulticastReadAction onReceived(std::string_view bytes);
  // The 401 is final: as any answer other than 200.
  MulticastReadAction refuseAnswer() { return onAnswer({}, false); }
  const std::string& challenge() const { return challenge_; }

  MulticastDescribeStep step() const { return step_; }
  const std::string& descriptionText() const { return descriptionText_; }
  // The video answer's Content-Base (trimmed; empty when it has none), for SETUP's URLs.
  const std::string& contentBase() const { return contentBase_; }

 private:
  MulticastReadAction onAnswer(std::string_view answer, bool success);
  MulticastReadAction keepVideo(std::string_view answer);
  MulticastReadAction keepAudio(std::string_view answer);
  MulticastReadAction refuse();

  uint32_t model_;
  MulticastDescribeStep step_ = MulticastDescribeStep::kVideo;
  std::string received_;
  std::string descriptionText_;
  std::string contentBase_;
  std::string challenge_;
  bool videoRefused_ = false;  // a non-200 video answer: silent until Stop
};

}  // namespace vexa::rtsp
