#include "camera/VideoDump.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr mode_t kFileMode = 0644;

bool writeAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(size_t(written));
  }
  return true;
}

}  // namespace

bool VideoDump::Writer::write(std::span<const uint8_t> picture) {
  return dump_ && dump_->write(*this, picture);
}

void VideoDump::Writer::release() {
  if (dump_) dump_->release(*this);
}

std::unique_ptr<VideoDump> VideoDump::create(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<VideoDump>(new VideoDump(fd));
}

VideoDump::~VideoDump() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t VideoDump::picturesWritten() const {
  std::lock_guard lock(mutex_);
  return pictures_;
}

bool VideoDump::write(const Writer& writer, std::span<const uint8_t> picture) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0 || (holder_ && holder_ != &writer)) return false;
  holder_ = &writer;
  if (!writeAll(fd_, picture)) {
    // A full disk ends the dump, not the camera.
    DebugTrace("VideoDump: write failed (%s); no more pictures are dumped\n", std::strerror(errno));
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  ++pictures_;
  return true;
}

void VideoDump::release(const Writer& writer) {
  std::lock_guard lock(mutex_);
  if (holder_ == &writer) holder_ = nullptr;
}

}  // namespace vexa::camera
