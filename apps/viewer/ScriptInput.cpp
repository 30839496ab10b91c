#include "viewer/ScriptInput.h"

#include <fcntl.h>
#include <unistd.h>

namespace vexa::viewer {

std::unique_ptr<ScriptInput> ScriptInput::open(const std::string& path, DVexaActiveX& control,
                                               const platform::Clock& clock, std::ostream& out) {
  if (path == "-") return std::make_unique<ScriptInput>(STDIN_FILENO, false, control, clock, out);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<ScriptInput>(fd, true, control, clock, out);
}

ScriptInput::Descriptor::~Descriptor() {
  if (owned) ::close(fd);
}

}  // namespace vexa::viewer
