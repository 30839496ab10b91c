#include "platform/Environment.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace vexa::platform {

std::string tempFolder() {
  const char* value = std::getenv("TMPDIR");
  std::string folder = (value != nullptr && *value != '\0') ? value : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

int64_t standardTimeBiasSeconds() {
  tzset();
  return static_cast<int64_t>(timezone);
}

std::string computerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace vexa::platform
