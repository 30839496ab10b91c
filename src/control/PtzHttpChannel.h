#pragma once

#include <memory>

#include "display/PtzSender.h"

namespace vexa {

// The pan/tilt/zoom sender's channel: the HTTP command handler, one of its own.
std::unique_ptr<PtzChannel> makePtzHttpChannel();

}  // namespace vexa
