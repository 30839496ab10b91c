#pragma once

#include <cstdint>
#include <optional>

#include "net/StreamFailure.h"
#include "platform/Clock.h"

namespace vexa {

// Waits between attempts to reach a camera: 1 s, then twice as long after each failure, at most
// 30 s; an attempt that brings media starts again at 1 s.
class RetryBackOff {
 public:
  static constexpr uint32_t kFirstDelayMs = 1000;
  static constexpr uint32_t kLongestDelayMs = 30000;

  // The delay before the next attempt; the one after it doubles.
  uint32_t nextDelayMs();
  void reset() { delayMs_ = kFirstDelayMs; }

 private:
  uint32_t delayMs_ = kFirstDelayMs;
};

// Decides, turn by turn, what keeps a stream playing. A road whose connection failed is stopped
// and started again after a back-off; so is one that played and then went silent. A UDP road the
// camera refused, or that gets no datagram within a few seconds of PLAY while its connection is
// up (a firewall), moves to the interleaved road of the same codec.
class StreamRecovery {
 public:
  // A playing stream silent for this long has lost its camera.
  static constexpr uint32_t kNoMediaTimeoutMs = 10000;
  // A UDP stream that brings nothing this long after PLAY is blocked on the way.
  static constexpr uint32_t kFirstDatagramTimeoutMs = 5000;
  // A UDP stream whose RTSP connection ended has ended too once its media pauses this long.
  static constexpr uint32_t kSilenceAfterConnectionLossMs = 1000;

  // How the road fares now.
  struct Observation {
    bool ended = false;    // its connection ended by itself
    bool playing = false;  // its dialogue reached playing in this attempt
    std::optional<StreamFailure> failure;
    uint64_t mediaPackets = 0;        // a count that grows with every media packet
    bool mediaOnConnection = true;    // false for RTP over UDP: media may outlive the connection
    bool canFallBack = false;         // a UDP road with an interleaved twin
  };

  enum class Action {
    kNone,
    kStop,      // stop the road: failure() says why; a kRestart follows after the back-off
    kRestart,   // start the stopped road again
    kFallBack,  // replace the UDP road by the interleaved one and start that
  };

  explicit StreamRecovery(const platform::Clock& clock) : clock_(clock) {}

  // The road was started (again) now; its media count just before.
  void attemptStarted(uint64_t mediaPackets);
  Action observe(const Observation& observation);
  // Why the latest kStop or kFallBack.
  const std::optional<StreamFailure>& failure() const { return failure_; }
  // Media arrived in this attempt and has not gone silent.
  bool mediaFlowing() const { return mediaSeen_ && !silentFor(kNoMediaTimeoutMs); }
  // How long the road waits before its restart (for tests and traces).
  uint32_t restartDelayMs() const { return restartDelayMs_; }

 private:
  bool silentFor(uint32_t ms) const;
  void noteMedia(uint64_t mediaPackets);
  Action stopBecause(StreamFailure failure);

  const platform::Clock& clock_;
  RetryBackOff backOff_;
  bool waitingToRestart_ = false;
  uint32_t stoppedAt_ = 0;
  uint32_t restartDelayMs_ = 0;
  uint32_t attemptStartedAt_ = 0;
  std::optional<uint32_t> playingSince_;
  bool mediaSeen_ = false;
  uint64_t lastMediaPackets_ = 0;
  uint32_t lastMediaAt_ = 0;
  std::optional<StreamFailure> failure_;
};

}  // namespace vexa
