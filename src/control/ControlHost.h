#pragma once

#include <functional>
#include <string>

#include "platform/AudioInput.h"
#include "platform/AudioOutput.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"

namespace vexa {

// What the program hosting a control gives it. The dialogs and the loop must outlive the control;
// the loop is the host's user-interface thread, which runs every member call and timer.
struct ControlHost {
  platform::Dialogs& dialogs;
  platform::UiLoop& loop;
  // Sound out and the microphone; none by default.
  platform::AudioOutputFactory audioOutput = {};
  platform::AudioInputFactory audioInput = {};
  // The folder the user picks for SelectFolder, "" on cancel; by default the desktop's chooser.
  std::function<std::string()> chooseFolder = {};
  // Host name to dotted IPv4 text, "" when it cannot be resolved; by default the system resolver.
  std::function<std::string(const std::string& name)> resolve = {};
};

}  // namespace vexa
