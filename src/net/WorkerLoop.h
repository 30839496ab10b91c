#pragma once

#include <sys/socket.h>

#include <cstdint>

#include "platform/Socket.h"
#include "platform/Thread.h"

namespace vexa {

// The turn every worker takes, TCP or datagram: wait at most one wait period for the socket's
// events and hand what happened to dispatch (0 after a quiet period), while goesOn holds. The wait
// bounds how long a stop takes to be noticed.
template <typename GoesOn, typename Dispatch>
void runEventLoop(platform::Socket& socket, GoesOn&& goesOn, Dispatch&& dispatch) {
  while (goesOn()) dispatch(socket.waitEvents(platform::kNetEventWaitMs));
}

// How every worker lets go of its socket.
inline void shutDownAndClose(platform::Socket& socket) {
  socket.shutdown(SHUT_RDWR);
  socket.close();
}

}  // namespace vexa
