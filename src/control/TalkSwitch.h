#pragma once

#include <cstdint>
#include <optional>

#include "platform/UiLoop.h"

namespace vexa {

class StreamPlayer;

// Switches talk for Mic without holding up the user-interface thread: waits for the player's
// site (a look every 100 ms, at most 30), then one second more for its dialogue, then switches,
// all on timers of the host's loop. A newer switch replaces one still waiting.
class TalkSwitch {
 public:
  static constexpr int kDefaultTimerId = 200;
  static constexpr int kSiteChecks = 30;
  static constexpr uint32_t kSiteCheckMs = 100;
  static constexpr uint32_t kSettleMs = 1000;

  TalkSwitch(platform::UiLoop& loop, StreamPlayer& player, int timerId = kDefaultTimerId);
  TalkSwitch(const TalkSwitch&) = delete;
  TalkSwitch& operator=(const TalkSwitch&) = delete;
  ~TalkSwitch() { cancel(); }

  // Returns at once; false for a model without talk, which is then left alone.
  bool request(bool on);
  void cancel();
  // The state still waiting to be applied; none when nothing waits.
  std::optional<bool> pending() const { return pending_; }

 private:
  void lookForSite();
  void settle();
  void apply();

  platform::UiLoop& loop_;
  StreamPlayer& player_;
  const int timerId_;
  std::optional<bool> pending_;
  int checksLeft_ = 0;
};

}  // namespace vexa
