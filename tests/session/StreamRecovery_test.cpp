#include "session/StreamRecovery.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

using Action = StreamRecovery::Action;
using Observation = StreamRecovery::Observation;

const Observation kRefused{.ended = true, .failure = StreamFailure{StreamFault::kConnectionRefused, {}}};

struct Recovery : ::testing::Test {
  Recovery() { recovery.attemptStarted(0); }
  // Observes the same road until the action changes from kNone; the milliseconds waited.
  uint32_t waitFor(Action expected, const Observation& road, uint32_t stepMs = 100) {
    uint32_t waited = 0;
    Action action = Action::kNone;
    while ((action = recovery.observe(road)) == Action::kNone && waited < 600000) {
      clock.advance(stepMs);
      waited += stepMs;
    }
    EXPECT_EQ(action, expected) << "after " << waited << " ms";
    return waited;
  }
  Observation playing(uint64_t packets, bool udp = false) const {
    return {.playing = true, .mediaPackets = packets, .mediaOnConnection = !udp, .canFallBack = udp};
  }

  platform::ManualClock clock;
  StreamRecovery recovery{clock};
};

TEST_F(Recovery, FailedAttemptsRestartAfterADoublingBackOffThatMediaResets) {
  for (const uint32_t delay : {1000u, 2000u, 4000u, 8000u, 16000u, 30000u, 30000u}) {
    ASSERT_EQ(recovery.observe(kRefused), Action::kStop);
    EXPECT_EQ(recovery.failure()->cause(), "connection refused");
    EXPECT_EQ(waitFor(Action::kRestart, {}), delay);
    recovery.attemptStarted(0);
  }
  EXPECT_EQ(recovery.observe(playing(1)), Action::kNone);
  EXPECT_TRUE(recovery.mediaFlowing());
  ASSERT_EQ(recovery.observe(kRefused), Action::kStop);
  EXPECT_EQ(recovery.restartDelayMs(), 1000u);
}

TEST_F(Recovery, AStreamThatGoesSilentIsStoppedAfterTenSeconds) {
  recovery.observe(playing(1));
  recovery.observe(playing(2));
  EXPECT_EQ(waitFor(Action::kStop, playing(2)), StreamRecovery::kNoMediaTimeoutMs);
  EXPECT_EQ(recovery.failure()->cause(), "no media");
}

TEST_F(Recovery, UdpMovesToTheConnectionWhenRefusedOrWhenNothingArrives) {
  Observation refused = playing(0, true);
  refused.playing = false;
  refused.failure = StreamFailure{StreamFault::kTransportRefused, "\"RTSP/1.0 461 Unsupported Transport\" to SETUP"};
  EXPECT_EQ(recovery.observe(refused), Action::kFallBack);
  recovery.attemptStarted(7);  // packets of an earlier attempt
  EXPECT_EQ(waitFor(Action::kFallBack, playing(7, true)), StreamRecovery::kFirstDatagramTimeoutMs);
  EXPECT_EQ(recovery.failure()->cause(), "no media over UDP");
}

TEST_F(Recovery, UdpMediaOutlivesAClosedConnectionUntilItStops) {
  recovery.observe(playing(1, true));
  recovery.observe(playing(2, true));
  Observation closed = playing(3, true);
  closed.ended = true;
  closed.failure = StreamFailure{StreamFault::kConnectionLost, {}};
  EXPECT_EQ(recovery.observe(closed), Action::kNone);
  EXPECT_EQ(waitFor(Action::kStop, closed), StreamRecovery::kSilenceAfterConnectionLossMs);
  // Over the connection, its end is the end of the media.
  recovery.attemptStarted(0);
  recovery.observe(playing(1));
  closed.mediaOnConnection = true;
  EXPECT_EQ(recovery.observe(closed), Action::kStop);
}

}  // namespace
}  // namespace vexa
