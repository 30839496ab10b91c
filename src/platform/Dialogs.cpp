#include "platform/Dialogs.h"

#include <cstdio>

namespace vexa::platform {

void StderrDialogs::showMessage(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void RecordingDialogs::showMessage(const std::string& text, const std::string& caption) {
  std::lock_guard lock(mutex_);
  messages_.push_back({text, caption});
}

std::vector<RecordingDialogs::Message> RecordingDialogs::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

}  // namespace vexa::platform
