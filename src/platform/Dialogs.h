#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace vexa::platform {

// Where the system's few user-visible messages go: a message box on a desktop, a line on stderr
// headless, a list in tests.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void showMessage(const std::string& text, const std::string& caption) = 0;
};

class StderrDialogs final : public Dialogs {
 public:
  void showMessage(const std::string& text, const std::string& caption) override;
};

class RecordingDialogs final : public Dialogs {
 public:
  struct Message {
    std::string text, caption;
  };
  void showMessage(const std::string& text, const std::string& caption) override;
  std::vector<Message> messages() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

}  // namespace vexa::platform
