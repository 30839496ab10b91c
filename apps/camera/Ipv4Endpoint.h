#pragma once

#include "platform/Socket.h"

namespace vexa::camera {

using platform::Ipv4Endpoint;

// Both ends of an RTSP connection: media over UDP leaves from the local address and goes to
// the peer's.
struct ConnectionEnds {
  Ipv4Endpoint local;
  Ipv4Endpoint peer;
};

}  // namespace vexa::camera
