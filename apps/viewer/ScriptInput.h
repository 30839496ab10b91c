#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "control/DVexaActiveX.h"
#include "platform/Clock.h"
#include "script/ScriptRunner.h"

namespace vexa::viewer {

// The --script input: a file, or standard input for "-", read by a runner that answers on out.
struct ScriptInput {
  // Null when the file cannot be opened.
  static std::unique_ptr<ScriptInput> open(const std::string& path, DVexaActiveX& control,
                                           const platform::Clock& clock, std::ostream& out);

  ScriptInput(int fd, bool ownsFd, DVexaActiveX& control, const platform::Clock& clock,
              std::ostream& out)
      : descriptor{fd, ownsFd}, runner(control, clock, fd, out) {}

  // Closed after the runner, whose reader reads it, has gone.
  struct Descriptor {
    int fd;
    bool owned;
    ~Descriptor();
  } descriptor;
  ScriptRunner runner;
};

}  // namespace vexa::viewer
