#include "control/TalkSwitch.h"

#include "common/VideoModel.h"
#include "session/StreamPlayer.h"

namespace vexa {

TalkSwitch::TalkSwitch(platform::UiLoop& loop, StreamPlayer& player, int timerId)
    : loop_(loop), player_(player), timerId_(timerId) {}

bool TalkSwitch::request(bool on) {
  if (!isUdpGroupModel(player_.config().model)) return false;
  pending_ = on;
  checksLeft_ = kSiteChecks;
  if (player_.hasSite()) {
    settle();
  } else {
    loop_.setTimer(timerId_, kSiteCheckMs, [this] { lookForSite(); });
  }
  return true;
}

void TalkSwitch::cancel() {
  loop_.killTimer(timerId_);
  pending_.reset();
}

// Still no site after the last look: the settling second passes all the same.
void TalkSwitch::lookForSite() {
  if (player_.hasSite() || --checksLeft_ <= 0) settle();
}

void TalkSwitch::settle() { loop_.setTimer(timerId_, kSettleMs, [this] { apply(); }); }

void TalkSwitch::apply() {
  const bool on = *pending_;
  cancel();
  player_.SetTalk(on);
}

}  // namespace vexa
