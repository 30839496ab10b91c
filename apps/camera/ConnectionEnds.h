#pragma once

#include "platform/Endpoint.h"

namespace vexa::camera {

using platform::Endpoint;

// Both ends of an RTSP connection: media over UDP leaves from the local address and goes to
// the peer's.
struct ConnectionEnds {
  Endpoint local;
  Endpoint peer;
};

}  // namespace vexa::camera
