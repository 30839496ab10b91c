#include "protocol/rtcp/IPCameraRTCP.h"

#include <random>

#include "common/DebugTrace.h"
#include "platform/Environment.h"
#include "platform/Thread.h"

namespace vexa {

namespace {

// Drawn once per session; the report builder redraws it should it equal the camera's SSRC.
uint32_t drawSenderSsrc() {
  std::random_device source;
  return source();
}

}  // namespace

IPCameraRTCP::IPCameraRTCP(FiguresSource figures, const platform::Clock& clock)
    : figures_(std::move(figures)),
      packet_(MediaClock::kVideo, clock, platform::computerName(), drawSenderSsrc()),
      worker_([this](std::span<const uint8_t> datagram) { onDatagram(datagram); }) {}

IPCameraRTCP::~IPCameraRTCP() {
  worker_.stop();
}

int IPCameraRTCP::start(const std::string& destination, uint16_t localPort) {
  // The destination is the thread's from here on; a running worker keeps the one it has.
  if (worker_.running() || worker_.hasThread()) return platform::kAlreadyRunning;
  destination_ = destination;
  destinationLookedUp_ = false;
  destinationAddress_.reset();
  // No group is joined: on a multicast stream the media receiver's membership brings the
  // camera's reports to this port too.
  return worker_.start({.port = localPort});
}

std::optional<platform::Endpoint> IPCameraRTCP::destinationAddress() {
  if (!destinationLookedUp_) {
    destinationLookedUp_ = true;
    // Unicast sites pass the camera's host, which may be a name rather than an address.
    const std::vector<platform::Endpoint> found = platform::resolveHost(destination_, 0);
    if (!found.empty()) destinationAddress_ = found.front();
    if (!destinationAddress_) {
      DebugTrace("rtcp: '%s' does not resolve; answering the sender's address",
                 destination_.c_str());
    }
  }
  return destinationAddress_;
}

void IPCameraRTCP::onDatagram(std::span<const uint8_t> datagram) {
  const std::optional<platform::Endpoint> sender = worker_.sender();
  if (!sender) return;  // the receive failed: nothing arrived to answer
  answerDatagram(datagram, *sender);
}

void IPCameraRTCP::answerDatagram(std::span<const uint8_t> datagram,
                                  const platform::Endpoint& sender) {
  packet_.setMediaClock(clock_.load(std::memory_order_relaxed));
  const std::span<const uint8_t> report = packet_.process(datagram, figures_());
  const platform::Endpoint to = destinationAddress().value_or(sender).withPort(sender.port());
  if (worker_.sendTo(report, to) == ssize_t(report.size())) {
    reportsSent_.fetch_add(1, std::memory_order_relaxed);
  } else {
    DebugTrace("rtcp: report to port %u not sent", unsigned(to.port()));
  }
}

}  // namespace vexa
