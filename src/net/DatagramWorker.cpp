#include "net/DatagramWorker.h"

#include "common/DebugTrace.h"
#include "net/WorkerLoop.h"

namespace vexa {

using platform::Socket;

int DatagramWorker::start(Target target) {
  return thread_.start([this, target = std::move(target)] { run(target); });
}

// Unicast ports take datagrams from cameras on IPv4 and IPv6 alike; a multicast group (IPv4
// only) needs an IPv4 socket, and so does a system without IPv6.
bool DatagramWorker::createSocket(const Target& target) {
  if (!platform::isMulticastAddress(target.multicastGroup) &&
      socket_.create(Socket::Type::Datagram, 0, AF_INET6) == 0) {
    return true;
  }
  return socket_.create(Socket::Type::Datagram, 0, AF_INET) == 0;
}

bool DatagramWorker::openSocket(const Target& target) {
  if (!createSocket(target) || socket_.setReuseAddress(true) != 0) return false;
  if (target.receiveBufferSize > 0 && socket_.setReceiveBufferSize(target.receiveBufferSize) != 0)
    return false;
  if (const int error = socket_.bindAny(target.port); error != 0) {
    DebugTrace("udp receiver: cannot bind port %u (%d)", unsigned(target.port), error);
    return false;
  }
  if (platform::isMulticastAddress(target.multicastGroup)) {
    if (const int error =
            socket_.joinMulticastGroup(target.multicastGroup, target.interfaceAddress);
        error != 0) {
      DebugTrace("udp receiver: cannot join %s on '%s' (%d)", target.multicastGroup.c_str(),
                 target.interfaceAddress.c_str(), error);
      return false;
    }
    joined_ = true;
  } else if (!target.multicastGroup.empty()) {
    DebugTrace("udp receiver: '%s' is no multicast group: port %u bound for unicast",
               target.multicastGroup.c_str(), unsigned(target.port));
  }
  return socket_.selectEvents(platform::kAllNetEvents) == 0;
}

void DatagramWorker::closeSocket(const Target& target) {
  if (joined_) socket_.leaveMulticastGroup(target.multicastGroup, target.interfaceAddress);
  joined_ = false;
  shutDownAndClose(socket_);
}

void DatagramWorker::run(const Target& target) {
  if (!openSocket(target)) {
    // Nothing will ever arrive: say so through the run flag as well as by ending.
    closeSocket(target);
    thread_.requestStop();
    return;
  }
  if (target.raisePriority) platform::raiseCurrentThreadPriority();
  localPort_.store(socket_.localPort(), std::memory_order_release);
  listening_.store(true, std::memory_order_release);
  runEventLoop(socket_, [this] { return thread_.running(); }, [this](uint32_t events) {
    // Datagram sockets report nothing but reads that matter here.
    if (events & platform::kFdRead) receiveOne();
  });
  listening_.store(false, std::memory_order_release);
  localPort_.store(0, std::memory_order_release);
  closeSocket(target);
}

ssize_t DatagramWorker::sendTo(std::span<const uint8_t> datagram,
                               const platform::Endpoint& to) {
  return socket_.sendTo(datagram.data(), datagram.size(), to);
}

void DatagramWorker::receiveOne() {
  recvBuffer_.clear();
  recvBuffer_.receiveAppend(kReceiveChunk,
                            [this](uint8_t* at, size_t n) { return socket_.receiveFrom(at, n); });
  step_(recvBuffer_.bytes());
  recvBuffer_.clear();
}

}  // namespace vexa
