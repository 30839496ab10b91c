#pragma once

#include <sys/socket.h>

#include <cstdint>

#include "platform/Socket.h"
#include "platform/Thread.h"

namespace vexa {

// The turn every worker takes, TCP or datagram: wait at most one wait period for the socket's
// events and hand what happened to dispatch, until the run flag is cleared. The wait bounds how
// long a stop takes to be noticed.
template <typename Dispatch>
void runEventLoop(const platform::WorkerThread& thread, platform::Socket& socket,
                  Dispatch&& dispatch) {
  while (thread.running()) {
    const uint32_t events = socket.waitEvents(platform::kNetEventWaitMs);
    if (events != 0) dispatch(events);
  }
}

// How every worker lets go of its socket.
inline void shutDownAndClose(platform::Socket& socket) {
  socket.shutdown(SHUT_RDWR);
  socket.close();
}

}  // namespace vexa
