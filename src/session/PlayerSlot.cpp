#include "session/PlayerSlot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace vexa {

namespace {
// The marker's text, with its terminating zero byte.
constexpr std::string_view kMarkerText =
    "This file is created by ZI Duredu Dozazedid Oduvad for temp usage. This file will "
    "automatically killed after use.";
constexpr mode_t kMarkerMode = 0644;
}  // namespace

std::string PlayerSlot::markerPath(const std::string& folder, uint32_t number) {
  return folder + kMarkerPrefix + std::to_string(number);
}

uint32_t PlayerSlot::claim(const std::string& folder) {
  for (uint32_t number = 0; number < kSlotCount; ++number) {
    const int fd = ::open(markerPath(folder, number).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          kMarkerMode);
    if (fd < 0) continue;
    // Write errors are of no consequence: the file's existence is the claim.
    [[maybe_unused]] ssize_t written = ::write(fd, kMarkerText.data(), kMarkerText.size() + 1);
    ::close(fd);
    return number + 1;
  }
  return 0;
}

void PlayerSlot::release(const std::string& folder, uint32_t slot) {
  if (slot == 0 || slot > kSlotCount) return;
  std::remove(markerPath(folder, slot - 1).c_str());
}

}  // namespace vexa
