#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "camera/ConnectionEnds.h"

namespace vexa::camera {

// The addresses of the clients that hold an RTSP session right now, counted, since one client
// may hold several. Connection threads enter and leave; the talk receiver asks.
class SessionPeers {
 public:
  void enter(const Endpoint& peer);
  void leave(const Endpoint& peer);
  bool holdsSession(const Endpoint& sender) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, int> counts_;  // by address text, without the port
};

// One connection's place in SessionPeers: in while its session lives, out when it ends or the
// connection closes.
class SessionPresence {
 public:
  SessionPresence(SessionPeers& peers, std::optional<Endpoint> peer)
      : peers_(peers), peer_(std::move(peer)) {}
  SessionPresence(const SessionPresence&) = delete;
  SessionPresence& operator=(const SessionPresence&) = delete;
  ~SessionPresence() { follow(false); }

  void follow(bool sessionLives);

 private:
  SessionPeers& peers_;
  const std::optional<Endpoint> peer_;
  bool entered_ = false;
};

}  // namespace vexa::camera
