#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "viewer/ViewerOptions.h"

namespace vexa {
class ScriptSession;
}

namespace vexa::viewer {

// One member call an option stands for, as a script line.
struct OptionCall {
  std::string line;
  // A refusal that is no reason to stop: the sound switch of a model without sound.
  bool mayBeRefused = false;
};

// The calls the options make before the stream starts and with it, in the order a page would make
// them: the sound switch, credentials and layout first, then Play, full screen and talk.
std::vector<OptionCall> startCalls(const ViewerOptions& options);

// The snapshot at the end of a run: folder ends in "/".
OptionCall snapshotCall(const std::string& folder, const std::string& fileName);

// The --record recording, asked for once the stream's site exists.
OptionCall recordCall(const std::string& folder, const std::string& fileName);

// Runs calls through the session as a script would; with printCalls, each line goes to out first.
// False at the first refused call (result -1), said in one line on err.
bool runOptionCalls(ScriptSession& session, const std::vector<OptionCall>& calls,
                    bool printCalls, std::ostream& out, std::ostream& err);

}  // namespace vexa::viewer
