#include "display/MotionState.h"

#include <mutex>

namespace vexa {

std::string motionHostOf(std::string_view url) {
  if (const size_t scheme = url.find("://"); scheme != std::string_view::npos) {
    url.remove_prefix(scheme + 3);
  }
  url = url.substr(0, url.find('/'));
  if (url.starts_with('[')) return std::string(url.substr(0, url.find(']') + 1));
  // One colon marks a port; more make a bare IPv6 address, kept as it is.
  const size_t colon = url.find(':');
  if (colon != std::string_view::npos && url.find(':', colon + 1) == std::string_view::npos) {
    url = url.substr(0, colon);
  }
  return std::string(url);
}

MotionState::MotionState(std::string_view url, uint16_t port, platform::NameResolver resolve)
    : host_(motionHostOf(url)),
      port_(port),
      worker_({.read = [this] { onRead(); }}, std::move(resolve)) {}

int MotionState::start() {
  return worker_.start({host_, port_});
}

void MotionState::onRead() {
  if (worker_.receive() <= 0) return;
  {
    std::lock_guard lock(lock_);
    values_.feed(worker_.recvBuffer().text());
  }
  worker_.recvBuffer().clear();
}

MotionValues::Taken MotionState::take() {
  std::lock_guard lock(lock_);
  return values_.take();
}

}  // namespace vexa
