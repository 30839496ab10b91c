#pragma once

#include <atomic>
#include <iosfwd>

#include "viewer/ViewerOptions.h"

namespace vexa::platform {
class Dialogs;
}

namespace vexa::viewer {

// --command: one HTTP request to the camera through the player's command channel, its answer
// printed as received. The exit status: 0 for a 2xx answer, 1 otherwise, 2 for a target that
// cannot be sent.
int runCommand(const ViewerOptions& options, platform::Dialogs& dialogs, std::ostream& out,
               std::ostream& err, const std::atomic<bool>& quit);

}  // namespace vexa::viewer
