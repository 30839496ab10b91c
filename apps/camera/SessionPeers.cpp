#include "camera/SessionPeers.h"

namespace vexa::camera {

void SessionPeers::enter(const Endpoint& peer) {
  std::lock_guard lock(mutex_);
  ++counts_[peer.addressText()];
}

void SessionPeers::leave(const Endpoint& peer) {
  std::lock_guard lock(mutex_);
  const auto found = counts_.find(peer.addressText());
  if (found == counts_.end()) return;
  if (--found->second <= 0) counts_.erase(found);
}

bool SessionPeers::holdsSession(const Endpoint& sender) const {
  std::lock_guard lock(mutex_);
  return counts_.contains(sender.addressText());
}

void SessionPresence::follow(bool sessionLives) {
  if (!peer_ || sessionLives == entered_) return;
  if (sessionLives) {
    peers_.enter(*peer_);
  } else {
    peers_.leave(*peer_);
  }
  entered_ = sessionLives;
}

}  // namespace vexa::camera
